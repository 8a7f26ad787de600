// Small pieces shared by the settings dialogs.
//
// 1. Nothing here holds g_state.lock across a window function or a host call: skin
//    lists are copied under the lock and the copies are then shown.
// 2. Per-dialog data hangs on the dialog (DWLP_USER) from WM_INITDIALOG until the
//    dialog ends; after FreeDialogData the dialog answers commands with a null pointer.
#ifndef VARNEL_DIALOG_UTIL_H
#define VARNEL_DIALOG_UTIL_H

#include <windows.h>

#include <string>

#include "plugin/state.h"

// A copy of g_state.allSkins, taken under the lock.
SkinList CopyAllSkins();

// The identifier of allSkins entry `row`, or false when the row is none (CB_ERR, LB_ERR)
// or the list no longer has that entry.
bool AllSkinsIdentifierAt(LRESULT row, std::wstring* identifier);

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

template <typename T>
void AttachDialogData(HWND dialog, T* data) {
    SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(data));
}

// Detaches and deletes the dialog's data; a second call finds nothing to free.
template <typename T>
void FreeDialogData(HWND dialog) {
    T* data = DialogData<T>(dialog);
    SetWindowLongPtrW(dialog, DWLP_USER, 0);
    delete data;
}

#endif
