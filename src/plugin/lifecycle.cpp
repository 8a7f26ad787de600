#include "plugin/lifecycle.h"

#include "config/settings.h"
#include "core/host.h"
#include "core/message_wait.h"
#include "core/session.h"
#include "core/state.h"
#include "core/threads.h"
#include "engine/rotation.h"
#include "engine/schedule.h"
#include "engine/theme.h"
#include "plugin/events.h"
#include "resource.h"

namespace {

LPVOID SessionParam(uint32_t session) {
    return reinterpret_cast<LPVOID>(static_cast<uintptr_t>(session));
}

WNDCLASSEXW NotifyClass() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = NotifyWindowProc;
    wc.hInstance = g_state.moduleHandle;
    wc.hIcon = LoadIconW(g_state.moduleHandle, MAKEINTRESOURCEW(IDI_VARNEL));
    wc.hIconSm = wc.hIcon;
    wc.lpszClassName = kNotifyWindowClass;
    return wc;
}

bool ClassIsThisImages() {
    WNDCLASSEXW found{};
    found.cbSize = sizeof(found);
    return GetClassInfoExW(g_state.moduleHandle, kNotifyWindowClass, &found) != 0 &&
           found.lpfnWndProc == NotifyWindowProc;
}

// True when the class is registered with this image's procedure (lifecycle.h, 4).
bool RegisterNotifyClass() {
    const WNDCLASSEXW wc = NotifyClass();
    if (RegisterClassExW(&wc) != 0 || ClassIsThisImages()) {
        return true;
    }
    // A class left by an earlier image loaded at this same address: its procedure
    // pointer is no code of ours.
    UnregisterClassW(kNotifyWindowClass, g_state.moduleHandle);
    return RegisterClassExW(&wc) != 0;
}

// WM_CREATE makes the window the session's (theme.cpp); a failure is silent.
void CreateNotifyWindow() {
    HWND window = CreateWindowExW(WS_EX_NOACTIVATE, kNotifyWindowClass, L"", WS_POPUP | WS_MINIMIZE,
                                  0, 0, 1, 1, nullptr, nullptr, g_state.moduleHandle, nullptr);
    g_state.hiddenWindow = window;
}

// Starts the worker so that its id is in workerRunning before its first test.
bool StartWorker(uint32_t session) {
    DWORD id = 0;
    HANDLE thread = StartModuleThread(WorkerThreadProc, SessionParam(session), CREATE_SUSPENDED, &id);
    g_state.workerHandle = thread;
    if (thread == nullptr) {
        return false;
    }
    g_state.workerRunning = id;
    ResumeThread(thread);
    return id != 0;
}

// Takes the session's window down; false when that cannot be made sure of, so that
// code of the module may still run on the window's thread (lifecycle.h, 3 and 5).
bool DestroyNotifyWindow() {
    HWND window = g_state.hiddenWindow.load();
    if (window == nullptr) {
        return true;
    }
    bool gone = true;
    if (IsWindow(window)) {  // a window goes with the thread that made it
        if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
            DestroyWindow(window);
        } else {
            // The answer comes once the window procedure has returned; a window whose
            // thread is busy or waits for this one closes later, when it reads its
            // messages again.
            DWORD_PTR answer = 0;
            gone = SendMessageTimeoutW(window, WM_CLOSE, 0, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                                       kWindowAnswerMs, &answer) != 0;
            if (!gone) {
                // A posted close outlives this thread, should the sent one not.
                PostMessageW(window, WM_CLOSE, 0, 0);
            }
        }
        gone = gone && !IsWindow(window);
    }
    // The session lets go of it either way; a window still closing is no longer the
    // session's, and its last message leaves the next session's window alone.
    HWND expected = window;
    if (g_state.hiddenWindow.compare_exchange_strong(expected, nullptr)) {
        g_state.windowAlive = 0;
    }
    return gone;
}

bool PluginCallsInFlight() { return g_state.callsInFlight.load() > 0; }
bool NoCallsInFlight() { return g_state.callsInFlight.load() == 0; }

// The wait answers sent messages, and dispatches posted ones while a call of the
// plug-in is in the host: the worker may be inside a host call that the launcher
// serves on this very thread, by sending or by posting.
void StopWorker() {
    HANDLE thread = g_state.workerHandle.exchange(nullptr);
    if (thread == nullptr) {
        return;
    }
    if (g_state.workerRunning.exchange(0) != 0) {
        WakeByAddressAll(&g_state.workerRunning);
        WaitServingMessages(thread, kWorkerStopWaitMs, PluginCallsInFlight);
    }
    CloseHandle(thread);
}

int32_t StartSession(uint64_t param1, uint64_t param2) {
    if (g_state.workerHandle.load() != nullptr || g_state.hiddenWindow.load() != nullptr) {
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
    const uint32_t session = NextSession();
    // A save an ended session still wanted goes with it: this session loads the store anew.
    g_state.saveWanted = 0;
    std::wstring current = host::CurrentSkin();
    {
        ScopedLock guard(g_state.lock);
        g_state.targetSkin.swap(current);
    }
    LoadSettings();
    if (RegisterNotifyClass()) {
        CreateNotifyWindow();
    }

    HANDLE enumeration = StartModuleThread(EnumerationThreadProc, SessionParam(session), 0, nullptr);
    if (enumeration != nullptr) {
        CloseHandle(enumeration);
    }
    if (!StartWorker(session)) {
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
    const uint32_t ending = g_state.session.load();
    const bool windowGone = DestroyNotifyWindow();
    UnregisterClassW(kNotifyWindowClass, g_state.moduleHandle);
    StopWorker();
    // An event that came in during the waits (a nested shut-down or initialisation) has
    // had the last word on the session.
    if (g_state.session.load() == ending) {
        NextSession();
        host::Release();
        g_state.pluginId = -1;
        // A call that passed its session check just before the session ended begins
        // within moments; a call held in the host began before.
        if (!NoCallsInFlight()) {
            WaitServingSentMessagesUntil(NoCallsInFlight, kCallsSettleMs);
        }
    }
    if (!windowGone || OtherCallsInProgress()) {
        PinModule();
    }
    return 1;
}
