// The theme sync settings dialog: the skins for the light and the dark app theme.
//
// 1. Each box preselects row 0, then every later row whose identifier equals the stored
//    one exactly; so the last match wins and a missing skin shows the first row.
// 2. OK stores the identifiers of the selected rows, taken from the list that filled
//    the boxes, and saves. A box without a selected row (empty Skins folder) leaves
//    its stored skin as it was.
// 3. Nothing is applied: the new skins take effect at the next theme change.
#include "config/settings.h"
#include "core/state.h"
#include "resource.h"
#include "ui/dialog_util.h"
#include "ui/dialogs.h"

namespace {

struct ThemeDialogData {
    SkinList shown;  // the rows of both boxes
};

void OpenThemeDialog(HWND dialog, ThemeDialogData& data) {
    data.shown = RefreshedAllSkins();
    const Settings settings = CopySettings();
    FillSkinBox(dialog, IDC_THEME_LIGHT, data.shown, settings.lightThemeSkin);
    FillSkinBox(dialog, IDC_THEME_DARK, data.shown, settings.darkThemeSkin);
}

void StoreThemeSkins(HWND dialog, ThemeDialogData& data) {
    std::wstring light;
    std::wstring dark;
    const bool haveLight = SelectedSkin(dialog, IDC_THEME_LIGHT, data.shown, &light);
    const bool haveDark = SelectedSkin(dialog, IDC_THEME_DARK, data.shown, &dark);
    {
        ScopedLock guard(g_state.lock);
        if (haveLight) {
            g_state.settings.lightThemeSkin.swap(light);
        }
        if (haveDark) {
            g_state.settings.darkThemeSkin.swap(dark);
        }
    }
    SaveSettings();
}

constexpr DialogKind<ThemeDialogData> kThemeDialog = {
    IDD_THEME_SYNC_SETTINGS, ThemeSyncSettingsDialogProc, OpenThemeDialog, nullptr, StoreThemeSkins};

}  // namespace

INT_PTR ShowThemeSyncSettingsDialog(HWND owner) {
    ThemeDialogData data;
    return ShowDialog(kThemeDialog, owner, 0, data);
}

INT_PTR CALLBACK ThemeSyncSettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    return RunDialog(kThemeDialog, dialog, message, wParam);
}
