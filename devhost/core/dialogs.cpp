// Localised strings and dialogs, dialog scripts and the helpers scripts use.
//
// 1. A resource is taken in the host's language only if the module has it in exactly
//    that language (FindResourceExW alone would fall back to another one), else in the
//    neutral language, else in the first language the module lists.
// 2. Every dialog runs with HostDialogProc in front of the plug-in's procedure: it
//    forwards every message, runs the dialog's script from inside the modal loop, and
//    arms the watchdog that ends a forgotten dialog in headless mode.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>

#include "devhost/core/state.h"

namespace devhost {

using detail::Host;
using detail::Lock;

namespace {

struct DialogContext {
    DLGPROC proc = nullptr;
    std::function<void(HWND)> script;
    bool interactive = false;
    DWORD watchdogMs = 0;
};

// The dialog being created on this thread; its first message claims it, which also
// works for a dialog opened from within another one's script.
thread_local DialogContext* t_pendingDialog = nullptr;

const wchar_t kContextProp[] = L"devhost.DialogContext";
constexpr UINT_PTR kWatchdogTimer = 0x7D01;
constexpr UINT_PTR kForceEndTimer = 0x7D02;

UINT RunScriptMessage() {
    static const UINT message = RegisterWindowMessageW(L"devhost.RunDialogScript");
    return message;
}

void ArmWatchdog(HWND dlg, const DialogContext& context) {
    if (!context.interactive) SetTimer(dlg, kWatchdogTimer, context.watchdogMs, nullptr);
}

INT_PTR CALLBACK HostDialogProc(HWND dlg, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* context = static_cast<DialogContext*>(GetPropW(dlg, kContextProp));
    if (context == nullptr && t_pendingDialog != nullptr) {
        context = t_pendingDialog;
        t_pendingDialog = nullptr;
        SetPropW(dlg, kContextProp, context);
    }
    if (context == nullptr) return FALSE;

    if (message == RunScriptMessage()) {
        std::function<void(HWND)> script = std::move(context->script);
        context->script = nullptr;
        if (script) {
            detail::HostCallScope scope;  // the script plays the launcher's user
            script(dlg);
        }
        ArmWatchdog(dlg, *context);
        return TRUE;
    }
    if (message == WM_TIMER && wParam == kWatchdogTimer) {
        KillTimer(dlg, kWatchdogTimer);
        {
            std::lock_guard<std::mutex> guard(Lock());
            ++Host().watchdogFired;
        }
        detail::Record(-1, L"DialogWatchdog", {DialogTitle(dlg)}, {LogNote{L"cancelled"}});
        // Cancel as the user would; should the procedure ignore it, end the dialog anyway.
        SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dlg, IDCANCEL)));
        SetTimer(dlg, kForceEndTimer, 1000, nullptr);
        return TRUE;
    }
    if (message == WM_TIMER && wParam == kForceEndTimer) {
        KillTimer(dlg, kForceEndTimer);
        EndDialog(dlg, IDCANCEL);
        return TRUE;
    }

    INT_PTR result = FALSE;
    if (context->proc != nullptr) {
        detail::PluginCallScope scope;
        result = context->proc(dlg, message, wParam, lParam);
    }
    if (message == WM_INITDIALOG) {
        if (context->script) {
            PostMessageW(dlg, RunScriptMessage(), 0, 0);
        } else {
            ArmWatchdog(dlg, *context);
        }
    } else if (message == WM_NCDESTROY) {
        RemovePropW(dlg, kContextProp);
    }
    return result;
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) {
    reinterpret_cast<std::vector<LANGID>*>(param)->push_back(language);
    return TRUE;
}

LANGID HostLanguage() {
    std::lock_guard<std::mutex> guard(Lock());
    return Host().language;
}

std::vector<std::wstring> ControlRows(HWND dlg, int id, UINT countMsg, UINT lenMsg, UINT textMsg) {
    std::vector<std::wstring> rows;
    HWND control = GetDlgItem(dlg, id);
    if (control == nullptr) return rows;
    LRESULT count = SendMessageW(control, countMsg, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        LRESULT length = SendMessageW(control, lenMsg, static_cast<WPARAM>(i), 0);
        std::wstring text(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
        LRESULT got = SendMessageW(control, textMsg, static_cast<WPARAM>(i),
                                   reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<size_t>(got > 0 ? got : 0));
        rows.push_back(text);
    }
    return rows;
}

std::wstring WindowText(HWND window) {
    if (window == nullptr) return L"";
    int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    int got = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<size_t>(got > 0 ? got : 0));
    return text;
}

