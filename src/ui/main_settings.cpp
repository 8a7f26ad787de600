// The main settings dialog: the choice between periodic switching and theme sync.
//
// 1. The radio buttons change only the dialog; changeMode is written at OK alone, and
//    only as 0 or 1.
// 2. Each mode's Settings button is enabled only while its mode is checked.
// 3. The sub-dialogs store and save on their own OK; Cancel here undoes nothing of theirs.
// 4. OK that makes periodic the mode, from any other, restarts the schedule from that
//    moment in the same step, as the periodic dialog's OK would: whatever was chosen
//    meanwhile counts from now, not from a stamp of long ago.
#include "config/settings.h"
#include "core/clock.h"
#include "core/state.h"
#include "engine/schedule.h"
#include "resource.h"
#include "ui/dialog_util.h"
#include "ui/dialogs.h"

namespace {

struct MainDialogData {};

void ApplyModeEnabling(HWND dialog) {
    const bool periodic = IsButtonChecked(dialog, IDC_MAIN_PERIODIC);
    EnableControl(dialog, IDC_MAIN_PERIODIC_SETTINGS, periodic);
    EnableControl(dialog, IDC_MAIN_THEME_SETTINGS, !periodic);
}

void OpenMainDialog(HWND dialog, MainDialogData&) {
    const bool periodic = CopySettings().changeMode == ChangeMode::kPeriodic;
    CheckRadioButton(dialog, IDC_MAIN_PERIODIC, IDC_MAIN_THEME_SYNC,
                     periodic ? IDC_MAIN_PERIODIC : IDC_MAIN_THEME_SYNC);
    SendCommandToSelf(dialog, IDC_MAIN_PERIODIC, 0);
}

void HandleMainCommand(HWND dialog, MainDialogData&, int id, WORD code) {
    if (code != BN_CLICKED) {
        return;
    }
    switch (id) {
    case IDC_MAIN_PERIODIC:
    case IDC_MAIN_THEME_SYNC:
        ApplyModeEnabling(dialog);
        break;
    case IDC_MAIN_PERIODIC_SETTINGS:
        ShowPeriodicSettingsDialog(dialog);
        break;
    case IDC_MAIN_THEME_SETTINGS:
        ShowThemeSyncSettingsDialog(dialog);
        break;
    default:
        break;
    }
}

void StoreMode(HWND dialog, MainDialogData&) {
    const ChangeMode mode =
        IsButtonChecked(dialog, IDC_MAIN_PERIODIC) ? ChangeMode::kPeriodic : ChangeMode::kThemeSync;
    const ClockReading now = ReadClocks();
    {
        ScopedLock guard(g_state.lock);
        const bool becomesPeriodic =
            mode == ChangeMode::kPeriodic && g_state.settings.changeMode != ChangeMode::kPeriodic;
        g_state.settings.changeMode = mode;
        if (becomesPeriodic) {
            StampScheduleLocked(ScheduleStart::kNow, now);
        }
    }
    SaveSettings();
}

constexpr DialogKind<MainDialogData> kMainDialog = {IDD_MAIN_SETTINGS, MainSettingsDialogProc,
                                                    OpenMainDialog, HandleMainCommand, StoreMode};

}  // namespace

INT_PTR ShowMainSettingsDialog(HWND owner) {
    MainDialogData data;
    return ShowDialog(kMainDialog, owner, 0, data);
}

INT_PTR CALLBACK MainSettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    return RunDialog(kMainDialog, dialog, message, wParam);
}
