// Small pieces shared by the settings dialogs.
//
// 1. Nothing here holds g_state.lock across a window function or a host call: skin
//    lists are copied under the lock and the copies are then shown.
// 2. A dialog's data belongs to the call that shows it: a struct on that call's
//    stack, passed as the dialog's initialisation parameter and kept in DWLP_USER.
//    It goes when the call returns, however the dialog ended.
// 3. Rows of a skin box are looked up in the copy that filled them, never in the
//    live list, which an enumeration may replace while the dialog is open.
// 4. No C++ exception leaves a dialog procedure (GuardDialog).
#ifndef VARNEL_DIALOG_UTIL_H
#define VARNEL_DIALOG_UTIL_H

#include <windows.h>

#include <string>

#include "core/host.h"
#include "core/state.h"

// A copy of g_state.allSkins, taken under the lock.
SkinList CopyAllSkins();

// The identifier of the row selected in combo box `id`, which FillSkinBox filled with
// `shown`; false when no row is selected.
bool SelectedSkin(HWND dialog, int id, const SkinList& shown, std::wstring* identifier);

// Adds the display names of `skins`, in list order, as the rows of list box or combo
// box `id`. Storage for every row is claimed at once and the control is not redrawn
// until the last row is in: row by row, a list of thousands of skins takes seconds.
void AddSkinRows(HWND dialog, int id, const SkinList& skins);

// Fills combo box `id` with `skins` and selects the row of the last entry after the
// first whose identifier equals `preselect` exactly, or else row 0 (none when empty).
void FillSkinBox(HWND dialog, int id, const SkinList& skins, const std::wstring& preselect);

void EnableControl(HWND dialog, int id, bool enabled);
bool IsButtonChecked(HWND dialog, int id);

// Sends the dialog the WM_COMMAND that control `id` sends with notification `code`.
void SendCommandToSelf(HWND dialog, int id, WORD code);

template <typename T>
T* DialogData(HWND dialog) {
    return reinterpret_cast<T*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

// Keeps the data that came with WM_INITDIALOG; returns it.
template <typename T>
T* AttachDialogData(HWND dialog, LPARAM lParam) {
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    return reinterpret_cast<T*>(lParam);
}

// Ends the dialog and lets go of its data: commands that still arrive before the
// dialog has gone find none and change nothing.
void EndDialogAndDetach(HWND dialog, INT_PTR result);

// Runs a dialog procedure's body; an exception (out of memory) reads as "not handled"
// and leaves the dialog open, so the user can still cancel it.
template <typename Body>
INT_PTR GuardDialog(Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return FALSE;
    }
}

#endif
