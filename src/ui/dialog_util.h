// The one way a dialog of the plug-in runs, and the pieces the dialogs share.
//
// 1. A dialog is a DialogKind: its template, its procedure, and what it does at
//    opening, at its commands and at OK. RunDialog is every procedure's body; the
//    procedures handle only WM_INITDIALOG and WM_COMMAND.
// 2. A dialog's data belongs to the call that shows it: a struct on that call's
//    stack, kept in DWLP_USER from WM_INITDIALOG on. It goes when the call returns,
//    however the dialog ended. It never travels as the initialisation parameter,
//    which the launcher sees (0, or the item dialog's event parameter as it came):
//    the Show call registers it for its procedure and WM_INITDIALOG claims it.
// 3. Nothing here holds g_state.lock across a window function or a host call: skin
//    lists and settings are copied under the lock and the copies are then shown.
// 4. Rows of a skin box are looked up in the copy that filled them, never in the
//    live list, which an enumeration may replace while the dialog is open.
// 5. No C++ exception leaves a dialog procedure.
#ifndef VARNEL_DIALOG_UTIL_H
#define VARNEL_DIALOG_UTIL_H

#include <windows.h>

#include <string>

#include "core/host.h"
#include "core/state.h"

// Rebuilds allSkins from the Skins folder (it returns at once while another
// enumeration runs) and returns a copy, taken under the lock, for a dialog's rows.
SkinList RefreshedAllSkins();

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

// Shows dialog `dialogId` through the host with `param` as its initialisation
// parameter, while `data` waits for `proc`'s WM_INITDIALOG to claim it. A wait the
// dialog never claimed (the host did not create it) ends with the call.
INT_PTR ShowDialogWithData(UINT dialogId, HWND owner, DLGPROC proc, LPARAM param, void* data);

// The data waiting for `proc`, taken out of the waiting list: the newest registered
// on this thread, else the newest of another thread (a host that creates dialogs on
// a thread of its own); null when none waits.
void* ClaimPendingDialogData(DLGPROC proc);

// What one dialog does; RunDialog does the rest, the same for every dialog.
template <typename Data>
struct DialogKind {
    UINT templateId;
    DLGPROC proc;  // the procedure the host is handed, which calls RunDialog
    void (*open)(HWND dialog, Data& data);
    // Commands other than OK and Cancel; null when there are none.
    void (*command)(HWND dialog, Data& data, int id, WORD code);
    // OK: stores what the dialog edited, and the dialog ends with 1. Null for a dialog
    // that stores nothing, which OK ends with 0, as Cancel does.
    void (*store)(HWND dialog, Data& data);
};

// Shows the dialog through the host; `data` lives as long as the call.
template <typename Data>
INT_PTR ShowDialog(const DialogKind<Data>& kind, HWND owner, LPARAM param, Data& data) {
    return ShowDialogWithData(kind.templateId, owner, kind.proc, param, &data);
}

// The body of every dialog procedure. WM_INITDIALOG claims the Show call's data,
// keeps it in DWLP_USER, opens the dialog and returns TRUE, so that the dialog
// manager sets the focus. OK and Cancel let go of the data before ending the dialog,
// so commands that still arrive before it has gone change nothing. A dialog that
// found no data (one the host showed by itself) opens empty and stores nothing, and
// OK and Cancel still close it. An exception (out of memory) reads as "not handled"
// and leaves the dialog open, so the user can still cancel it.
template <typename Data>
INT_PTR RunDialog(const DialogKind<Data>& kind, HWND dialog, UINT message, WPARAM wParam) noexcept {
    try {
        if (message == WM_INITDIALOG) {
            void* claimed = ClaimPendingDialogData(kind.proc);
            SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(claimed));
            if (claimed != nullptr) {
                kind.open(dialog, *static_cast<Data*>(claimed));
            }
            return TRUE;
        }
        if (message != WM_COMMAND) {
            return FALSE;
        }
        auto* data = reinterpret_cast<Data*>(GetWindowLongPtrW(dialog, DWLP_USER));
        const int id = LOWORD(wParam);
        if (id == IDOK || id == IDCANCEL) {
            const bool store = id == IDOK && data != nullptr && kind.store != nullptr;
            if (store) {
                kind.store(dialog, *data);
            }
            SetWindowLongPtrW(dialog, DWLP_USER, 0);
            EndDialog(dialog, store ? 1 : 0);
        } else if (data != nullptr && kind.command != nullptr) {
            kind.command(dialog, *data, id, HIWORD(wParam));
        }
        return TRUE;
    } catch (...) {
        return FALSE;
    }
}

#endif
