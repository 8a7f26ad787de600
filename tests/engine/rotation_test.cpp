// The rotation order: advancing through the active list and resynchronising with it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/host_log.h"
#include "devhost/core/devhost.h"
#include "engine/rotation.h"
#include "support/plugin_fixture.h"

namespace {

class RotationTest : public PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        AttachHost();
    }
    // File skins named by `ids` that exist in the Skins folder.
    void MakeSkins(const std::vector<std::wstring>& ids) {
        for (const std::wstring& id : ids) {
            HANDLE file = CreateFileW((skins_ + L"\\" + id).c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            ASSERT_NE(file, INVALID_HANDLE_VALUE);
            CloseHandle(file);
        }
    }
    static SkinList Entries(const std::vector<std::wstring>& ids) {
        SkinList list;
        for (const std::wstring& id : ids) list.push_back(SkinEntry{id, L"name " + id});
        return list;
    }
    void SetLists(const std::vector<std::wstring>& all, const std::vector<std::wstring>& selected) {
        ScopedLock guard(g_state.lock);
        g_state.allSkins = Entries(all);
        g_state.settings.selectedSkins = Entries(selected);
    }
    void SetTarget(const std::wstring& id) {
        ScopedLock guard(g_state.lock);
        g_state.targetSkin = id;
    }
    std::wstring Target() {
        ScopedLock guard(g_state.lock);
        return g_state.targetSkin;
    }
};

TEST_F(RotationTest, ActiveListFollowsModeAndTarget) {
    SetLists({L"all"}, {L"sel"});
    struct Case {
        int32_t changeMode, targetSkins;
        const wchar_t* expected;
    };
    const Case cases[] = {{0, 0, L"all"}, {0, 1, L"sel"}, {1, 0, L"all"}, {1, 1, L"all"},
                          {2, 1, L"sel"}, {0, -1, L"sel"}, {-1, 5, L"sel"}, {1, -1, L"all"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.changeMode) + "/" + std::to_string(c.targetSkins));
        g_state.settings.changeMode = static_cast<ChangeMode>(c.changeMode);
        g_state.settings.targetSkins = static_cast<RotationList>(c.targetSkins);
        ScopedLock guard(g_state.lock);
        EXPECT_EQ(ActiveListLocked().front().identifier, c.expected);
        EXPECT_EQ(ActiveListIsAllSkinsLocked(), std::wstring(c.expected) == L"all");
    }
}

