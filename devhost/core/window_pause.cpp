// A UI thread that stalls at chosen points of a window's messages: hooks on the
// messages sent to windows of one class, before and after their window procedure.
//
// 1. The hooks belong to the thread that set them and see only sent messages.
// 2. The pause function is called outside every lock and never lets an exception
//    out of the hook procedure.
#include <windows.h>

#include <cwchar>

#include "devhost/core/state.h"

namespace devhost {
namespace detail {
namespace {

struct PauseHook {
    std::wstring className;
    std::function<DWORD(UINT, bool)> pause;
    HHOOK before = nullptr;
    HHOOK after = nullptr;
};

std::mutex& PauseLock() {
    static std::mutex* mutex = new std::mutex;
    return *mutex;
}

PauseHook& ThePauseHook() {
    static PauseHook* hook = new PauseHook;
    return *hook;
}

void PauseAt(HWND window, UINT message, bool after) {
    try {
        std::function<DWORD(UINT, bool)> pause;
        std::wstring wanted;
        {
            std::lock_guard<std::mutex> guard(PauseLock());
            pause = ThePauseHook().pause;
            wanted = ThePauseHook().className;
        }
        if (!pause) return;
        wchar_t name[64] = {};
        if (GetClassNameW(window, name, 64) == 0 || wanted != name) return;
        const DWORD ms = pause(message, after);
        if (ms != 0) Sleep(ms);
    } catch (...) {
        // A failed pause is no pause; nothing leaves the hook procedure.
    }
}

LRESULT CALLBACK BeforeProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
        PauseAt(sent->hwnd, sent->message, false);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK AfterProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const auto* sent = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        PauseAt(sent->hwnd, sent->message, true);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

void ResetWindowPauseHook() { SetWindowPauseHook(L"", nullptr); }

}  // namespace detail

void SetWindowPauseHook(const std::wstring& className, std::function<DWORD(UINT message, bool after)> pause) {
    HHOOK oldBefore = nullptr;
    HHOOK oldAfter = nullptr;
    std::function<DWORD(UINT, bool)> oldPause;
    {
        std::lock_guard<std::mutex> guard(detail::PauseLock());
        detail::PauseHook& h = detail::ThePauseHook();
        oldBefore = h.before;
        oldAfter = h.after;
        oldPause = std::move(h.pause);
        h = detail::PauseHook{};
    }
    if (oldBefore != nullptr) UnhookWindowsHookEx(oldBefore);
    if (oldAfter != nullptr) UnhookWindowsHookEx(oldAfter);
    if (!pause) return;
    const DWORD thread = GetCurrentThreadId();
    HHOOK before = SetWindowsHookExW(WH_CALLWNDPROC, detail::BeforeProc, nullptr, thread);
    HHOOK after = SetWindowsHookExW(WH_CALLWNDPROCRET, detail::AfterProc, nullptr, thread);
    std::lock_guard<std::mutex> guard(detail::PauseLock());
    detail::PauseHook& h = detail::ThePauseHook();
    h.className = className;
    h.pause = std::move(pause);
    h.before = before;
    h.after = after;
}

}  // namespace devhost
