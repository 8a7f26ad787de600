// Small pieces shared by the settings dialogs.
//
// 1. Nothing here holds g_state.lock across a window function or a host call: skin
//    lists are copied under the lock and the copies are then shown.
// 2. A dialog's data belongs to the call that shows it: a struct on that call's
//    stack, kept in DWLP_USER from WM_INITDIALOG on. It goes when the call returns,
//    however the dialog ended. It never travels as the initialisation parameter,
//    which the launcher sees (0, or the item dialog's event parameter as it came):
//    the Show call registers it for its procedure and WM_INITDIALOG claims it.
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

// Shows dialog `dialogId` through the host with `param` as its initialisation
// parameter, while `data` waits for `proc`'s WM_INITDIALOG to claim it. A wait the
// dialog never claimed (the host did not create it) ends with the call.
INT_PTR ShowDialogWithData(UINT dialogId, HWND owner, DLGPROC proc, LPARAM param, void* data);

// The data waiting for `proc`, taken out of the waiting list: the newest registered
// on this thread, else the newest of another thread (a host that creates dialogs on
// a thread of its own); null when none waits.
void* ClaimPendingDialogData(DLGPROC proc);

// At WM_INITDIALOG: claims the data waiting for `proc` and keeps it in DWLP_USER;
// null for a dialog the host showed by itself.
template <typename T>
T* ClaimDialogData(HWND dialog, DLGPROC proc) {
    void* data = ClaimPendingDialogData(proc);
    SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(data));
    return static_cast<T*>(data);
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