TEST_F(RotationTest, AdvanceRequestsTheNextExistingSkin) {
    struct Case {
        const char* name;
        std::vector<std::wstring> list;
        std::vector<std::wstring> onDisk;
        int32_t index;
        int32_t expectedIndex;
        std::wstring expectedTarget;
    };
    const Case cases[] = {
        {"wraps to the start", {L"P", L"Q", L"R"}, {L"P", L"Q", L"R"}, 2, 0, L"P"},
        {"skips a deleted skin", {L"P", L"Q", L"R"}, {L"P", L"R"}, 0, 2, L"R"},
        {"skips across the end", {L"P", L"Q", L"R"}, {L"Q"}, 1, 1, L"Q"},
        {"negative index", {L"P", L"Q", L"R"}, {L"P", L"Q", L"R"}, -3, 0, L"P"},
        {"index past the end", {L"P", L"Q", L"R"}, {L"P", L"Q", L"R"}, 7, 0, L"P"},
        {"largest index", {L"P", L"Q"}, {L"P", L"Q"}, INT32_MAX, 0, L"P"},
        {"nothing on disk", {L"P", L"Q", L"R"}, {}, 1, 1, L"Old"},
        {"one entry", {L"P"}, {L"P"}, 0, 0, L"P"},
        {"duplicates", {L"P", L"Q", L"P"}, {L"P", L"Q"}, 1, 2, L"P"},
        {"case differs from disk", {L"p"}, {L"P"}, 0, 0, L"p"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RemoveTree(skins_);
        ASSERT_TRUE(CreateDirectoryW(skins_.c_str(), nullptr));
        MakeSkins(c.onDisk);
        SetLists(c.list, {});
        SetTarget(L"Old");
        g_state.settings.rotationIndex = c.index;
        g_state.switchPending = 0;
        devhost::Reset();
        devhost::SetSkinsFolder(skins_);
        AdvanceToNextSkin();
        EXPECT_EQ(g_state.settings.rotationIndex, c.expectedIndex);
        EXPECT_EQ(Target(), c.expectedTarget);
        EXPECT_EQ(devhost::AppliedSkins(), std::vector<std::wstring>{c.expectedTarget});
        EXPECT_EQ(g_state.switchPending.load(), 1);
    }
}

TEST_F(RotationTest, AdvanceOnAnEmptyListRequestsNothing) {
    g_state.settings.rotationIndex = 5;
    SetTarget(L"Old");
    AdvanceToNextSkin();
    EXPECT_EQ(devhost::ApplySkinCount(), 0);
    EXPECT_EQ(g_state.switchPending.load(), 0);
    EXPECT_EQ(g_state.settings.rotationIndex, 5);
    EXPECT_EQ(Target(), L"Old");
}

TEST_F(RotationTest, RepeatedAdvancesWalkTheSelectedListInOrder) {
    MakeSkins({L"P", L"Q", L"R"});
    SetLists({L"Q"}, {L"P", L"Q", L"R"});
    g_state.settings.targetSkins = RotationList::kSelectedSkins;
    g_state.settings.rotationIndex = 0;
    for (int i = 0; i < 7; ++i) AdvanceToNextSkin();
    const std::vector<std::wstring> expected = {L"Q", L"R", L"P", L"Q", L"R", L"P", L"Q"};
    EXPECT_EQ(devhost::AppliedSkins(), expected);
    EXPECT_EQ(g_state.settings.rotationIndex, 1);
}

TEST_F(RotationTest, RequestOrderAndNoLockAcrossTheHost) {
    MakeSkins({L"P", L"Q"});
    SetLists({L"P", L"Q"}, {});
    SetTarget(L"P");
    std::wstring targetAtApply;
    int pendingAtApply = -1;
    bool lockFree = false;
    int existenceChecks = 0;
    int locked = 0;
    devhost::SetLogObserver([&](const devhost::LogEntry& entry) {
        if (entry.slot == TS_SLOT_GET_SKINS_FOLDER) {
            ++existenceChecks;
            if (!testlog::StateLockIsFree()) ++locked;
        }
        if (entry.slot != TS_SLOT_APPLY_SKIN) return;
        lockFree = testlog::StateLockIsFree();
        pendingAtApply = g_state.switchPending.load();
        ScopedLock guard(g_state.lock);
        targetAtApply = g_state.targetSkin;
    });
    AdvanceToNextSkin();
    devhost::SetLogObserver(nullptr);
    EXPECT_EQ(targetAtApply, L"Q");
    EXPECT_EQ(pendingAtApply, 0) << "switchPending must follow ApplySkin";
    EXPECT_TRUE(lockFree);
    EXPECT_EQ(existenceChecks, 1);
    EXPECT_EQ(locked, 0);
    EXPECT_EQ(g_state.switchPending.load(), 1);

    g_state.switchPending = 0;
    RequestSkin(L"\\Folder Skin");
    EXPECT_EQ(Target(), L"\\Folder Skin");
    EXPECT_EQ(devhost::AppliedSkins().back(), L"\\Folder Skin");
    EXPECT_EQ(g_state.switchPending.load(), 1);
}

TEST_F(RotationTest, SyncPutsTheIndexOnTheTarget) {
    struct Case {
        const char* name;
        std::vector<std::wstring> list;
        int32_t index;
        std::wstring target;
        int32_t expectedIndex;
        std::wstring expectedTarget;
    };
    const Case cases[] = {
        {"found later", {L"P", L"Q", L"R"}, 0, L"R", 2, L"R"},
        {"already right", {L"P", L"Q", L"R"}, 1, L"Q", 1, L"Q"},
        {"duplicate kept at its position", {L"P", L"Q", L"P"}, 2, L"P", 2, L"P"},
        {"duplicate found first", {L"P", L"Q", L"P"}, 1, L"P", 0, L"P"},
        {"index 7 of three", {L"P", L"Q", L"R"}, 7, L"R", 0, L"R"},
        {"negative index", {L"P", L"Q", L"R"}, -3, L"R", 0, L"R"},
        {"not in the list", {L"P", L"Q", L"R"}, 1, L"X", 0, L"P"},
        {"case differs", {L"P", L"Q", L"R"}, 2, L"q", 0, L"P"},
        {"empty target", {L"P", L"Q", L"R"}, 1, L"", 0, L"P"},
        {"empty list", {}, 0, L"X", 0, L"X"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetLists({}, c.list);
        g_state.settings.targetSkins = RotationList::kSelectedSkins;
        g_state.settings.rotationIndex = c.index;
        SetTarget(c.target);
        SyncRotationIndex();
        EXPECT_EQ(g_state.settings.rotationIndex, c.expectedIndex);
        EXPECT_EQ(Target(), c.expectedTarget);
    }
    EXPECT_EQ(devhost::Log().size(), 0u) << "resynchronising never calls the host";
    EXPECT_EQ(g_state.switchPending.load(), 0);
}

TEST_F(RotationTest, TargetNotFoundMakesTheNextAdvanceGoToTheSecondEntry) {
    MakeSkins({L"P", L"Q", L"R"});
    SetLists({L"P", L"Q", L"R"}, {});
    g_state.settings.rotationIndex = 1;
    SetTarget(L"X");
    SyncRotationIndex();
    EXPECT_EQ(Target(), L"P");
    AdvanceToNextSkin();
    EXPECT_EQ(devhost::AppliedSkins(), std::vector<std::wstring>{L"Q"});
}

TEST_F(RotationTest, ThemeSyncModeWalksAllSkinsEvenWithTheSelectedListChosen) {
    MakeSkins({L"A1", L"A2", L"S1", L"S2"});
    SetLists({L"A1", L"A2"}, {L"S1", L"S2"});
    g_state.settings.changeMode = ChangeMode::kThemeSync;
    g_state.settings.targetSkins = RotationList::kSelectedSkins;
    g_state.settings.rotationIndex = 0;
    AdvanceToNextSkin();
    EXPECT_EQ(devhost::AppliedSkins(), std::vector<std::wstring>{L"A2"});
    SetTarget(L"A1");
    SyncRotationIndex();
    EXPECT_EQ(g_state.settings.rotationIndex, 0);
}

}  // namespace
