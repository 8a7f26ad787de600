#include "core/message_wait.h"

namespace {

// How often a wait looks again at a condition no message announces.
constexpr DWORD kPollMs = 2;

// PeekMessage delivers every message sent to this thread before it looks at the
// queue; PM_NOREMOVE with the sent-message filter leaves posted messages alone.
void ServeSentMessages() {
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

// Dispatches the posted messages queued now; false once a WM_QUIT was met (and posted
// again), after which none is dispatched.
bool DispatchPostedMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | PM_QS_POSTMESSAGE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return true;
}

DWORD Left(ULONGLONG deadline) {
    const ULONGLONG now = GetTickCount64();
    return now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
}

}  // namespace

bool WaitServingMessages(HANDLE object, DWORD timeoutMs, bool (*servePosted)()) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    bool posting = servePosted != nullptr;
    for (;;) {
        const DWORD left = Left(deadline);
        // While posted messages may be wanted, look again often: whether they are can
        // change without a message arriving.
        const DWORD slice = posting && left > kPollMs ? kPollMs : left;
        const DWORD result = MsgWaitForMultipleObjectsEx(1, &object, slice, QS_SENDMESSAGE, 0);
        if (result == WAIT_OBJECT_0) {
            return true;
        }
        if (result == WAIT_OBJECT_0 + 1) {
            ServeSentMessages();
        } else if (result != WAIT_TIMEOUT || left == 0) {
            return false;  // failed, or the time is up
        }
        if (posting && servePosted()) {
            posting = DispatchPostedMessages();
        }
    }
}

bool WaitServingSentMessages(HANDLE object, DWORD timeoutMs) {
    return WaitServingMessages(object, timeoutMs, nullptr);
}

bool WaitServingSentMessagesUntil(bool (*done)(), DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!done()) {
        const DWORD left = Left(deadline);
        if (left == 0) {
            return false;
        }
        MsgWaitForMultipleObjectsEx(0, nullptr, left < kPollMs ? left : kPollMs, QS_SENDMESSAGE, 0);
        ServeSentMessages();
    }
    return true;
}
