// Host behaviours of real launchers: calls served on the user-interface thread, events
// from another thread, and plug-ins loaded and unloaded again and again.
//
// 1. While marshalling is on, a slot called on any thread but the UI thread (the one
//    that turned it on) is sent to a message-only window of the UI thread and runs
//    there; the caller waits in SendMessage. The UI thread serves such calls only
//    while it reads messages, as a launcher does.
// 2. A string a marshalled slot returns is copied into the calling thread's own buffer
//    for that slot, so the UI thread's next call cannot change it under the caller.
// 3. In post-and-wait mode the call is posted instead and the caller waits on an event;
//    only a message loop that dispatches posted messages serves it. A call given up
//    after its bound is never run afterwards: the UI thread takes it or the caller
//    abandons it, never both.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "devhost/core/state.h"

namespace devhost {
namespace detail {
namespace {

constexpr UINT kRunCall = WM_APP + 0x51;
constexpr UINT kRunPostedCall = WM_APP + 0x52;
constexpr DWORD kPostedWaitMs = 30000;
constexpr wchar_t kMarshalClass[] = L"devhost.Marshal";

std::atomic<DWORD> g_uiThread{0};
std::atomic<HWND> g_marshalWindow{nullptr};
std::atomic<int> g_waiting{0};
std::atomic<unsigned> g_served{0};
std::atomic<bool> g_stepping{false};
std::atomic<int> g_permits{0};  // calls ServeMarshalledCall has let through
std::atomic<MarshalMode> g_mode{MarshalMode::Direct};
thread_local int t_hostDepth = 0;
thread_local DWORD t_caller = 0;

struct ServedCall {
    const std::function<void()>* call;
    DWORD caller;
};

// Shared by the poster and the UI thread; whichever lets go last frees it.
struct PostedCall {
    ServedCall served;
    HANDLE done;
    std::atomic<int> state{0};  // 0 queued, 1 taken by the UI thread, 2 abandoned
    std::atomic<int> refs{2};
};

void Unref(PostedCall* posted) {
    if (--posted->refs == 0) {
        CloseHandle(posted->done);
        delete posted;
    }
}

void Serve(const ServedCall& served) {
    const DWORD outer = t_caller;
    t_caller = served.caller;
    (*served.call)();
    t_caller = outer;
    ++g_served;
}

LRESULT CALLBACK MarshalWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kRunCall) {
        Serve(*reinterpret_cast<const ServedCall*>(lParam));
        return 0;
    }
    if (message == kRunPostedCall) {
        auto* posted = reinterpret_cast<PostedCall*>(lParam);
        int queued = 0;
        if (posted->state.compare_exchange_strong(queued, 1)) {
            Serve(posted->served);
            SetEvent(posted->done);
        }
        Unref(posted);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// The message-only window of the calling thread, made once per thread that asks.
HWND MarshalWindowOfThisThread() {
    HWND window = g_marshalWindow.load();
    if (window != nullptr && GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
        return window;
    }
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = MarshalWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kMarshalClass;
    RegisterClassExW(&wc);  // fails harmlessly once registered
    window = CreateWindowExW(0, kMarshalClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
    g_marshalWindow = window;
    return window;
}

void PostAndWait(HWND window, const ServedCall& served) {
    auto* posted = new PostedCall{served, CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    if (posted->done == nullptr || !PostMessageW(window, kRunPostedCall, 0, reinterpret_cast<LPARAM>(posted))) {
        // Nothing queued: served here rather than lost.
        if (posted->done != nullptr) CloseHandle(posted->done);
        delete posted;
        (*served.call)();
        return;
    }
    if (WaitForSingleObject(posted->done, kPostedWaitMs) != WAIT_OBJECT_0) {
        int queued = 0;
        if (posted->state.compare_exchange_strong(queued, 2)) {
            Unref(posted);
            Record(-1, L"MarshalAbandoned", {static_cast<int64_t>(served.caller)}, {LogNote{L"never served"}});
            return;
        }
        // Taken just now: the call runs on the UI thread and uses this thread's stack.
        if (WaitForSingleObject(posted->done, kPostedWaitMs) != WAIT_OBJECT_0) {
            std::fputs("devhost: a posted call taken by the UI thread never ended\n", stderr);
            std::abort();
        }
    }
    Unref(posted);
}

}  // namespace

HostCallScope::HostCallScope() { ++t_hostDepth; }
HostCallScope::~HostCallScope() { --t_hostDepth; }
PluginCallScope::PluginCallScope() : saved_(t_hostDepth) { t_hostDepth = 0; }
PluginCallScope::~PluginCallScope() { t_hostDepth = saved_; }

bool RunOnUiThread(const std::function<void()>& call) {
    const DWORD ui = g_uiThread.load();
    HWND window = g_marshalWindow.load();
    if (ui == 0 || window == nullptr || ui == GetCurrentThreadId()) {
        return false;
    }
    const ServedCall served{&call, GetCurrentThreadId()};
    ++g_waiting;
    for (;;) {
        int permits = g_permits.load();
        if (!g_stepping.load() || (permits > 0 && g_permits.compare_exchange_weak(permits, permits - 1))) {
            break;
        }
        Sleep(1);
    }
    if (g_mode.load() == MarshalMode::PostAndWait) {
        PostAndWait(window, served);
    } else {
        SendMessageW(window, kRunCall, 0, reinterpret_cast<LPARAM>(&served));
    }
    --g_waiting;
    return true;
}

DWORD MarshalledCaller() { return t_caller; }

}  // namespace detail

void SetMarshalling(bool on) { SetMarshalMode(on ? MarshalMode::Send : MarshalMode::Direct); }

void SetMarshalMode(MarshalMode mode) {
    if (mode == MarshalMode::Direct) {
        detail::g_uiThread = 0;
        detail::g_mode = mode;
        return;
    }
    if (detail::MarshalWindowOfThisThread() != nullptr) {
        detail::g_mode = mode;
        detail::g_uiThread = GetCurrentThreadId();
    }
}

MarshalMode CurrentMarshalMode() { return Marshalling() ? detail::g_mode.load() : MarshalMode::Direct; }

bool Marshalling() { return detail::g_uiThread.load() != 0; }


void SetMarshalledStepping(bool on) {
    detail::g_permits = 0;
    detail::g_stepping = on;
}

bool WaitForMarshalledCall(DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (detail::g_waiting.load() == 0) {
        if (GetTickCount64() >= deadline) {
            return false;
        }
        Sleep(1);
    }
    return true;
}

bool ServeMarshalledCall(DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    if (!WaitForMarshalledCall(timeoutMs)) {
        return false;
    }
    const unsigned before = detail::g_served.load();
    ++detail::g_permits;
    while (detail::g_served.load() == before) {
        if (GetTickCount64() >= deadline) {
            return false;
        }
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        Sleep(0);
    }
    return true;
}

bool InHostCall() { return detail::t_hostDepth > 0; }

int32_t SendEventFromThread(TsPluginEventHandlerFn handler, uint32_t event, uint64_t param1,
                            uint64_t param2) {
    struct Call {
        TsPluginEventHandlerFn handler;
        uint32_t event;
        uint64_t param1;
        uint64_t param2;
        int32_t result;
    } call{handler, event, param1, param2, 0};
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto* c = static_cast<Call*>(p);
            c->result = c->handler(c->event, c->param1, c->param2, 0);
            return 0;
        },
        &call, 0, nullptr);
    if (thread == nullptr) {
        return 0;
    }
    // This thread keeps reading its messages meanwhile, as a launcher's UI thread does.
    PumpUntil([thread] { return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; }, INFINITE);
    CloseHandle(thread);
    return call.result;
}

int Reload(const std::wstring& dllPath, int cycles, int32_t pluginId,
           const std::function<void(int)>& afterCycle) {
    for (int i = 0; i < cycles; ++i) {
        Plugin plugin{};
        if (!LoadPlugin(dllPath, &plugin)) {
            return i;
        }
        plugin.handler(TS_EVENT_INITIALIZE, static_cast<uint32_t>(pluginId),
                       reinterpret_cast<uint64_t>(Table()), 0);
        plugin.handler(TS_EVENT_SHUTDOWN, 0, 0, 0);
        const HMODULE module = plugin.module;
        UnloadPlugin(&plugin);
        // The plug-in's threads hold the module until their last instruction.
        const bool gone = PumpUntil([module] { return !ModuleMapped(module); }, 5000);
        if (!gone) {
            return i;
        }
        if (afterCycle) {
            afterCycle(i);
        }
    }
    return cycles;
}

}  // namespace devhost
