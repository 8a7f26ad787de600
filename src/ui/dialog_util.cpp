#include "ui/dialog_util.h"

INT_PTR ShowHostDialog(UINT dialogId, HWND owner, DLGPROC proc, LPARAM param) {
    const HostServiceTable* host = AcceptedHost();
    if (host == nullptr || host->ShowLocalizedDialog == nullptr) {
        return 0;
    }
    return host->ShowLocalizedDialog(g_state.moduleHandle, dialogId, owner, proc, param);
}

void EndDialogAndDetach(HWND dialog, INT_PTR result) {
    SetWindowLongPtrW(dialog, DWLP_USER, 0);
    EndDialog(dialog, result);
}

SkinList CopyAllSkins() {
    ScopedLock guard(g_state.lock);
    return g_state.allSkins;
}

bool IdentifierAt(const SkinList& shown, LRESULT row, std::wstring* identifier) {
    if (row < 0 || static_cast<size_t>(row) >= shown.size()) {
        return false;
    }
    *identifier = shown[static_cast<size_t>(row)].identifier;
    return true;
}

void EnableControl(HWND dialog, int id, bool enabled) {
    EnableWindow(GetDlgItem(dialog, id), enabled ? TRUE : FALSE);
}

bool IsButtonChecked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

void SendCommandToSelf(HWND dialog, int id, WORD code) {
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, code),
                 code == 0 ? 0 : reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}