bool IsButtonClass(HWND control) {
    wchar_t name[16] = {};
    GetClassNameW(control, name, 16);
    return lstrcmpiW(name, L"Button") == 0;
}

}  // namespace

void SetLanguage(LANGID language) {
    std::lock_guard<std::mutex> guard(Lock());
    Host().language = language;
}

LANGID Language() { return HostLanguage(); }

HRSRC FindResourceInLanguage(HMODULE module, LPCWSTR type, LPCWSTR name, LANGID language) {
    std::vector<LANGID> languages;
    EnumResourceLanguagesW(module, type, name, CollectLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
    if (languages.empty()) return nullptr;
    auto has = [&](LANGID l) {
        return std::find(languages.begin(), languages.end(), l) != languages.end();
    };
    LANGID chosen = has(language) ? language : has(0) ? LANGID{0} : languages.front();
    return FindResourceExW(module, type, name, chosen);
}

void PushDialogScript(std::function<void(HWND dlg)> script) {
    std::lock_guard<std::mutex> guard(Lock());
    Host().scripts.push_back(std::move(script));
}

size_t PendingDialogScripts() {
    std::lock_guard<std::mutex> guard(Lock());
    return Host().scripts.size();
}

void SetInteractive(bool interactive) {
    std::lock_guard<std::mutex> guard(Lock());
    Host().interactive = interactive;
}

void SetDialogWatchdog(DWORD ms) {
    std::lock_guard<std::mutex> guard(Lock());
    Host().watchdogMs = ms;
}

int DialogWatchdogFired() {
    std::lock_guard<std::mutex> guard(Lock());
    return Host().watchdogFired;
}

bool Click(HWND dlg, int id) {
    HWND control = GetDlgItem(dlg, id);
    if (control == nullptr || !IsWindowEnabled(control)) return false;
    if (IsButtonClass(control)) {
        SendMessageW(control, BM_CLICK, 0, 0);
    } else {
        SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
    }
    return true;
}

bool SelectListRow(HWND dlg, int id, int row) {
    HWND control = GetDlgItem(dlg, id);
    if (control == nullptr) return false;
    LRESULT count = SendMessageW(control, LB_GETCOUNT, 0, 0);
    if (row < -1 || row >= count) return false;
    LONG style = GetWindowLongW(control, GWL_STYLE);
    if ((style & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) != 0) {
        SendMessageW(control, LB_SETSEL, FALSE, -1);
        if (row >= 0) {
            SendMessageW(control, LB_SETSEL, TRUE, row);
            SendMessageW(control, LB_SETCARETINDEX, static_cast<WPARAM>(row), FALSE);
        }
    } else {
        SendMessageW(control, LB_SETCURSEL, static_cast<WPARAM>(row), 0);
    }
    // A click notifies only a list box that asked for it.
    if ((style & LBS_NOTIFY) != 0)
        SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(id, LBN_SELCHANGE), reinterpret_cast<LPARAM>(control));
    return true;
}

bool SelectComboRow(HWND dlg, int id, int row) {
    HWND control = GetDlgItem(dlg, id);
    if (control == nullptr) return false;
    LRESULT count = SendMessageW(control, CB_GETCOUNT, 0, 0);
    if (row < -1 || row >= count) return false;
    SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(row), 0);
    SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(control));
    return true;
}

bool SetText(HWND dlg, int id, const std::wstring& text) {
    return GetDlgItem(dlg, id) != nullptr && SetDlgItemTextW(dlg, id, text.c_str()) != 0;
}

bool SetDateTime(HWND dlg, int id, const SYSTEMTIME& time) {
    HWND control = GetDlgItem(dlg, id);
    if (control == nullptr) return false;
    SYSTEMTIME copy = time;
    if (!SendMessageW(control, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&copy)))
        return false;
    NMDATETIMECHANGE change{};
    change.nmhdr.hwndFrom = control;
    change.nmhdr.idFrom = static_cast<UINT_PTR>(id);
    change.nmhdr.code = DTN_DATETIMECHANGE;
    change.dwFlags = GDT_VALID;
    SendMessageW(control, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&change.st));
    SendMessageW(dlg, WM_NOTIFY, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(&change));
    return true;
}

std::wstring GetText(HWND dlg, int id) { return WindowText(GetDlgItem(dlg, id)); }

std::wstring DialogTitle(HWND dlg) { return WindowText(dlg); }

std::optional<SYSTEMTIME> GetDateTime(HWND dlg, int id) {
    HWND control = GetDlgItem(dlg, id);
    if (control == nullptr) return std::nullopt;
    SYSTEMTIME time{};
    if (SendMessageW(control, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&time)) != GDT_VALID)
        return std::nullopt;
    return time;
}

