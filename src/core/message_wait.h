// A wait that keeps the calling thread answering messages sent to it.
//
// 1. A launcher may serve a plug-in thread's host call by sending it to its own
//    user-interface thread. If that thread then blocked in a plain wait for something
//    the plug-in thread holds, neither could go on; so every wait the plug-in makes on
//    the launcher's thread (there is one: shut-down's for the worker) goes through here.
// 2. Sent messages are handled while waiting. Posted ones are dispatched only while the
//    caller's `servePosted` says so (a launcher that serves another thread's call by
//    posting to this thread can be answered no other way); otherwise posted input stays
//    queued, so no click or key reaches a window re-entrantly in the middle of an event.
//    A WM_QUIT met on the way is posted again for the launcher's own loop.
// 3. On a thread that nobody sends or posts to they are ordinary waits.
#ifndef VARNEL_MESSAGE_WAIT_H
#define VARNEL_MESSAGE_WAIT_H

#include <windows.h>

// Waits for `object` at most `timeoutMs`; true when it was signalled.
bool WaitServingSentMessages(HANDLE object, DWORD timeoutMs);
// The same, dispatching posted messages too whenever `servePosted()` is true.
bool WaitServingMessages(HANDLE object, DWORD timeoutMs, bool (*servePosted)());
// Waits until `done()` is true, at most `timeoutMs`; true when it is.
bool WaitServingSentMessagesUntil(bool (*done)(), DWORD timeoutMs);

#endif
