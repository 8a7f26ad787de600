#include "plugin/events.h"

#include <windows.h>

#include "catalog/catalog.h"
#include "config/settings.h"
#include "engine/item.h"
#include "engine/rotation.h"
#include "engine/schedule.h"
#include "engine/theme.h"
#include "plugin/about.h"
#include "core/host.h"
#include "core/message_wait.h"
#include "plugin/plugin_api.h"
#include "core/state.h"
#include "core/threads.h"
#include "resource.h"
#include "ui/dialog_util.h"
#include "ui/dialogs.h"

namespace {

constexpr size_t kCaptionUnits = 256;
// How long shut-down waits for the worker's last tick.
constexpr DWORD kWorkerStopWaitMs = 1000;
// Sleep of the shut-down pump while the queue is empty.
constexpr DWORD kShutdownPumpSleepMs = 10;
// Bound on waiting for the hidden window's last message; it normally goes inside
// DestroyWindow itself.
constexpr DWORD kWindowGoneWaitMs = 2000;

int32_t LowId(uint64_t param) { return static_cast<int32_t>(static_cast<uint32_t>(param)); }

void RefreshCaption() {
    if (!host::Accepted()) {
        return;
    }
    wchar_t caption[kCaptionUnits] = {};
    host::LoadText(IDS_CAPTION, caption, kCaptionUnits);
    host::SetCaption(caption);
}

void RegisterNotifyClass() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = NotifyWindowProc;
    wc.hInstance = g_state.moduleHandle;
    wc.hIcon = LoadIconW(g_state.moduleHandle, MAKEINTRESOURCEW(IDI_VARNEL));
    wc.hIconSm = wc.hIcon;
    wc.lpszClassName = kNotifyWindowClass;
    RegisterClassExW(&wc);
}

// The window holds a module reference from here until its last message
// (NotifyWindowProc), so that a host that frees the DLL while the window still exists
// cannot leave it pointing at unloaded code.
void CreateNotifyWindow() {
    HMODULE held = HoldModule();
    g_state.windowModule = held;
    HWND window = CreateWindowExW(WS_EX_NOACTIVATE, kNotifyWindowClass, L"", WS_POPUP | WS_MINIMIZE,
                                  0, 0, 1, 1, nullptr, nullptr, g_state.moduleHandle, nullptr);
    g_state.hiddenWindow = window;
    if (window == nullptr) {
        // The host holds the DLL while it calls us, so this is never the last reference.
        held = g_state.windowModule.exchange(nullptr);
        if (held != nullptr) {
            FreeLibrary(held);
        }
    }
}

// Starts the worker so that its id is in workerRunning before its first test.
bool StartWorker() {
    DWORD id = 0;
    HANDLE thread = StartModuleThread(WorkerThreadProc, nullptr, CREATE_SUSPENDED, &id);
    g_state.workerHandle = thread;
    if (thread == nullptr) {
        return false;
    }
    g_state.workerRunning = id;
    ResumeThread(thread);
    return id != 0;
}

// A window can only be destroyed by its own thread. When shut-down comes from another
// one, the window is asked to close and goes when its thread next reads its messages;
// its module reference keeps the code loaded until then.
void DestroyNotifyWindow() {
    HWND window = g_state.hiddenWindow;
    if (window == nullptr) {
        return;
    }
    g_state.hiddenWindow = nullptr;
    if (!g_state.windowAlive) {
        return;
    }
    if (GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId()) {
        PostMessageW(window, WM_CLOSE, 0, 0);
        return;
    }
    if (DestroyWindow(window)) {
        const ULONGLONG deadline = GetTickCount64() + kWindowGoneWaitMs;
        while (g_state.windowAlive && GetTickCount64() < deadline) {
            MSG msg;
            if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            } else {
                Sleep(kShutdownPumpSleepMs);
            }
        }
    }
}

