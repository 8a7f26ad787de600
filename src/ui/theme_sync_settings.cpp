// The theme sync settings dialog: the skins for the light and the dark app theme.
//
// 1. Each box preselects row 0, then every later row whose identifier equals the stored
//    one exactly; so the last match wins and a missing skin shows the first row.
// 2. OK stores the identifiers of the selected rows, taken from the list that filled
//    the boxes, and saves. A box without a selected row (empty Skins folder) leaves
//    its stored skin as it was.
// 3. Nothing is applied: the new skins take effect at the next theme change.
#include "catalog/catalog.h"
#include "config/settings.h"
#include "engine/rotation.h"
#include "core/state.h"
#include "resource.h"
#include "ui/dialog_util.h"
#include "ui/dialogs.h"

namespace {

struct ThemeDialogData {
    SkinList shown;  // the rows of both boxes
};

void FillThemeBoxes(HWND dialog, ThemeDialogData& data) {
    RefreshAllSkins();
    data.shown = CopyAllSkins();
    const SkinList& skins = data.shown;
    std::wstring light;
    std::wstring dark;
    {
        ScopedLock guard(g_state.lock);
        light = g_state.lightThemeSkin;
        dark = g_state.darkThemeSkin;
    }
    FillSkinBox(dialog, IDC_THEME_LIGHT, skins, light);
    FillSkinBox(dialog, IDC_THEME_DARK, skins, dark);
}

void StoreThemeSkins(HWND dialog, const ThemeDialogData& data) {
    std::wstring light;
    std::wstring dark;
    const bool haveLight = SelectedSkin(dialog, IDC_THEME_LIGHT, data.shown, &light);
    const bool haveDark = SelectedSkin(dialog, IDC_THEME_DARK, data.shown, &dark);
    {
        ScopedLock guard(g_state.lock);
        if (haveLight) {
            g_state.lightThemeSkin.swap(light);
        }
        if (haveDark) {
            g_state.darkThemeSkin.swap(dark);
        }
    }
    SaveSettings();
}

INT_PTR HandleThemeSync(HWND dialog, UINT message, WPARAM wParam) {
    if (message == WM_INITDIALOG) {
        if (auto* data = ClaimDialogData<ThemeDialogData>(dialog, ThemeSyncSettingsDialogProc)) {
            FillThemeBoxes(dialog, *data);
        }
        return TRUE;
    }
    if (message != WM_COMMAND) {
        return FALSE;
    }
    const ThemeDialogData* data = DialogData<ThemeDialogData>(dialog);
    switch (LOWORD(wParam)) {
    case IDOK:
        if (data != nullptr) {
            StoreThemeSkins(dialog, *data);
        }
        EndDialogAndDetach(dialog, data != nullptr ? 1 : 0);
        break;
    case IDCANCEL:
        EndDialogAndDetach(dialog, 0);
        break;
    default:
        break;
    }
    return TRUE;
}

}  // namespace

INT_PTR ShowThemeSyncSettingsDialog(HWND owner) {
    ThemeDialogData data;
    return ShowDialogWithData(IDD_THEME_SYNC_SETTINGS, owner, ThemeSyncSettingsDialogProc, 0,
                              &data);
}

INT_PTR CALLBACK ThemeSyncSettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    return GuardDialog([&] { return HandleThemeSync(dialog, message, wParam); });
}
