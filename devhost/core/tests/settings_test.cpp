// The settings store: its slots' contract with the plug-in, and the hook that keeps it.
#include <atomic>
#include <thread>

#include "test_util.h"

namespace {

const HostServiceTable& T() { return *devhost::Table(); }

}  // namespace

using StoreSlots = HostTest;

TEST_F(StoreSlots, TopLevelAndEmptySectionAreDistinctAndReadsAreTyped) {
    T().WriteSettingInt(1, nullptr, L"K", 5);
    T().WriteSettingString(1, L"", L"K", L"text");
    EXPECT_EQ(5, T().ReadSettingInt(1, nullptr, L"K", -1));
    EXPECT_EQ(-1, T().ReadSettingInt(1, L"", L"K", -1)) << "a string value reads as the default";
    EXPECT_STREQ(L"text", T().ReadSettingString(1, L"", L"K"));
    const wchar_t* absent = T().ReadSettingString(1, L"Nowhere", L"K");
    ASSERT_NE(nullptr, absent);
    EXPECT_STREQ(L"", absent);
    EXPECT_EQ(7, T().ReadSettingInt(2, nullptr, L"K", 7)) << "another plug-in id sees nothing";
    EXPECT_EQ(2u, devhost::Settings(1).size());
}

TEST_F(StoreSlots, DeleteAndCommit) {
    devhost::SetSetting(1, L"S", L"A", 1);
    EXPECT_EQ(1, T().DeleteSetting(1, L"S", L"A"));
    EXPECT_EQ(0, T().DeleteSetting(1, L"S", L"A"));
    EXPECT_FALSE(devhost::GetSettingInt(1, L"S", L"A").has_value());
    T().CommitSettings(1);
    T().CommitSettings(1);
    EXPECT_EQ(2, devhost::CommitCount());
}

TEST_F(StoreSlots, NullKeyOrValueIsRefusedWithoutStoring) {
    EXPECT_EQ(0, T().WriteSettingInt(1, nullptr, nullptr, 3));
    EXPECT_EQ(0, T().WriteSettingString(1, nullptr, L"K", nullptr));
    EXPECT_EQ(9, T().ReadSettingInt(1, nullptr, nullptr, 9));
    EXPECT_STREQ(L"", T().ReadSettingString(1, nullptr, nullptr));
    EXPECT_TRUE(devhost::Settings(1).empty());
}

TEST_F(StoreSlots, ConcurrentWritersLoseNothing) {
    constexpr int kThreads = 6, kKeys = 200;
    std::atomic<int> misreads{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &misreads] {
            for (int k = 0; k < kKeys; ++k) {
                std::wstring key = L"K" + std::to_wstring(k);
                T().WriteSettingInt(t, L"S", key.c_str(), k);
                T().WriteSettingString(t, nullptr, key.c_str(), key.c_str());
                if (std::wstring(T().ReadSettingString(t, nullptr, key.c_str())) != key) ++misreads;
                T().CommitSettings(t);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(0, misreads.load());
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(2u * kKeys, devhost::Settings(t).size()) << "plug-in " << t;
    EXPECT_EQ(kThreads * kKeys, devhost::CommitCount());
}

TEST_F(StoreSlots, CommitAndItemWritesCallThePersistenceHookOutsideTheLock) {
    int saves = 0;
    bool answer = false;
    devhost::SetPersistence([&] {
        ++saves;
        devhost::CommitCount();  // the hook may call back into the host
        return answer;
    });
    EXPECT_EQ(0, T().CommitSettings(1)) << "a failed save fails the commit";
    answer = true;
    EXPECT_EQ(1, T().CommitSettings(1));
    EXPECT_EQ(1, T().SetItemParamInt(2, 0, 5));
    EXPECT_EQ(1, T().SetItemParamString(2, 0, L"s"));
    EXPECT_EQ(0, T().SetItemParamString(2, 0, nullptr));
    EXPECT_EQ(4, saves) << "a refused item write saves nothing";
    EXPECT_TRUE(devhost::Persist());
    EXPECT_EQ(5, saves);
    devhost::Reset();
    EXPECT_EQ(1, T().CommitSettings(1)) << "Reset removes the hook";
    EXPECT_EQ(5, saves);
}
