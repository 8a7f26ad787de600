#include "ui/dialog_util.h"

#include <climits>

#include "engine/rotation.h"

namespace {

// One Show call's data, waiting on that call's stack until its dialog's WM_INITDIALOG
// takes it out of the list, or the call returns.
class PendingDialog {
public:
    PendingDialog(DLGPROC proc, void* data);
    ~PendingDialog();
    PendingDialog(const PendingDialog&) = delete;
    PendingDialog& operator=(const PendingDialog&) = delete;

    // Unlinks the entry `link` points at and returns its data.
    static void* Claim(PendingDialog** link) REQUIRES(g_state.lock);
    // Where the entry to claim for `proc` is linked from; null when none waits.
    static PendingDialog** Find(DLGPROC proc, DWORD thread) REQUIRES(g_state.lock);

private:
    const DLGPROC proc_;
    void* const data_;
    const DWORD thread_;
    PendingDialog* older_ GUARDED_BY(g_state.lock);
};

// Newest first. Constant-initialised: nothing runs per load, nothing is left at unload.
PendingDialog* g_pendingDialogs GUARDED_BY(g_state.lock) = nullptr;

PendingDialog::PendingDialog(DLGPROC proc, void* data)
    : proc_(proc), data_(data), thread_(GetCurrentThreadId()), older_(nullptr) {
    ScopedLock guard(g_state.lock);
    older_ = g_pendingDialogs;
    g_pendingDialogs = this;
}

PendingDialog::~PendingDialog() {
    ScopedLock guard(g_state.lock);
    for (PendingDialog** link = &g_pendingDialogs; *link != nullptr; link = &(*link)->older_) {
        if (*link == this) {
            *link = older_;
            break;
        }
    }
}

PendingDialog** PendingDialog::Find(DLGPROC proc, DWORD thread) {
    PendingDialog** found = nullptr;
    for (PendingDialog** link = &g_pendingDialogs; *link != nullptr; link = &(*link)->older_) {
        const PendingDialog* entry = *link;
        if (entry->proc_ != proc) {
            continue;
        }
        if (entry->thread_ == thread) {
            return link;
        }
        if (found == nullptr) {
            found = link;
        }
    }
    return found;
}

void* PendingDialog::Claim(PendingDialog** link) {
    PendingDialog* entry = *link;
    *link = entry->older_;
    entry->older_ = nullptr;
    return entry->data_;
}

}  // namespace

INT_PTR ShowDialogWithData(UINT dialogId, HWND owner, DLGPROC proc, LPARAM param, void* data) {
    PendingDialog pending(proc, data);
    return host::ShowDialog(dialogId, owner, proc, param);
}

void* ClaimPendingDialogData(DLGPROC proc) {
    const DWORD thread = GetCurrentThreadId();
    ScopedLock guard(g_state.lock);
    PendingDialog** link = PendingDialog::Find(proc, thread);
    return link != nullptr ? PendingDialog::Claim(link) : nullptr;
}

SkinList RefreshedAllSkins() {
    RefreshAllSkins();
    ScopedLock guard(g_state.lock);
    return g_state.allSkins;
}

bool SelectedSkin(HWND dialog, int id, const SkinList& shown, std::wstring* identifier) {
    const LRESULT row = SendDlgItemMessageW(dialog, id, CB_GETCURSEL, 0, 0);
    if (row < 0 || static_cast<size_t>(row) >= shown.size()) {
        return false;
    }
    *identifier = shown[static_cast<size_t>(row)].identifier;
    return true;
}

void AddSkinRows(HWND dialog, int id, const SkinList& skins) {
    HWND control = GetDlgItem(dialog, id);
    if (control == nullptr) {
        return;
    }
    wchar_t className[16] = {};
    GetClassNameW(control, className, 16);
    const bool combo = CompareStringOrdinal(className, -1, L"ComboBox", -1, TRUE) == CSTR_EQUAL;
    size_t bytes = 0;
    for (const SkinEntry& entry : skins) {
        bytes += (entry.displayName.size() + 1) * sizeof(wchar_t);
    }
    const size_t rows = skins.size() < static_cast<size_t>(INT_MAX) ? skins.size() : INT_MAX;
    SendMessageW(control, WM_SETREDRAW, FALSE, 0);
    SendMessageW(control, combo ? CB_INITSTORAGE : LB_INITSTORAGE, rows,
                 static_cast<LPARAM>(bytes < static_cast<size_t>(INT_MAX) ? bytes : INT_MAX));
    const UINT add = combo ? CB_ADDSTRING : LB_ADDSTRING;
    for (const SkinEntry& entry : skins) {
        SendMessageW(control, add, 0, reinterpret_cast<LPARAM>(entry.displayName.c_str()));
    }
    SendMessageW(control, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(control, nullptr, TRUE);
}

void FillSkinBox(HWND dialog, int id, const SkinList& skins, const std::wstring& preselect) {
    AddSkinRows(dialog, id, skins);
    if (skins.empty()) {
        return;
    }
    size_t row = 0;
    for (size_t i = 1; i < skins.size(); ++i) {
        if (skins[i].identifier == preselect) {
            row = i;
        }
    }
    SendDlgItemMessageW(dialog, id, CB_SETCURSEL, row, 0);
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
