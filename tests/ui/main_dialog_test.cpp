// The main settings dialog, its two sub-dialogs, and events 8, 9 and 10 that open the
// About box, the main and the item dialog.
#include "engine/worker.h"
#include "support/host_log.h"
#include "support/time_util.h"
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
        g_state.settings.changeMode = static_cast<ChangeMode>(c.mode);
        const INT_PTR result = ShowMain([&](HWND dlg) {
            EXPECT_EQ(c.periodic, devhost::IsChecked(dlg, IDC_MAIN_PERIODIC));
            EXPECT_EQ(!c.periodic, devhost::IsChecked(dlg, IDC_MAIN_THEME_SYNC));
            EXPECT_EQ(c.periodic, devhost::IsEnabled(dlg, IDC_MAIN_PERIODIC_SETTINGS));
            EXPECT_EQ(!c.periodic, devhost::IsEnabled(dlg, IDC_MAIN_THEME_SETTINGS));
            devhost::PressCancel(dlg);
        });
        EXPECT_EQ(0, result);
        EXPECT_EQ(c.mode, static_cast<int32_t>(g_state.settings.changeMode)) << "Cancel stores nothing";
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
        g_state.settings.changeMode = static_cast<ChangeMode>(c.opened);
        const INT_PTR result = ShowMain([&](HWND dlg) {
            if (c.click != 0) {
                EXPECT_TRUE(devhost::Click(dlg, c.click));
                const bool periodic = c.click == IDC_MAIN_PERIODIC;
                EXPECT_EQ(periodic, devhost::IsEnabled(dlg, IDC_MAIN_PERIODIC_SETTINGS));
                EXPECT_EQ(!periodic, devhost::IsEnabled(dlg, IDC_MAIN_THEME_SETTINGS));
                EXPECT_EQ(c.opened, static_cast<int32_t>(g_state.settings.changeMode)) << "not before OK";
            }
            devhost::PressOk(dlg);
        });
        EXPECT_EQ(1, result);
        EXPECT_EQ(c.stored, static_cast<int32_t>(g_state.settings.changeMode));
        EXPECT_EQ(commits + 1, devhost::CommitCount()) << "OK saves even when nothing changed";
        EXPECT_EQ(std::optional<int32_t>(c.stored),
                  devhost::GetSettingInt(1, nullptr, L"ChangeMode"));
    }
}

TEST_F(MainDialogTest, CancelAfterChangingTheModeStoresNothing) {
    g_state.settings.changeMode = ChangeMode::kPeriodic;
    ShowMain([&](HWND dlg) {
        devhost::Click(dlg, IDC_MAIN_THEME_SYNC);
        devhost::PressCancel(dlg);
    });
    EXPECT_EQ(ChangeMode::kPeriodic, g_state.settings.changeMode);
    EXPECT_EQ(0, devhost::CommitCount());
}

TEST_F(MainDialogTest, PeriodicSettingsOpenFromTheMainDialogAndSurviveItsCancel) {
    g_state.settings.changeMode = ChangeMode::kPeriodic;
    g_state.settings.interval = 3;
    devhost::PushDialogScript([&](HWND dlg) {
        EXPECT_TRUE(devhost::Click(dlg, IDC_MAIN_PERIODIC_SETTINGS));
        devhost::PressCancel(dlg);
    });
    devhost::PushDialogScript([&](HWND dlg) {
        EXPECT_EQ(L"Periodic Mode Settings", devhost::DialogTitle(dlg));
        devhost::SetText(dlg, IDC_PERIODIC_INTERVAL, L"12");
        devhost::PressOk(dlg);
    });
    const INT_PTR result = ShowMainSettingsDialog(nullptr);
    EXPECT_EQ(0, result);
    EXPECT_EQ(12, g_state.settings.interval);
    EXPECT_EQ(ChangeMode::kPeriodic, g_state.settings.changeMode);
    EXPECT_EQ(1, devhost::CommitCount()) << "the sub-dialog saved; the main dialog did not";
}

