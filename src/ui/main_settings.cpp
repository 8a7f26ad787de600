// The main settings dialog: the choice between periodic switching and theme sync.
//
// 1. The radio buttons change only the dialog; changeMode is written at OK alone, and
//    only as 0 or 1.
// 2. Each mode's Settings button is enabled only while its mode is checked.
// 3. The sub-dialogs store and save on their own OK; Cancel here undoes nothing of theirs.
#include "config/settings.h"
#include "core/state.h"
#include "resource.h"
#include "ui/dialog_util.h"
#include "ui/dialogs.h"

namespace {

void ApplyModeEnabling(HWND dialog) {
    const bool periodic = IsButtonChecked(dialog, IDC_MAIN_PERIODIC);
    EnableControl(dialog, IDC_MAIN_PERIODIC_SETTINGS, periodic);
    EnableControl(dialog, IDC_MAIN_THEME_SETTINGS, !periodic);
}

INT_PTR HandleMainSettings(HWND dialog, UINT message, WPARAM wParam) {
    if (message == WM_INITDIALOG) {
        const bool periodic = g_state.changeMode == ChangeMode::kPeriodic;
        CheckRadioButton(dialog, IDC_MAIN_PERIODIC, IDC_MAIN_THEME_SYNC,
                         periodic ? IDC_MAIN_PERIODIC : IDC_MAIN_THEME_SYNC);
        SendCommandToSelf(dialog, IDC_MAIN_PERIODIC, 0);
        return TRUE;
    }
    if (message != WM_COMMAND) {
        return FALSE;
    }
    const int id = LOWORD(wParam);
    const WORD code = HIWORD(wParam);
    switch (id) {
    case IDC_MAIN_PERIODIC:
    case IDC_MAIN_THEME_SYNC:
        if (code == BN_CLICKED) {
            ApplyModeEnabling(dialog);
        }
        break;
    case IDC_MAIN_PERIODIC_SETTINGS:
        if (code == BN_CLICKED) {
            ShowPeriodicSettingsDialog(dialog);
        }
        break;
    case IDC_MAIN_THEME_SETTINGS:
        if (code == BN_CLICKED) {
            ShowThemeSyncSettingsDialog(dialog);
        }
        break;
    case IDOK:
        g_state.changeMode = IsButtonChecked(dialog, IDC_MAIN_PERIODIC) ? ChangeMode::kPeriodic
                                                                        : ChangeMode::kThemeSync;
        SaveSettings();
        EndDialog(dialog, 1);
        break;
    case IDCANCEL:
        EndDialog(dialog, 0);
        break;
    default:
        break;
    }
    return TRUE;
}

}  // namespace

INT_PTR ShowMainSettingsDialog(HWND owner) {
    return host::ShowDialog(IDD_MAIN_SETTINGS, owner, MainSettingsDialogProc, 0);
}

INT_PTR CALLBACK MainSettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    return GuardDialog([&] { return HandleMainSettings(dialog, message, wParam); });
}
