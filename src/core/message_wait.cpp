#include "core/message_wait.h"

namespace {

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
