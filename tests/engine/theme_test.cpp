// Following the Windows app theme: the registry read, the hidden window's procedure,
// the worker's debounce and the skin requested.
#include "engine/rotation.h"
#include "engine/theme.h"
#include "engine_fixture.h"

namespace {

class ThemeTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        AttachHost();
        skins = MakeSkins({L"Paper", L"Slate", L"Graphite"});
        light = skins[0];
        dark = skins[1];
        SetAllSkins(skins);
        SetThemeSkins(light, dark);
        SetTarget(light);
        devhost::SetCurrentSkin(light);
        g_state.settings.changeMode = ChangeMode::kThemeSync;
        ASSERT_TRUE(devhost::SetAppsUseLightTheme(1));
    }

    void TearDown() override {
        EngineTest::TearDown();
        devhost::SetAppsUseLightTheme(1);
    }

    static LRESULT Notify(const wchar_t* text) {
        return NotifyWindowProc(nullptr, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(text));
    }

    std::vector<std::wstring> skins;
    std::wstring light;
    std::wstring dark;
};

TEST_F(ThemeTest, RegistryValueDecidesTheSkin) {
    struct Case {
        const char* name;
        std::function<bool()> store;
        bool darkExpected;
    };
    const Case cases[] = {
        {"0", [] { return devhost::SetAppsUseLightTheme(0); }, true},
        {"1", [] { return devhost::SetAppsUseLightTheme(1); }, false},
        {"2", [] { return devhost::SetAppsUseLightTheme(2); }, true},
        {"0xFFFFFFFF", [] { return devhost::SetAppsUseLightTheme(0xFFFFFFFFu); }, true},
        {"absent", [] { return devhost::DeleteAppsUseLightTheme(); }, false},
        {"string \"0\"", [] { return devhost::SetAppsUseLightThemeString(L"0"); }, false},
        {"empty string", [] { return devhost::SetAppsUseLightThemeString(L""); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(c.store());
        // Start from the other skin, so that the expected one is always a change.
        const std::wstring expected = c.darkExpected ? dark : light;
        SetTarget(c.darkExpected ? light : dark);
        const int applied = devhost::ApplySkinCount();
        SyncWithWindowsTheme();
        ASSERT_EQ(devhost::ApplySkinCount(), applied + 1);
        EXPECT_EQ(devhost::AppliedSkins().back(), expected);
        EXPECT_EQ(Target(), expected);
        EXPECT_EQ(g_state.switchPending.load(), 1);
        g_state.switchPending = 0;
    }
}

TEST_F(ThemeTest, NothingIsRequestedWhenTheChosenSkinIsAlreadyTheTarget) {
    devhost::SetAppsUseLightTheme(0);
    SetTarget(dark);
    SyncWithWindowsTheme();
    EXPECT_EQ(devhost::ApplySkinCount(), 0);
    EXPECT_EQ(g_state.switchPending.load(), 0);
    // A skin chosen by hand in the launcher is not noticed: only targetSkin counts.
    devhost::SetCurrentSkin(skins[2]);
    SyncWithWindowsTheme();
    EXPECT_EQ(devhost::ApplySkinCount(), 0);
    // The same skin for both themes.
    SetThemeSkins(dark, dark);
    devhost::SetAppsUseLightTheme(1);
    SyncWithWindowsTheme();
    EXPECT_EQ(devhost::ApplySkinCount(), 0);
    EXPECT_EQ(devhost::CommitCount(), 0);
}

TEST_F(ThemeTest, MissingEmptyOrDeletedThemeSkinRequestsNothing) {
    devhost::SetAppsUseLightTheme(0);
    for (const std::wstring& chosen :
         {std::wstring(), std::wstring(L"Gone.tskin"), std::wstring(L"\\Gone"), skins[2]}) {
        SCOPED_TRACE(testing::PrintToString(chosen));
        if (chosen == skins[2]) {
            ASSERT_TRUE(DeleteFileW((skins_ + L"\\" + chosen).c_str()));
        }
        SetThemeSkins(light, chosen);
        SyncWithWindowsTheme();
        EXPECT_EQ(devhost::ApplySkinCount(), 0);
        EXPECT_EQ(Target(), light);
        EXPECT_EQ(g_state.switchPending.load(), 0);
    }
}

TEST_F(ThemeTest, PeriodicModeIgnoresBothTheCheckAndTheNotifications) {
    g_state.settings.changeMode = ChangeMode::kPeriodic;
    devhost::SetAppsUseLightTheme(0);
    SyncWithWindowsTheme();
    EXPECT_EQ(devhost::ApplySkinCount(), 0);
    EXPECT_EQ(Notify(L"ImmersiveColorSet"), 0);
    EXPECT_EQ(g_state.themeChangePending.load(), 0);
    // Choosing theme sync mode later does not replay the ignored notification.
    g_state.settings.changeMode = ChangeMode::kThemeSync;
    Tick(5);
    EXPECT_EQ(devhost::ApplySkinCount(), 0);
}

TEST_F(ThemeTest, OnlyTheColorSetChangeInAnyCaseRaisesTheFlag) {
    struct Case {
        const wchar_t* text;
        int32_t raised;
    };
    const Case cases[] = {
        {L"ImmersiveColorSet", 1},  {L"immersivecolorset", 1}, {L"IMMERSIVECOLORSET", 1},
        {nullptr, 0},               {L"", 0},                  {L"ImmersiveColorSetX", 0},
        {L"ImmersiveColor", 0},     {L"Policy", 0},            {L"intl", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text ? std::wstring(c.text) : std::wstring(L"(null)")));
        g_state.themeChangePending = 0;
        g_state.themeDebounceTicks = 7;
        EXPECT_EQ(Notify(c.text), 0);
        EXPECT_EQ(g_state.themeChangePending.load(), c.raised);
        EXPECT_EQ(g_state.themeDebounceTicks.load(), c.raised ? 0 : 7);
    }
}

TEST_F(ThemeTest, WindowProcedureTracksTheWindowAndPassesOtherMessagesOn) {
    EXPECT_EQ(NotifyWindowProc(nullptr, WM_CREATE, 0, 0), 0);
    EXPECT_EQ(g_state.windowAlive.load(), 1);
    EXPECT_EQ(NotifyWindowProc(nullptr, WM_NCDESTROY, 0, 0), 0);
    EXPECT_EQ(g_state.windowAlive.load(), 0);
    ASSERT_EQ(Initialize(), 1);
    HWND window = g_state.hiddenWindow;
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(g_state.windowAlive.load(), 1);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"probe")), TRUE)
        << "WM_SETTEXT not passed to DefWindowProcW";
    wchar_t text[16] = {};
    GetWindowTextW(window, text, 16);
    EXPECT_STREQ(text, L"probe");
    Shutdown();
    EXPECT_EQ(g_state.windowAlive.load(), 0);
}

