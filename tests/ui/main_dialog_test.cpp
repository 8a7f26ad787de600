// The main settings dialog, its two sub-dialogs, and events 9 and 10 that open the
// main and the item dialog.
#include "ui/dialog_test.h"

namespace {

class MainDialogTest : public DialogTest {
protected:
    static INT_PTR ShowMain(const std::function<void(HWND)>& script) {
        return Show([] { return ShowMainSettingsDialog(nullptr); }, script);
    }
};

TEST_F(MainDialogTest, OpeningChecksTheStoredModeAndEnablesOnlyItsSettingsButton) {
    struct Case {
        int32_t mode;
        bool periodic;
    };
    for (const Case& c : {Case{0, true}, Case{1, false}, Case{5, false}, Case{-1, false}}) {
        SCOPED_TRACE(c.mode);
        g_state.changeMode = static_cast<ChangeMode>(c.mode);
        const INT_PTR result = ShowMain([&](HWND dlg) {
            EXPECT_EQ(c.periodic, devhost::IsChecked(dlg, IDC_MAIN_PERIODIC));
            EXPECT_EQ(!c.periodic, devhost::IsChecked(dlg, IDC_MAIN_THEME_SYNC));
            EXPECT_EQ(c.periodic, devhost::IsEnabled(dlg, IDC_MAIN_PERIODIC_SETTINGS));
            EXPECT_EQ(!c.periodic, devhost::IsEnabled(dlg, IDC_MAIN_THEME_SETTINGS));
            devhost::PressCancel(dlg);
        });
        EXPECT_EQ(0, result);
        EXPECT_EQ(c.mode, static_cast<int32_t>(g_state.changeMode.load())) << "Cancel stores nothing";
    }
    EXPECT_EQ(0, devhost::CommitCount());
}

TEST_F(MainDialogTest, RadioButtonsSwitchTheSettingsButtonsAndOkStoresOnlyZeroOrOne) {
    struct Case {
        int32_t opened;
        int click;  // 0: none
        int32_t stored;
    };
    for (const Case& c : {Case{1, IDC_MAIN_PERIODIC, 0}, Case{0, IDC_MAIN_THEME_SYNC, 1},
                          Case{7, 0, 1}, Case{0, 0, 0}}) {
        SCOPED_TRACE(testing::Message() << "opened " << c.opened << ", click " << c.click);
        const int commits = devhost::CommitCount();
        g_state.changeMode = static_cast<ChangeMode>(c.opened);
        const INT_PTR result = ShowMain([&](HWND dlg) {
            if (c.click != 0) {
                EXPECT_TRUE(devhost::Click(dlg, c.click));
                const bool periodic = c.click == IDC_MAIN_PERIODIC;
                EXPECT_EQ(periodic, devhost::IsEnabled(dlg, IDC_MAIN_PERIODIC_SETTINGS));
                EXPECT_EQ(!periodic, devhost::IsEnabled(dlg, IDC_MAIN_THEME_SETTINGS));
                EXPECT_EQ(c.opened, static_cast<int32_t>(g_state.changeMode.load())) << "not before OK";
            }
            devhost::PressOk(dlg);
        });
        EXPECT_EQ(1, result);
        EXPECT_EQ(c.stored, static_cast<int32_t>(g_state.changeMode.load()));
        EXPECT_EQ(commits + 1, devhost::CommitCount()) << "OK saves even when nothing changed";
        EXPECT_EQ(std::optional<int32_t>(c.stored),
                  devhost::GetSettingInt(1, nullptr, L"ChangeMode"));
    }
}

TEST_F(MainDialogTest, CancelAfterChangingTheModeStoresNothing) {
    g_state.changeMode = ChangeMode::kPeriodic;
    ShowMain([&](HWND dlg) {
        devhost::Click(dlg, IDC_MAIN_THEME_SYNC);
        devhost::PressCancel(dlg);
    });
    EXPECT_EQ(ChangeMode::kPeriodic, g_state.changeMode.load());
    EXPECT_EQ(0, devhost::CommitCount());
}

TEST_F(MainDialogTest, PeriodicSettingsOpenFromTheMainDialogAndSurviveItsCancel) {
    g_state.changeMode = ChangeMode::kPeriodic;
    g_state.interval = 3;
    devhost::PushDialogScript([&](HWND dlg) {
        EXPECT_TRUE(devhost::Click(dlg, IDC_MAIN_PERIODIC_SETTINGS));
        devhost::PressCancel(dlg);
    });
    devhost::PushDialogScript([&](HWND dlg) {
        EXPECT_EQ(L"Periodic Mode Settings", devhost::DialogTitle(dlg));
        devhost::SetText(dlg, IDC_PERIODIC_INTERVAL, L"12");
        devhost::PressOk(dlg);
    });
    const INT_PTR result = devhost::Table()->ShowLocalizedDialog(
        TestModule(), IDD_MAIN_SETTINGS, nullptr, MainSettingsDialogProc, 0);
    EXPECT_EQ(0, result);
    EXPECT_EQ(12, g_state.interval.load());
    EXPECT_EQ(ChangeMode::kPeriodic, g_state.changeMode.load());
    EXPECT_EQ(1, devhost::CommitCount()) << "the sub-dialog saved; the main dialog did not";
}

TEST_F(MainDialogTest, SubDialogsSeeTheOldModeUntilTheMainDialogsOk) {
    const auto ids = MakeSkins({L"Aurora", L"Basalt"});
    g_state.changeMode = ChangeMode::kThemeSync;
    g_state.timeUnit = TimeUnit::kMinutes;
    devhost::PushDialogScript([&](HWND dlg) {
        EXPECT_TRUE(devhost::Click(dlg, IDC_MAIN_PERIODIC));
        EXPECT_TRUE(devhost::Click(dlg, IDC_MAIN_PERIODIC_SETTINGS));
        devhost::PressOk(dlg);
    });
    devhost::PushDialogScript([&](HWND dlg) {
        EXPECT_EQ(ChangeMode::kThemeSync, g_state.changeMode.load());
        devhost::SetText(dlg, IDC_PERIODIC_INTERVAL, L"8");
        devhost::PressOk(dlg);
    });
    devhost::Table()->ShowLocalizedDialog(TestModule(), IDD_MAIN_SETTINGS, nullptr,
                                          MainSettingsDialogProc, 0);
    EXPECT_EQ(8, g_state.interval.load());
    EXPECT_EQ(ChangeMode::kPeriodic, g_state.changeMode.load());
    EXPECT_EQ(2, devhost::CommitCount());
    ScopedLock guard(g_state.lock);
    EXPECT_EQ(0, g_state.lastSwitchStamp) << "the periodic OK ran while theme sync was in force";
}

TEST_F(MainDialogTest, ThemeSettingsOpenFromTheMainDialog) {
    const auto ids = MakeSkins({L"Aurora", L"Basalt"});
    g_state.changeMode = ChangeMode::kThemeSync;
    devhost::PushDialogScript([&](HWND dlg) {
        EXPECT_TRUE(devhost::Click(dlg, IDC_MAIN_THEME_SETTINGS));
        devhost::PressCancel(dlg);
    });
    devhost::PushDialogScript([&](HWND dlg) {
        EXPECT_EQ(L"Windows Theme Sync Settings", devhost::DialogTitle(dlg));
        const int basalt = RowOf(devhost::ComboRows(dlg, IDC_THEME_DARK), L"Basalt");
        devhost::SelectComboRow(dlg, IDC_THEME_DARK, basalt);
        devhost::PressOk(dlg);
    });
    devhost::Table()->ShowLocalizedDialog(TestModule(), IDD_MAIN_SETTINGS, nullptr,
                                          MainSettingsDialogProc, 0);
    ScopedLock guard(g_state.lock);
    EXPECT_EQ(ids[1], g_state.darkThemeSkin);
}

TEST_F(MainDialogTest, Event9OpensTheMainSettingsDialog) {
    g_state.changeMode = ChangeMode::kPeriodic;
    bool opened = false;
    devhost::PushDialogScript([&](HWND dlg) {
        opened = true;
        EXPECT_EQ(L"Varnel Plugin Settings", devhost::DialogTitle(dlg));
        devhost::Click(dlg, IDC_MAIN_THEME_SYNC);
        devhost::PressOk(dlg);
    });
    EXPECT_EQ(1, Send(TS_EVENT_SETTINGS, 0));
    EXPECT_TRUE(opened);
    EXPECT_EQ(ChangeMode::kThemeSync, g_state.changeMode.load());
}

TEST_F(MainDialogTest, Event10OpensTheItemDialogForTheLow32BitsOfItsItemId) {
    const auto ids = MakeSkins({L"Aurora"});
    bool opened = false;
    devhost::PushDialogScript([&](HWND dlg) {
        opened = true;
        EXPECT_EQ(L"Plugin Item Behavior", devhost::DialogTitle(dlg));
        devhost::Click(dlg, IDC_ITEM_SPECIFIED);
        devhost::PressOk(dlg);
    });
    EXPECT_EQ(1, Send(TS_EVENT_ITEM_SETTINGS, 0, 0x0000000500000009ull));
    EXPECT_TRUE(opened);
    EXPECT_EQ(std::optional<int32_t>(1), devhost::GetItemParamInt(9, 0));
    EXPECT_EQ(std::optional<std::wstring>(ids[0]), devhost::GetItemParamString(9, 0));
    EXPECT_FALSE(devhost::GetItemParamInt(5, 0).has_value());
    EXPECT_EQ(0, devhost::CommitCount()) << "an item's behaviour is not a plug-in setting";
}

}  // namespace
