// Sessions: which host calls belong to which initialisation, and the turns that are
// held across host calls.
//
// 1. A session runs from an initialisation that accepted a host to the next shut-down
//    or initialisation; g_state.session names the live one and moves on, under
//    g_state.lock, at both.
// 2. Every thread that calls the host acts for one session: an export call for the
//    one live at its entry (CallScope; an initialisation rebinds it to the session it
//    begins), the worker and the start-up enumeration for the one that started them
//    (ActForSession). A host call is made only while that session is still live
//    (CallerSessionLive, asked by core/host.cpp before every call). A thread that
//    never said falls back to the live session: tests that call single operations.
// 3. A turn kept across host calls (a save, an enumeration) names its holder:
//    session, thread and frame. Nobody waits for one. It passes to a caller of a newer
//    session, since a holder of an ended one calls the host no more; the save turn only
//    once that holder is out of the host call it was in, which could otherwise land in
//    the middle of the newer save (the worker makes the save asked for meanwhile). It
//    passes to the holder's own thread once the holding frame is gone: a host that
//    guards its calls with structured exception handling may unwind the frame without
//    running its destructors.
// 4. Export calls in progress are kept by thread and frame, so that shut-down can tell
//    whether another call may still return into the module; a call unwound by the host
//    is forgotten at the next call its thread makes.
#ifndef VARNEL_SESSION_H
#define VARNEL_SESSION_H

#include <windows.h>

#include <cstdint>

enum TurnKind { kSaveTurn = 0, kEnumerationTurn = 1, kTurnKinds = 2 };

// The session this thread acts for (the live one when it never said).
uint32_t CallerSession();
bool CallerSessionLive();
// For a thread of the plug-in's own, at its start.
void ActForSession(uint32_t session);

// Starts a new session (initialisation) or ends the live one (shut-down); returns the
// new number. The calling thread acts for the new session from here on.
uint32_t NextSession();

// The frame of one export call: registers it, makes the thread act for the live
// session, and undoes both when the call returns.
class CallScope {
public:
    CallScope();
    ~CallScope();
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;

private:
    uintptr_t savedSession_;
    bool registered_;
};

// True when an export call other than the caller's own innermost one is in progress,
// on any thread, or when that cannot be told.
bool OtherCallsInProgress();

// Takes the turn for the caller's session, with `frame` the address of a local of the
// holding function; false when a live holder has it or the caller's session is over.
bool TakeTurn(TurnKind kind, const void* frame);
// Gives it back if the caller (this thread, that frame) still holds it.
void GiveTurn(TurnKind kind, const void* frame);

// Counts a host call of this thread in or out of the turns it holds (core/host.cpp).
void CountHostCall(int delta);

// Releases what the module keeps per process: the thread slot of the sessions. At an
// unload only, never at process exit.
void ReleaseSessionSlot();

#endif
