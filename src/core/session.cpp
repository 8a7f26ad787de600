#include "core/session.h"

#include "core/state.h"

namespace {

constexpr uintptr_t kNoSession = 0;

// The thread slot that holds each thread's session, made by the first export call.
// A process out of slots leaves every thread acting for the live session.
DWORD SessionSlot() {
    DWORD slot = g_state.sessionSlot.load();
    if (slot != TLS_OUT_OF_INDEXES) {
        return slot;
    }
    const DWORD made = TlsAlloc();
    if (made == TLS_OUT_OF_INDEXES) {
        return made;
    }
    if (!g_state.sessionSlot.compare_exchange_strong(slot, made)) {
        TlsFree(made);  // another thread was first
        return slot;
    }
    return made;
}

// The slot holds the session plus one, so that 0 (never set) stays apart from session 0.
uintptr_t StoredSession() {
    const DWORD slot = g_state.sessionSlot.load();
    return slot == TLS_OUT_OF_INDEXES ? kNoSession
                                      : reinterpret_cast<uintptr_t>(TlsGetValue(slot));
}

void StoreSession(uintptr_t stored) {
    const DWORD slot = SessionSlot();
    if (slot != TLS_OUT_OF_INDEXES) {
        TlsSetValue(slot, reinterpret_cast<LPVOID>(stored));
    }
}

uintptr_t Frame(const void* local) { return reinterpret_cast<uintptr_t>(local); }

TurnHolder& TurnOf(TurnKind kind) REQUIRES(g_state.lock) {
    return kind == kSaveTurn ? g_state.saving : g_state.enumerating;
}

// Stacks grow down: a frame of this thread at or above `frame` that is still recorded
// was unwound without returning (see the header, 3).
bool UnwoundBelow(DWORD thread, uintptr_t recorded, uintptr_t frame) {
    return thread == GetCurrentThreadId() && frame >= recorded;
}

void ForgetUnwoundCalls(uintptr_t frame) REQUIRES(g_state.lock) {
    for (CallRecord& call : g_state.calls) {
        if (call.thread != 0 && UnwoundBelow(call.thread, call.frame, frame)) {
            call = CallRecord{};
        }
    }
}

}  // namespace

uint32_t CallerSession() {
    const uintptr_t stored = StoredSession();
    return stored == kNoSession ? g_state.session.load() : static_cast<uint32_t>(stored - 1);
}

bool CallerSessionLive() { return CallerSession() == g_state.session.load(); }

void ActForSession(uint32_t session) { StoreSession(static_cast<uintptr_t>(session) + 1); }

uint32_t NextSession() {
    uint32_t session = 0;
    {
        ScopedLock guard(g_state.lock);
        session = ++g_state.session;
    }
    ActForSession(session);
    return session;
}

CallScope::CallScope() : savedSession_(StoredSession()), registered_(false) {
    const uintptr_t frame = Frame(this);
    uint32_t session = 0;
    {
        ScopedLock guard(g_state.lock);
        ForgetUnwoundCalls(frame);
        for (CallRecord& call : g_state.calls) {
            if (call.thread == 0) {
                call = CallRecord{GetCurrentThreadId(), frame};
                registered_ = true;
                break;
            }
        }
        if (!registered_) {
            g_state.callsOverflowed = true;
        }
        session = g_state.session;
    }
    ActForSession(session);
}

CallScope::~CallScope() {
    StoreSession(savedSession_);
    if (!registered_) {
        return;
    }
    const uintptr_t frame = Frame(this);
    ScopedLock guard(g_state.lock);
    for (CallRecord& call : g_state.calls) {
        if (call.thread == GetCurrentThreadId() && call.frame == frame) {
            call = CallRecord{};
        }
    }
}

bool OtherCallsInProgress() {
    const DWORD self = GetCurrentThreadId();
    ScopedLock guard(g_state.lock);
    if (g_state.callsOverflowed) {
        return true;
    }
    // The caller's own innermost call has the lowest frame of its thread's records.
    int mine = 0;
    int others = 0;
    for (const CallRecord& call : g_state.calls) {
        if (call.thread == self) {
            ++mine;
        } else if (call.thread != 0) {
            ++others;
        }
    }
    return others > 0 || mine > 1;
}

bool TakeTurn(TurnKind kind, const void* frame) {
    const uint32_t caller = CallerSession();
    ScopedLock guard(g_state.lock);
    if (caller != g_state.session) {
        return false;
    }
    TurnHolder& turn = TurnOf(kind);
    // An ended session's save still in the host could land a write in the middle of
    // the newer save; an ended enumeration's answer is only thrown away.
    const bool holderOut = kind == kEnumerationTurn || turn.hostCalls == 0;
    const bool free = !turn.held || (turn.session != g_state.session && holderOut) ||
                      UnwoundBelow(turn.thread, turn.frame, Frame(frame));
    if (!free) {
        return false;
    }
    turn = TurnHolder{true, caller, GetCurrentThreadId(), Frame(frame)};
    return true;
}

void GiveTurn(TurnKind kind, const void* frame) {
    ScopedLock guard(g_state.lock);
    TurnHolder& turn = TurnOf(kind);
    // No other call of this thread can hold it at this frame while this one runs.
    if (turn.held && turn.thread == GetCurrentThreadId() && turn.frame == Frame(frame)) {
        turn = TurnHolder{};
    }
}

void CountHostCall(int delta) {
    const DWORD self = GetCurrentThreadId();
    ScopedLock guard(g_state.lock);
    for (TurnHolder* turn : {&g_state.saving, &g_state.enumerating}) {
        if (turn->held && turn->thread == self) {
            turn->hostCalls += delta;
        }
    }
}

void ReleaseSessionSlot() {
    const DWORD slot = g_state.sessionSlot.exchange(TLS_OUT_OF_INDEXES);
    if (slot != TLS_OUT_OF_INDEXES) {
        TlsFree(slot);
    }
}
