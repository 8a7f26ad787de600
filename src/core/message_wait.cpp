#include "core/message_wait.h"

namespace {

// How often a lock wait looks again when no message arrives; a slim lock has nothing
// to wait on, and saves that hold it are short.
constexpr DWORD kLockPollMs = 1;

// PeekMessage delivers every message sent to this thread before it looks at the
// queue; PM_NOREMOVE with the sent-message filter leaves posted messages alone.
void ServeSentMessages() {
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

}  // namespace

bool WaitServingSentMessages(HANDLE object, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        const DWORD left = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
        const DWORD result = MsgWaitForMultipleObjectsEx(1, &object, left, QS_SENDMESSAGE, 0);
        if (result == WAIT_OBJECT_0) {
            return true;
        }
        if (result != WAIT_OBJECT_0 + 1) {
            return false;  // timed out or failed
        }
        ServeSentMessages();
    }
}

void LockServingSentMessages(SrwLock& lock) {
    while (!lock.TryLock()) {
        MsgWaitForMultipleObjectsEx(0, nullptr, kLockPollMs, QS_SENDMESSAGE, 0);
        ServeSentMessages();
    }
}
