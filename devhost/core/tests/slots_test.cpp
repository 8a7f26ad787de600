// The table as a whole, the log, item parameters, captions and returned strings.
#include <set>
#include <thread>

#include "test_util.h"

namespace {
const HostServiceTable& T() { return *devhost::Table(); }
using AnySlot = intptr_t (*)(intptr_t, intptr_t, intptr_t, intptr_t);
}  // namespace

using Slots = HostTest;

TEST_F(Slots, EveryUnusedSlotIsDistinctAndOnlyRecords) {
    void* const* raw = reinterpret_cast<void* const*>(devhost::Table());
    const std::set<int> used = {0, 32, 33, 34, 35, 48, 49, 64, 65, 66, 67, 68, 69, 70, 71, 72, 73, 74};
    std::set<void*> seen;
    for (int slot = 0; slot < TS_HOST_TABLE_SLOTS; ++slot) {
        SCOPED_TRACE("slot " + std::to_string(slot));
        ASSERT_NE(nullptr, raw[slot]);
        EXPECT_TRUE(seen.insert(raw[slot]).second) << "shares its function with another slot";
        if (used.count(slot) != 0) continue;
        auto call = reinterpret_cast<AnySlot>(raw[slot]);
        EXPECT_EQ(0, call(1, 2, 3, 4));
        std::vector<devhost::LogEntry> log = devhost::Log();
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(slot, log.back().slot);
        EXPECT_EQ(Show(L"unexpected call of slot " + std::to_wstring(slot)),
                  Show(devhost::LogArgsText(log.back().args)));
    }
    EXPECT_EQ(57, devhost::UnexpectedCalls());
}

TEST_F(Slots, LogRecordsArgumentsResultThreadAndTellsTheObserver) {
    std::vector<std::wstring> observed;
    devhost::SetLogObserver([&](const devhost::LogEntry& e) {
        observed.push_back(e.name);
        devhost::CallCount(TS_SLOT_GET_HOST_VERSION);  // the observer may call back into the host
    });
    T().WriteSettingString(4, nullptr, L"Key", L"a\"b");
    DWORD otherThread = 0;
    std::thread([&] {
        otherThread = GetCurrentThreadId();
        T().ReadSettingInt(4, L"S", L"Missing", 12);
    }).join();
    std::vector<devhost::LogEntry> log = devhost::Log();
    ASSERT_EQ(2u, log.size());
    EXPECT_EQ(66, log[0].slot);
    EXPECT_EQ((std::vector<devhost::LogValue>{4, nullptr, L"Key", L"a\"b"}), log[0].args);
    EXPECT_EQ(Show(L"4, null, \"Key\", \"a\\x22b\""), Show(devhost::LogArgsText(log[0].args)))
        << "as people read it";
    EXPECT_EQ(GetCurrentThreadId(), log[0].threadId);
    EXPECT_EQ(std::vector<devhost::LogValue>{12}, log[1].result);
    EXPECT_EQ(otherThread, log[1].threadId);
    EXPECT_LE(log[0].ms, log[1].ms);
    EXPECT_EQ(2u, observed.size());
    devhost::ClearLog();
    EXPECT_EQ(0u, devhost::CallCount(TS_SLOT_WRITE_SETTING_STRING));
}

TEST_F(Slots, ItemParametersKeepIntAndStringApart) {
    EXPECT_EQ(nullptr, T().GetItemParamString(9, 0)) << "unset string is null";
    EXPECT_EQ(-4, T().GetItemParamInt(9, 0, -4));
    T().SetItemParamInt(9, 0, 1);
    T().SetItemParamString(9, 0, L"\\Ocean");
    T().SetItemParamString(10, 0, L"other item");
    EXPECT_EQ(1, T().GetItemParamInt(9, 0, 0));
    EXPECT_STREQ(L"\\Ocean", T().GetItemParamString(9, 0));
    EXPECT_EQ(nullptr, T().GetItemParamString(9, 1)) << "another index";
    devhost::ClearItemParams(9);
    EXPECT_FALSE(devhost::GetItemParamInt(9, 0).has_value());
    EXPECT_EQ(nullptr, T().GetItemParamString(9, 0));
    EXPECT_EQ(L"other item", devhost::GetItemParamString(10, 0).value_or(L"?"));
}

TEST_F(Slots, CaptionAndVersion) {
    EXPECT_EQ(TS_REQUIRED_HOST_VERSION, T().GetHostVersion());
    devhost::SetHostVersion(0x040202FF);
    EXPECT_EQ(0x040202FFu, T().GetHostVersion());
    EXPECT_FALSE(devhost::Caption(1).has_value());
    wchar_t text[] = L"Switch Skin";
    T().SetPluginCaption(1, text);
    text[0] = L'X';  // the host keeps its own copy
    EXPECT_EQ(L"Switch Skin", devhost::Caption(1).value_or(L"?"));
    EXPECT_EQ(0, T().SetPluginCaption(2, nullptr));
    EXPECT_FALSE(devhost::Caption(2).has_value());
}

TEST_F(Slots, ReturnedStringSurvivesOtherThreadsCalls) {
    devhost::SetCurrentSkin(L"First.tskin");
    const wchar_t* mine = T().GetCurrentSkin();
    std::thread([] {
        devhost::SetCurrentSkin(L"A much longer second identifier.tskin");
        T().GetCurrentSkin();
    }).join();
    EXPECT_STREQ(L"First.tskin", mine);
    EXPECT_STREQ(L"A much longer second identifier.tskin", T().GetCurrentSkin());
}

TEST_F(Slots, ResetForgetsEverything) {
    devhost::SetSetting(1, nullptr, L"K", 1);
    devhost::SetItemParam(1, 0, 1);
    devhost::SetCurrentSkin(L"x.tskin");
    devhost::SetHostVersion(1);
    devhost::PushDialogScript([](HWND) {});
    T().ApplySkin(L"y.tskin");
    T().CommitSettings(1);
    devhost::Reset();
    EXPECT_TRUE(devhost::Settings(1).empty());
    EXPECT_FALSE(devhost::GetItemParamInt(1, 0).has_value());
    EXPECT_EQ(L"", devhost::CurrentSkin());
    EXPECT_EQ(TS_REQUIRED_HOST_VERSION, T().GetHostVersion());
    EXPECT_EQ(0u, devhost::PendingDialogScripts());
    EXPECT_EQ(0, devhost::ApplySkinCount());
    EXPECT_EQ(0, devhost::CommitCount());
    EXPECT_EQ(1u, devhost::Log().size()) << "only the version call made after Reset";
}