// Periodic settings chosen while theme sync is the mode count from the main dialog's OK
// that makes periodic the mode, not from a schedule of long ago.
TEST_F(MainDialogTest, OkThatChangesToPeriodicRestartsTheScheduleFromThatMoment) {
    constexpr int64_t kWeekNs = 7 * 86'400'000'000'000;
    const auto ids = MakeSkins({L"Aurora", L"Basalt"});
    for (const bool days : {true, false}) {
        SCOPED_TRACE(days ? "days" : "minutes");
        testclock::Install(kWeekNs, LocalTime(2026, 3, 3, 10, 0));
        g_state.settings.changeMode = ChangeMode::kThemeSync;
        g_state.settings.timeUnit = TimeUnit::kHours;
        g_state.settings.interval = 3;
        {
            ScopedLock guard(g_state.lock);
            g_state.settings.lastChanged = LocalTime(2026, 3, 7, 0, 0);  // an old schedule's
            g_state.nextChangeValid = false;
            g_state.lastSwitchStamp = 0;
        }
        const int commits = devhost::CommitCount();
        devhost::PushDialogScript([&](HWND dlg) {
            EXPECT_TRUE(devhost::Click(dlg, IDC_MAIN_PERIODIC));
            EXPECT_TRUE(devhost::Click(dlg, IDC_MAIN_PERIODIC_SETTINGS));
            devhost::PressOk(dlg);
        });
        devhost::PushDialogScript([&](HWND dlg) {
            EXPECT_EQ(ChangeMode::kThemeSync, g_state.settings.changeMode) << "until the main OK";
            devhost::SetText(dlg, IDC_PERIODIC_INTERVAL, days ? L"1" : L"5");
            devhost::SelectComboRow(dlg, IDC_PERIODIC_UNIT, days ? 2 : 0);
            devhost::SetDateTime(dlg, IDC_PERIODIC_TIME, LocalTime(2000, 1, 1, 6, 0));
            devhost::PressOk(dlg);
        });
        testclock::SetLocal(LocalTime(2026, 3, 3, 10, 30));  // the main OK, half an hour on
        ShowMainSettingsDialog(nullptr);
        EXPECT_EQ(ChangeMode::kPeriodic, g_state.settings.changeMode);
        EXPECT_EQ(commits + 2, devhost::CommitCount());
        const int applied = devhost::ApplySkinCount();
        WorkerTick();
        EXPECT_EQ(applied, devhost::ApplySkinCount()) << "switched at once";
        ScopedLock guard(g_state.lock);
        if (days) {
            ASSERT_TRUE(g_state.nextChangeValid);
            EXPECT_EQ("2026-03-04 06:00:00.000", Describe(g_state.nextChangeTime));
        } else {
            EXPECT_EQ(kWeekNs, g_state.lastSwitchStamp);
        }
    }
}

TEST_F(MainDialogTest, ThemeSettingsOpenFromTheMainDialog) {
    const auto ids = MakeSkins({L"Aurora", L"Basalt"});
    g_state.settings.changeMode = ChangeMode::kThemeSync;
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
    ShowMainSettingsDialog(nullptr);
    ScopedLock guard(g_state.lock);
    EXPECT_EQ(ids[1], g_state.settings.darkThemeSkin);
}

