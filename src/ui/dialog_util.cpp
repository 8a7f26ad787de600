#include "ui/dialog_util.h"

SkinList CopyAllSkins() {
    ScopedLock guard(g_state.lock);
    return g_state.allSkins;
}

bool AllSkinsIdentifierAt(LRESULT row, std::wstring* identifier) {
    if (row < 0) {
        return false;
    }
    ScopedLock guard(g_state.lock);
    // The list may have been rebuilt since the rows were filled; a row past its end
    // names nothing.
    if (static_cast<size_t>(row) >= g_state.allSkins.size()) {
        return false;
    }
    *identifier = g_state.allSkins[static_cast<size_t>(row)].identifier;
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