std::vector<std::wstring> ListRows(HWND dlg, int id) {
    return ControlRows(dlg, id, LB_GETCOUNT, LB_GETTEXTLEN, LB_GETTEXT);
}

std::vector<std::wstring> ComboRows(HWND dlg, int id) {
    return ControlRows(dlg, id, CB_GETCOUNT, CB_GETLBTEXTLEN, CB_GETLBTEXT);
}

int ListSelection(HWND dlg, int id) {
    HWND control = GetDlgItem(dlg, id);
    return control != nullptr ? static_cast<int>(SendMessageW(control, LB_GETCURSEL, 0, 0)) : -1;
}

int ComboSelection(HWND dlg, int id) {
    HWND control = GetDlgItem(dlg, id);
    return control != nullptr ? static_cast<int>(SendMessageW(control, CB_GETCURSEL, 0, 0)) : -1;
}

std::vector<int> ControlIds(HWND dlg) {
    std::vector<int> ids;
    for (HWND child = GetWindow(dlg, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        ids.push_back(GetDlgCtrlID(child));
    return ids;
}

bool IsEnabled(HWND dlg, int id) {
    HWND control = GetDlgItem(dlg, id);
    return control != nullptr && IsWindowEnabled(control);
}

bool IsChecked(HWND dlg, int id) { return IsDlgButtonChecked(dlg, id) == BST_CHECKED; }

bool PressOk(HWND dlg) { return Click(dlg, IDOK); }

bool PressCancel(HWND dlg) { return Click(dlg, IDCANCEL); }

bool PressEscape(HWND dlg) {
    if (!IsWindow(dlg)) return false;
    SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dlg, IDCANCEL)));
    return true;
}

bool PressCloseBox(HWND dlg) {
    if (!IsWindow(dlg)) return false;
    SendMessageW(dlg, WM_SYSCOMMAND, SC_CLOSE, 0);
    return true;
}

namespace detail {

int LoadStringSlot(HMODULE module, UINT id, wchar_t* buffer, int capacity) {
    if (buffer == nullptr || capacity <= 0) return 0;
    buffer[0] = L'\0';
    if (id > 0xFFFF) return 0;
    HRSRC resource = FindResourceInLanguage(module, RT_STRING, MAKEINTRESOURCEW((id >> 4) + 1),
                                            HostLanguage());
    if (resource == nullptr) return 0;
    const auto* units = static_cast<const WCHAR*>(LockResource(LoadResource(module, resource)));
    const size_t total = SizeofResource(module, resource) / sizeof(WCHAR);
    if (units == nullptr) return 0;
    // A block holds 16 counted strings; walk to ours without leaving the block.
    size_t at = 0;
    for (UINT entry = 0; entry < (id & 15); ++entry) {
        if (at >= total) return 0;
        at += 1 + units[at];
    }
    if (at >= total) return 0;
    size_t length = units[at];
    if (at + 1 + length > total) length = total - at - 1;
    size_t copied = length < static_cast<size_t>(capacity - 1) ? length : static_cast<size_t>(capacity - 1);
    for (size_t i = 0; i < copied; ++i) buffer[i] = units[at + 1 + i];
    buffer[copied] = L'\0';
    return static_cast<int>(copied);
}

INT_PTR ShowDialogSlot(HMODULE module, UINT dialogId, HWND owner, DLGPROC proc, LPARAM param) {
    if (dialogId > 0xFFFF) return -1;
    HRSRC resource = FindResourceInLanguage(module, RT_DIALOG, MAKEINTRESOURCEW(dialogId),
                                            HostLanguage());
    if (resource == nullptr) return -1;
    auto* dialogTemplate =
        static_cast<LPCDLGTEMPLATEW>(LockResource(LoadResource(module, resource)));
    if (dialogTemplate == nullptr) return -1;

    DialogContext context;
    context.proc = proc;
    {
        std::lock_guard<std::mutex> guard(Lock());
        State& s = Host();
        if (!s.scripts.empty()) {
            context.script = std::move(s.scripts.front());
            s.scripts.pop_front();
        }
        context.interactive = s.interactive;
        context.watchdogMs = s.watchdogMs;
    }
    DialogContext* outer = t_pendingDialog;
    t_pendingDialog = &context;
    INT_PTR result = DialogBoxIndirectParamW(module, dialogTemplate, owner, HostDialogProc, param);
    t_pendingDialog = outer;  // still ours only when the dialog never got a message
    return result;
}

}  // namespace detail
}  // namespace devhost
