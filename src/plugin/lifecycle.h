// Start-up and shut-down: the plug-in's lifecycle inside a launcher, which may send an
// event from any thread, serve calls by sending or by posting to its own thread, free
// the DLL right after shut-down, load it again at once, or load a new build in its place.
//
// 1. The host is called only on behalf of a live session (core/session.h): every export
//    call, the worker and the start-up enumeration act for the session they began in,
//    and a host call of an ended session is not made.
// 2. What holds the module: the host's own reference, from its LoadLibrary to its
//    FreeLibrary, and one reference per plug-in thread, taken before the thread exists
//    and handed back by its last instruction (core/threads.h). Nothing else takes or
//    drops one, so no reference goes while code of the module may still run: the one
//    release that is not a thread's last instruction is the host's.
// 3. The hidden window belongs to the session that made it and to its thread, and
//    holds no reference. Shut-down makes sure it has gone before returning: it destroys
//    it on its own thread, or sends it WM_CLOSE from any other, whose answer comes only
//    after the window procedure has returned. An older window still closing never
//    touches a newer session's window.
// 4. The window class is registered by initialisation and unregistered by shut-down
//    once the window has gone. Initialisation uses a class of that name only when its
//    procedure is this image's; one left by an earlier image is replaced, and while it
//    cannot be, no window is made.
// 5. When shut-down cannot make sure of 3 (the window's thread did not answer within
//    kWindowAnswerMs), or when another export call is still in progress and may return
//    into the module after the host's FreeLibrary, it pins the module: it then stays
//    loaded until the process ends. This is the only way the module outlives the host's
//    last FreeLibrary by more than its threads' last instructions.
// 6. Shut-down stops the worker and waits for it (kWorkerStopWaitMs) while the session
//    is still live, so that a save in flight ends whole, answering the launcher's calls
//    for it meanwhile (core/message_wait.h); only then does the session end and the
//    table go, and calls that had passed their session check are given kCallsSettleMs
//    to return. When it returns: no window or class of its session is left (or the
//    module is pinned), the worker has ended or will end at its next test, and no thread
//    of the plug-in begins another host call. An event that came in during its waits
//    (a nested initialisation or shut-down) has the last word on the session.
// 7. Nothing is freed when the process is terminating (dllmain.cpp): the state record is
//    never destroyed, and what the runtime keeps is released at an unload only.
// 8. The launcher's thread never waits for something another thread may hold while
//    that thread waits for the launcher's thread: saves never wait for each other
//    (config/settings.h), and shut-down's waits answer sent messages.
#ifndef VARNEL_LIFECYCLE_H
#define VARNEL_LIFECYCLE_H

#include <windows.h>

#include <cstdint>

// How long shut-down waits for the worker's last tick.
constexpr DWORD kWorkerStopWaitMs = 1000;
// How long shut-down on another thread waits for the window's thread to close it.
constexpr DWORD kWindowAnswerMs = 1000;
// How long shut-down waits, once the session has ended, for host calls that had passed
// their session check to return.
constexpr DWORD kCallsSettleMs = 50;

int32_t InitializePlugin(uint64_t param1, uint64_t param2);
int32_t ShutdownPlugin();

#endif