TEST_F(MainDialogTest, Event9OpensTheMainSettingsDialog) {
    g_state.settings.changeMode = ChangeMode::kPeriodic;
    bool opened = false;
    devhost::PushDialogScript([&](HWND dlg) {
        opened = true;
        EXPECT_EQ(L"Varnel Plugin Settings", devhost::DialogTitle(dlg));
        devhost::Click(dlg, IDC_MAIN_THEME_SYNC);
        devhost::PressOk(dlg);
    });
    EXPECT_EQ(1, Send(TS_EVENT_SETTINGS, 0));
    EXPECT_TRUE(opened);
    EXPECT_EQ(ChangeMode::kThemeSync, g_state.settings.changeMode);
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

// The launcher sees every dialog's id, owner and initialisation parameter: 0 for all
// but the item dialog, which is handed event 10's param2 as it came, high bits and all.
TEST_F(MainDialogTest, HostIsHandedEachDialogsIdOwnerAndInitialisationParameter) {
    MakeSkins({L"Aurora"});
    g_state.settings.changeMode = ChangeMode::kPeriodic;
    HWND launcher = CreateWindowExW(0, L"STATIC", L"launcher", WS_POPUP, 0, 0, 1, 1, nullptr,
                                    nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, launcher) << "GetLastError " << GetLastError();
    const auto launcherParam = reinterpret_cast<uint64_t>(launcher);
    const uint64_t itemParam = 0x1234567800000009ull;

    HWND mainDialog = nullptr;
    devhost::PushDialogScript([](HWND dlg) { devhost::PressOk(dlg); });  // About
    devhost::PushDialogScript([&](HWND dlg) {                          // main settings
        mainDialog = dlg;
        EXPECT_TRUE(devhost::Click(dlg, IDC_MAIN_PERIODIC_SETTINGS));
        EXPECT_TRUE(devhost::Click(dlg, IDC_MAIN_THEME_SYNC));
        EXPECT_TRUE(devhost::Click(dlg, IDC_MAIN_THEME_SETTINGS));
        devhost::PressCancel(dlg);
    });
    devhost::PushDialogScript([](HWND dlg) { devhost::PressCancel(dlg); });  // periodic
    devhost::PushDialogScript([](HWND dlg) { devhost::PressCancel(dlg); });  // theme sync
    devhost::PushDialogScript([](HWND dlg) { devhost::PressOk(dlg); });      // item
    devhost::ClearLog();
    EXPECT_EQ(1, Send(TS_EVENT_ABOUT, launcherParam));
    EXPECT_EQ(1, Send(TS_EVENT_SETTINGS, launcherParam));
    EXPECT_EQ(1, Send(TS_EVENT_ITEM_SETTINGS, launcherParam, itemParam));
    DestroyWindow(launcher);

    const auto shown = [](UINT id, HWND owner, uint64_t param) {
        return testlog::Call{L"ShowLocalizedDialog",
                             {devhost::LogHex{reinterpret_cast<uintptr_t>(TestModule())},
                              static_cast<int64_t>(id),
                              devhost::LogHex{reinterpret_cast<uintptr_t>(owner)},
                              static_cast<int64_t>(param)}};
    };
    const std::vector<testlog::Expected> expected = {
        shown(102, launcher, 0),          // About
        shown(103, launcher, 0),          // main settings
        shown(105, mainDialog, 0),        // periodic
        shown(106, mainDialog, 0),        // theme sync
        shown(104, launcher, itemParam),  // item
    };
    EXPECT_EQ("", testlog::CompareSequence(
                      testlog::CallsNamed(devhost::Log(), 0, {L"ShowLocalizedDialog"}), expected));
    EXPECT_EQ(std::optional<int32_t>(0), devhost::GetItemParamInt(9, 0))
        << "the item dialog still stores item 9";
}

// A Show call whose dialog the host never created leaves nothing waiting behind it: a
// dialog the host then shows by itself has no data, closes on OK and stores nothing.
TEST_F(MainDialogTest, DialogsTheHostShowsByThemselvesFindNoDataOfAnEarlierShowCall) {
    MakeSkins({L"Aurora"});
    HostServiceTable declining = *devhost::Table();
    declining.ShowLocalizedDialog = [](HMODULE, UINT, HWND, DLGPROC, LPARAM) -> INT_PTR {
        return -1;
    };
    g_state.hostTable = &declining;
    EXPECT_EQ(-1, ShowItemBehaviorDialog(nullptr, 3));
    EXPECT_EQ(-1, ShowPeriodicSettingsDialog(nullptr));
    EXPECT_EQ(-1, ShowThemeSyncSettingsDialog(nullptr));
    g_state.hostTable = devhost::Table();

    const struct {
        UINT id;
        DLGPROC proc;
        int list;  // 0: none
        bool combo;
    } dialogs[] = {{IDD_ITEM_BEHAVIOR, ItemBehaviorDialogProc, IDC_ITEM_SKIN, true},
                   {IDD_PERIODIC_SETTINGS, PeriodicSettingsDialogProc, IDC_PERIODIC_ALL_LIST, false},
                   {IDD_THEME_SYNC_SETTINGS, ThemeSyncSettingsDialogProc, IDC_THEME_LIGHT, true},
                   {IDD_MAIN_SETTINGS, MainSettingsDialogProc, 0, false},
                   {IDD_ABOUT, AboutDialogProc, 0, false}};
    for (const auto& d : dialogs) {
        for (const bool ok : {true, false}) {
            SCOPED_TRACE(::testing::Message() << "dialog " << d.id << (ok ? ", OK" : ", Esc"));
            Rows rows{L"<not shown>"};
            devhost::PushDialogScript([&](HWND dlg) {
                rows = d.list == 0 ? Rows{} : d.combo ? devhost::ComboRows(dlg, d.list) : devhost::ListRows(dlg, d.list);
                EXPECT_TRUE(ok ? devhost::PressOk(dlg) : devhost::PressEscape(dlg));
            });
            EXPECT_EQ(0, devhost::Table()->ShowLocalizedDialog(TestModule(), d.id, nullptr, d.proc, 0));
            EXPECT_EQ(Rows{}, rows) << "the dialog was not filled";
            EXPECT_EQ(0, devhost::DialogWatchdogFired()) << "OK or Cancel left it open";
        }
    }
    EXPECT_EQ(0u, devhost::CallCount(TS_SLOT_SET_ITEM_PARAM_INT));
    EXPECT_EQ(0, devhost::CommitCount());
}

}  // namespace
