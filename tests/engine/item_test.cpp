// The launcher item: its behaviours, the rotation index it leaves, and event 7.
#include <climits>

#include "engine/item.h"
#include "engine_fixture.h"

namespace {

constexpr uint32_t kItem = 42;

class ItemTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        AttachHost();
        skins = MakeSkins({L"P", L"Q", L"R", L"S"});
        SetAllSkins(skins);
        SetSelectedSkins({skins[0], skins[1], skins[2]});
        SetTarget(skins[0]);
        devhost::SetCurrentSkin(skins[0]);
        g_state.settings.changeMode = ChangeMode::kPeriodic;
        g_state.settings.targetSkins = RotationList::kAllSkins;
        g_state.settings.timeUnit = TimeUnit::kDays;
        g_state.settings.interval = 1;
    }

    void Specified(const std::wstring& skin) {
        devhost::SetItemParam(kItem, 0, 1);
        devhost::SetItemParam(kItem, 0, skin);
    }

    std::vector<std::wstring> skins;
};

TEST_F(ItemTest, NeverConfiguredItemAdvances) {
    RunItemCommand(kItem);
    ASSERT_EQ(devhost::ApplySkinCount(), 1);
    EXPECT_EQ(devhost::AppliedSkins().back(), skins[1]);
    EXPECT_EQ(g_state.settings.rotationIndex, 1);
    EXPECT_EQ(g_state.switchPending.load(), 1);
}

TEST_F(ItemTest, NextSkinInThemeSyncModeWalksAllSkins) {
    g_state.settings.changeMode = ChangeMode::kThemeSync;
    g_state.settings.targetSkins = RotationList::kSelectedSkins;
    g_state.settings.rotationIndex = 2;
    devhost::SetItemParam(kItem, 0, 0);
    RunItemCommand(kItem);
    EXPECT_EQ(devhost::AppliedSkins().back(), skins[3]) << "walked the selected list";
}

TEST_F(ItemTest, SpecifiedSkinWithSelectedSkinsLeavesTheIndexAlone) {
    g_state.settings.targetSkins = RotationList::kSelectedSkins;
    g_state.settings.rotationIndex = 0;
    Specified(skins[2]);
    RunItemCommand(kItem);
    EXPECT_EQ(devhost::AppliedSkins().back(), skins[2]);
    EXPECT_EQ(Target(), skins[2]);
    EXPECT_EQ(g_state.settings.rotationIndex, 0);
    Tick();  // confirmed
    ASSERT_EQ(g_state.switchPending.load(), 0);
    devhost::SetItemParam(kItem, 0, 0);
    RunItemCommand(kItem);
    EXPECT_EQ(devhost::AppliedSkins().back(), skins[1]) << "the next switch continues from 0";
}

TEST_F(ItemTest, SpecifiedSkinWithAllSkinsMovesTheIndexToIt) {
    g_state.settings.rotationIndex = 0;
    Specified(skins[2]);
    RunItemCommand(kItem);
    EXPECT_EQ(devhost::AppliedSkins().back(), skins[2]);
    EXPECT_EQ(g_state.settings.rotationIndex, 2);
    Tick();
    devhost::SetItemParam(kItem, 0, 0);
    RunItemCommand(kItem);
    EXPECT_EQ(devhost::AppliedSkins().back(), skins[3]);
}

TEST_F(ItemTest, SpecifiedSkinMissingFromTheListIsStillTheOneRequested) {
    const std::wstring unlisted = devhost::MakeFolderSkin(skins_, L"Late Arrival");
    for (int32_t mode : {0, 1}) {
        SCOPED_TRACE(mode == 1 ? "theme sync mode" : "periodic mode, all skins");
        g_state.settings.changeMode = static_cast<ChangeMode>(mode);
        g_state.settings.rotationIndex = 3;
        SetTarget(skins[0]);
        Specified(unlisted);
        RunItemCommand(kItem);
        EXPECT_EQ(devhost::AppliedSkins().back(), unlisted);
        EXPECT_EQ(Target(), unlisted);
        EXPECT_EQ(g_state.settings.rotationIndex, 0);
        EXPECT_EQ(g_state.switchPending.load(), 1);
        Tick();
        EXPECT_EQ(g_state.switchPending.load(), 0) << "the unlisted skin was not confirmed";
    }
}

TEST_F(ItemTest, SpecifiedSkinAlreadyShowingIsRequestedAndConfirmedAgain) {
    Specified(skins[0]);
    RunItemCommand(kItem);
    EXPECT_EQ(devhost::AppliedSkins(), std::vector<std::wstring>{skins[0]});
    Tick();
    EXPECT_EQ(g_state.switchPending.load(), 0);
    EXPECT_EQ(devhost::CommitCount(), 1);
}

TEST_F(ItemTest, BehavioursThatRequestNothing) {
    struct Case {
        const char* name;
        std::function<void()> configure;
    };
    const Case cases[] = {
        {"behaviour 1, nothing stored", [] { devhost::SetItemParam(kItem, 0, 1); }},
        {"behaviour 1, empty skin",
         [] {
             devhost::SetItemParam(kItem, 0, 1);
             devhost::SetItemParam(kItem, 0, std::wstring());
         }},
        {"behaviour 1, deleted skin",
         [this] {
             ASSERT_TRUE(DeleteFileW((skins_ + L"\\" + skins[3]).c_str()));
             Specified(skins[3]);
         }},
        {"behaviour 1, a path out of the folder", [this] { Specified(L"..\\" + skins[0]); }},
        {"behaviour 2", [] { devhost::SetItemParam(kItem, 0, 2); }},
        {"behaviour -1", [] { devhost::SetItemParam(kItem, 0, -1); }},
        {"behaviour INT_MIN", [] { devhost::SetItemParam(kItem, 0, INT_MIN); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        devhost::ClearAllItemParams();
        c.configure();
        RunItemCommand(kItem);
        EXPECT_EQ(devhost::ApplySkinCount(), 0);
        EXPECT_EQ(g_state.switchPending.load(), 0);
        EXPECT_EQ(Target(), skins[0]);
        EXPECT_EQ(g_state.settings.rotationIndex, 0);
    }
}

TEST_F(ItemTest, EventSevenRunsTheItemOnlyWithBitZeroClear) {
    Specified(skins[2]);
    for (uint64_t flags : {1ull, 3ull, 0xFFFFFFFFFFFFFFFFull}) {
        SCOPED_TRACE(flags);
        EXPECT_EQ(Send(TS_EVENT_RUN_ITEM, kItem, flags), 1);
    }
    EXPECT_EQ(0u, devhost::CallCount(TS_SLOT_GET_ITEM_PARAM_INT)) << "an odd flag calls nothing";
    EXPECT_EQ(devhost::ApplySkinCount(), 0);
    // Only the low 32 bits of param1 name the item.
    EXPECT_EQ(Send(TS_EVENT_RUN_ITEM, (0xABCDull << 32) | kItem, 2), 1);
    ASSERT_EQ(devhost::ApplySkinCount(), 1);
    EXPECT_EQ(devhost::AppliedSkins().back(), skins[2]);
}

}  // namespace
