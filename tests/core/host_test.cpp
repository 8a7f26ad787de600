// The host wrapper: the one place that knows the service table.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/host.h"
#include "plugin/plugin_api.h"
#include "support/plugin_fixture.h"

namespace {

uint32_t CurrentVersion() { return TS_REQUIRED_HOST_VERSION; }

// A host that fills only slot 0: every other slot is empty.
const HostServiceTable* VersionOnlyTable() {
    static const HostServiceTable table = [] {
        HostServiceTable t{};
        t.GetHostVersion = &CurrentVersion;
        return t;
    }();
    return &table;
}

class HostWrapperTest : public PluginTest {};

TEST_F(HostWrapperTest, EmptySlotsAnswerTheirFallbackAndCallNothing) {
    ASSERT_TRUE(host::Accept(VersionOnlyTable()));
    EXPECT_FALSE(host::CanReadSettings());
    EXPECT_FALSE(host::CanWriteSettings());
    EXPECT_FALSE(host::CanNameSkins());
    EXPECT_FALSE(host::CanReadItemBehavior());
    EXPECT_EQ(-7, host::ReadInt(1, L"TimeMode", L"Index", -7));
    EXPECT_EQ(L"", host::ReadString(1, L"ThemeSync", L"DarkTheme"));
    EXPECT_EQ(L"", host::SkinsFolder());
    EXPECT_EQ(L"", host::CurrentSkin());
    EXPECT_EQ(L"", host::SkinDisplayName(L"A.tsk"));
    EXPECT_EQ(5, host::ItemParamInt(3, 5));
    std::wstring stored = L"untouched";
    EXPECT_FALSE(host::ItemParamString(3, &stored));
    EXPECT_EQ(L"untouched", stored);
    EXPECT_EQ(0, host::ShowDialog(1, nullptr, nullptr, 0));
    wchar_t text[8];
    std::memset(text, 0x55, sizeof(text));
    host::LoadText(1, text, 8);
    EXPECT_EQ(L'\0', text[0]) << "an empty slot leaves an empty text";
    // Writes to empty slots go nowhere.
    host::WriteInt(1, nullptr, L"ChangeMode", 1);
    host::WriteString(1, L"ThemeSync", L"LightTheme", L"A");
    host::DeleteSetting(1, L"SelectedSkins", L"Skin001");
    host::CommitSettings(1);
    host::ApplySkin(L"A");
    host::SetItemParamInt(3, 1);
    host::SetItemParamString(3, L"A");
    host::SetCaption(L"caption");
    EXPECT_TRUE(devhost::Log().empty()) << devhost::Log().size() << " calls reached the development host";
}

// A host that fills the whole buffer and leaves no terminator.
int FillWholeBuffer(HMODULE, UINT, wchar_t* buffer, int capacity) {
    for (int i = 0; i < capacity; ++i) {
        buffer[i] = L'x';
    }
    return capacity;
}

TEST_F(HostWrapperTest, TextLoadedIntoABufferIsTerminatedWhateverTheHostWrote) {
    static const HostServiceTable table = [] {
        HostServiceTable t{};
        t.GetHostVersion = &CurrentVersion;
        t.LoadLocalizedString = &FillWholeBuffer;
        return t;
    }();
    ASSERT_TRUE(host::Accept(&table));
    wchar_t text[6];
    host::LoadText(1, text, 6);
    EXPECT_EQ(L"xxxxx", std::wstring(text)) << "five units and the terminator";
}

TEST_F(HostWrapperTest, EveryEventWithAVersionOnlyHostEndsWithoutACrash) {
    ASSERT_EQ(1, Send(TS_EVENT_INITIALIZE, 1, reinterpret_cast<uint64_t>(VersionOnlyTable())));
    EXPECT_EQ(1, Send(TS_EVENT_REFRESH_CAPTION));
    EXPECT_EQ(1, Send(TS_EVENT_RUN_ITEM, 3, 0));
    EXPECT_EQ(1, Send(TS_EVENT_SETTINGS));
    EXPECT_EQ(1, Send(TS_EVENT_ITEM_SETTINGS, 0, 3));
    EXPECT_EQ(1, Send(TS_EVENT_ABOUT));
    EXPECT_EQ(1, Shutdown());
}

TEST_F(HostWrapperTest, NothingReachesATableBeforeAcceptanceOrAfterRelease) {
    EXPECT_FALSE(host::Accepted());
    EXPECT_EQ(L"", host::CurrentSkin());
    devhost::SetHostVersion(TS_REQUIRED_HOST_VERSION - 1);
    EXPECT_FALSE(host::Accept(devhost::Table())) << "a host older than the plug-in serves";
    EXPECT_EQ(L"", host::CurrentSkin());
    devhost::SetHostVersion(TS_REQUIRED_HOST_VERSION);
    ASSERT_TRUE(host::Accept(devhost::Table()));
    devhost::ClearLog();
    host::CurrentSkin();
    EXPECT_EQ(1u, devhost::Log().size());
    host::Release();
    devhost::ClearLog();
    host::CurrentSkin();
    host::ApplySkin(L"A");
    EXPECT_TRUE(devhost::Log().empty()) << devhost::Log().size() << " calls after release";
}

}  // namespace