TEST_F(ThemeTest, BurstOfNotificationsLeadsToOneCheckOnTheSecondQuietTick) {
    devhost::SetAppsUseLightTheme(0);
    for (int burst : {1, 3, 1000}) {
        SCOPED_TRACE(burst);
        for (int i = 0; i < burst; ++i) {
            Notify(L"ImmersiveColorSet");
            if (i + 1 < burst && i < 5) {
                Tick();  // a notification after every tick restarts the count
                EXPECT_EQ(devhost::ApplySkinCount(), 0);
            }
        }
        Tick();
        EXPECT_EQ(devhost::ApplySkinCount(), 0) << "acted on the first quiet tick";
        Tick();
        ASSERT_EQ(devhost::ApplySkinCount(), 1) << "not acted on at the second quiet tick";
        EXPECT_EQ(devhost::AppliedSkins().back(), dark);
        EXPECT_EQ(g_state.themeChangePending.load(), 0);
        Tick(3);  // confirmed, nothing more
        EXPECT_EQ(devhost::ApplySkinCount(), 1);
        EXPECT_EQ(g_state.switchPending.load(), 0);
        devhost::Reset();
        devhost::SetSkinsFolder(skins_);
        devhost::SetCurrentSkin(light);
        SetTarget(light);
    }
}