// The wait for the worker answers sent messages: the worker may be inside a host call
// that the launcher serves on this very thread.
void StopWorker() {
    HANDLE thread = g_state.workerHandle;
    if (thread == nullptr) {
        return;
    }
    if (g_state.workerRunning != 0) {
        g_state.workerRunning = 0;
        WaitServingSentMessages(thread, kWorkerStopWaitMs);
    }
    CloseHandle(thread);
    g_state.workerHandle = nullptr;
}

int32_t StartSession(uint64_t param1, uint64_t param2) {
    if (g_state.workerHandle != nullptr || g_state.hiddenWindow != nullptr) {
        ShutdownPlugin();  // a second initialisation without a shut-down between
    }
    if (!host::Accept(reinterpret_cast<const HostServiceTable*>(param2))) {
        return 0;
    }

    const int32_t id = LowId(param1);
    if (id < 0) {
        return 1;
    }
    g_state.pluginId = id;
    const uint32_t session = ++g_state.session;
    std::wstring current = host::CurrentSkin();
    {
        ScopedLock guard(g_state.lock);
        g_state.targetSkin.swap(current);
    }
    LoadSettings();
    ResumeAfterLoad();
    RegisterNotifyClass();
    CreateNotifyWindow();

    HANDLE enumeration = StartModuleThread(EnumerationThreadProc,
                                           reinterpret_cast<LPVOID>(static_cast<uintptr_t>(session)),
                                           0, nullptr);
    if (enumeration != nullptr) {
        CloseHandle(enumeration);
    }
    if (!StartWorker()) {
        // A host may free the DLL after a failed initialisation: nothing of it may stay
        // behind that could run its code later.
        ShutdownPlugin();
        return 0;
    }
    SyncWithWindowsTheme();
    RefreshCaption();
    return 1;
}

}  // namespace

int32_t InitializePlugin(uint64_t param1, uint64_t param2) {
    try {
        return StartSession(param1, param2);
    } catch (...) {
        // Out of memory part-way: take down whatever was started, as a failed start.
        ShutdownPlugin();
        return 0;
    }
}

int32_t ShutdownPlugin() {
    DestroyNotifyWindow();
    UnregisterClassW(kNotifyWindowClass, g_state.moduleHandle);
    // From here on no thread of the plug-in starts another host call: the host may free
    // its table once this event returns.
    ++g_state.session;
    host::Release();
    StopWorker();
    g_state.pluginId = -1;
    return 1;
}

int32_t DispatchEvent(uint32_t event, uint64_t param1, uint64_t param2, uint64_t /*param3*/) {
    switch (event) {
    case TS_EVENT_DESCRIBE:
        DeliverDescription(reinterpret_cast<wchar_t*>(param1), param2);
        return static_cast<int32_t>(TS_REQUIRED_HOST_VERSION);
    case TS_EVENT_INITIALIZE:
        return InitializePlugin(param1, param2);
    case TS_EVENT_SHUTDOWN:
        return ShutdownPlugin();
    case TS_EVENT_SET_ID:
        g_state.pluginId = LowId(param1);
        return 1;
    case TS_EVENT_IDLE:
        return 1;
    case TS_EVENT_RUN_ITEM:
        if (host::Accepted() && (param2 & 1u) == 0) {
            RunItemCommand(static_cast<uint32_t>(param1));
        }
        return 1;
    case TS_EVENT_ABOUT:
        host::ShowDialog(IDD_ABOUT, reinterpret_cast<HWND>(param1), AboutDialogProc, 0);
        return 1;
    case TS_EVENT_SETTINGS:
        ShowMainSettingsDialog(reinterpret_cast<HWND>(param1));
        return 1;
    case TS_EVENT_ITEM_SETTINGS:
        ShowItemBehaviorDialog(reinterpret_cast<HWND>(param1), param2);
        return 1;
    case TS_EVENT_REFRESH_CAPTION:
        RefreshCaption();
        return 1;
    default:
        return (event >= TS_EVENT_NOTIFY_FIRST && event <= TS_EVENT_NOTIFY_LAST) ? 1 : 0;
    }
}
