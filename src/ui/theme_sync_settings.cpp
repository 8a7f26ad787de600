// The theme sync settings dialog: the skins for the light and the dark app theme.
//
// 1. Each box preselects row 0, then every later row whose identifier equals the stored
//    one exactly; so the last match wins and a missing skin shows the first row.
// 2. OK stores the identifiers of the selected rows and saves. A box without a selected
//    row (empty Skins folder) leaves its stored skin as it was.
// 3. Nothing is applied: the new skins take effect at the next theme change.
#include "catalog/catalog.h"
#include "config/settings.h"
#include "plugin/state.h"
#include "resource.h"
#include "ui/dialog_util.h"
#include "ui/dialogs.h"

namespace {

void FillThemeBoxes(HWND dialog) {
    EnumerateSkinsFolder();
    const SkinList skins = CopyAllSkins();
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

void StoreThemeSkins(HWND dialog) {
    const LRESULT lightRow = SendDlgItemMessageW(dialog, IDC_THEME_LIGHT, CB_GETCURSEL, 0, 0);
    const LRESULT darkRow = SendDlgItemMessageW(dialog, IDC_THEME_DARK, CB_GETCURSEL, 0, 0);
    std::wstring light;
    std::wstring dark;
    const bool haveLight = AllSkinsIdentifierAt(lightRow, &light);
    const bool haveDark = AllSkinsIdentifierAt(darkRow, &dark);
    {
        ScopedLock guard(g_state.lock);
        if (haveLight) {
            g_state.lightThemeSkin = light;
        }
        if (haveDark) {
            g_state.darkThemeSkin = dark;
        }
    }
    SaveSettings();
}

}  // namespace

INT_PTR CALLBACK ThemeSyncSettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        FillThemeBoxes(dialog);
        return TRUE;
    }
    if (message != WM_COMMAND) {
        return FALSE;
    }
    switch (LOWORD(wParam)) {
    case IDOK:
        StoreThemeSkins(dialog);
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