TEST_F(ThemeTest, NotificationDuringAPendingSwitchIsActedOnAfterTheConfirmation) {
    devhost::SetApplyMode(devhost::ApplyMode::Never);
    RequestSkin(skins[2]);
    devhost::SetAppsUseLightTheme(0);
    Notify(L"ImmersiveColorSet");
    Tick(40);
    for (const std::wstring& applied : devhost::AppliedSkins()) {
        EXPECT_EQ(applied, skins[2]) << "the theme was looked at while a switch was pending";
    }
    devhost::SetCurrentSkin(skins[2]);
    Tick();
    ASSERT_EQ(g_state.switchPending.load(), 0);
    const int applied = devhost::ApplySkinCount();
    Tick();
    EXPECT_EQ(devhost::ApplySkinCount(), applied);
    Tick();
    ASSERT_EQ(devhost::ApplySkinCount(), applied + 1);
    EXPECT_EQ(devhost::AppliedSkins().back(), dark);
}

TEST_F(ThemeTest, ChosenSkinIsRequestedEvenWhenTheListDoesNotHoldIt) {
    devhost::SetAppsUseLightTheme(0);
    const std::wstring unlisted = devhost::MakeFileSkin(skins_, L"Dusk");
    struct Case {
        const char* name;
        std::vector<std::wstring> list;
        std::wstring chosen;
        int32_t index;
    };
    const Case cases[] = {
        {"listed third", skins, skins[2], 2},
        {"on disk, not in a list still filling", {skins[0], skins[1]}, unlisted, 0},
        {"empty list", {}, unlisted, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetAllSkins(c.list);
        SetThemeSkins(light, c.chosen);
        SetTarget(light);
        g_state.settings.rotationIndex = 1;
        g_state.settings.targetSkins = RotationList::kSelectedSkins;  // theme sync walks allSkins whatever this says
        SetSelectedSkins({skins[1]});
        SyncWithWindowsTheme();
        EXPECT_EQ(devhost::AppliedSkins().back(), c.chosen);
        EXPECT_EQ(Target(), c.chosen);
        EXPECT_EQ(g_state.settings.rotationIndex, c.index);
        g_state.switchPending = 0;
    }
}

TEST_F(ThemeTest, InitialisationChecksTheThemeOnce) {
    devhost::SetSetting(1, nullptr, L"ChangeMode", 1);
    devhost::SetSetting(1, L"ThemeSync", L"LightTheme", light);
    devhost::SetSetting(1, L"ThemeSync", L"DarkTheme", dark);
    devhost::SetAppsUseLightTheme(0);
    ResetPluginState();
    g_state.moduleHandle = TestModule();
    ASSERT_EQ(Initialize(), 1);
    ASSERT_GE(devhost::ApplySkinCount(), 1);
    EXPECT_EQ(devhost::AppliedSkins().front(), dark);
    EXPECT_TRUE(devhost::PumpUntil([] { return devhost::CommitCount() >= 1; }, 5000))
        << "the start-up request was never confirmed";
    EXPECT_EQ(devhost::ApplySkinCount(), 1);
}

TEST_F(ThemeTest, BroadcastReachesTheHiddenWindowAndTheRunningWorker) {
    devhost::SetSetting(1, nullptr, L"ChangeMode", 1);
    devhost::SetSetting(1, L"ThemeSync", L"LightTheme", light);
    devhost::SetSetting(1, L"ThemeSync", L"DarkTheme", dark);
    ResetPluginState();
    g_state.moduleHandle = TestModule();
    ASSERT_EQ(Initialize(), 1);  // light theme, light skin showing: nothing to do
    EXPECT_EQ(devhost::ApplySkinCount(), 0);

    devhost::SetAppsUseLightTheme(0);
    for (int i = 0; i < 3; ++i) {
        devhost::BroadcastColorSetChange();
        devhost::PumpUntil([] { return false; }, 50);  // pacing of the burst, not a wait
    }
    ASSERT_TRUE(devhost::PumpUntil([] { return devhost::CommitCount() >= 1; }, 5000))
        << "no theme switch confirmed; ApplySkin calls " << devhost::ApplySkinCount();
    EXPECT_EQ(devhost::AppliedSkins(), std::vector<std::wstring>{dark});
    EXPECT_EQ(g_state.themeChangePending.load(), 0) << "another evaluation is still due";
}

}  // namespace
