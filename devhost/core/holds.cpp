// Slow and stuck hosts: what happens at the entry of a slot, on the calling thread,
// before the call is marshalled.
//
// 1. The entry observer sees every call first, then the slot's pause runs, then the
//    hold; none of them runs under the host's lock or this file's.
// 2. A hold keeps at most one call; it ends on ReleaseHold(), on Reset() or after its
//    bound, so no caller waits for ever.
#include <windows.h>

#include <atomic>
#include <map>

#include "devhost/core/state.h"

namespace devhost {
namespace detail {
namespace {

struct Holds {
    std::function<void(int, DWORD)> observer;
    std::map<int, std::function<DWORD(DWORD)>> pauses;
    int holdSlot = -1;
    DWORD holdMs = 0;
    std::function<bool(DWORD)> holdWhich;
    bool holdTaken = false;
    DWORD heldThread = 0;
};

std::mutex& HoldsLock() {
    static std::mutex* mutex = new std::mutex;
    return *mutex;
}

Holds& TheHolds() {
    static Holds* holds = new Holds;
    return *holds;
}

// Manual-reset: set by ReleaseHold and Reset, reset when a new hold is armed.
HANDLE ReleaseEvent() {
    static const HANDLE event = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    return event;
}

std::atomic<bool> g_holdEntered{false};

}  // namespace

void EnterSlot(int slot) {
    const DWORD thread = GetCurrentThreadId();
    std::function<void(int, DWORD)> observer;
    std::function<DWORD(DWORD)> pause;
    std::function<bool(DWORD)> which;
    bool holdCandidate = false;
    DWORD holdMs = 0;
    try {
        std::lock_guard<std::mutex> guard(HoldsLock());
        Holds& h = TheHolds();
        observer = h.observer;
        auto it = h.pauses.find(slot);
        if (it != h.pauses.end()) pause = it->second;
        holdCandidate = h.holdSlot == slot && !h.holdTaken;
        which = h.holdWhich;
        holdMs = h.holdMs;
    } catch (...) {
        return;  // out of memory copying the hooks: this call goes unobserved
    }
    // Nothing may throw into the plug-in's thread through the table.
    try {
        if (observer) observer(slot, thread);
        if (pause) {
            const DWORD ms = pause(thread);
            if (ms != 0) Sleep(ms);
        }
        if (!holdCandidate || (which && !which(thread))) return;
    } catch (...) {
        return;
    }
    {
        std::lock_guard<std::mutex> guard(HoldsLock());
        Holds& h = TheHolds();
        if (h.holdSlot != slot || h.holdTaken) return;  // another caller took it first
        h.holdTaken = true;
        h.heldThread = thread;
    }
    g_holdEntered = true;
    WaitForSingleObject(ReleaseEvent(), holdMs);
}

void ResetHolds() {
    Holds old;  // hooks destroyed outside the lock
    {
        std::lock_guard<std::mutex> guard(HoldsLock());
        old = std::move(TheHolds());
        TheHolds() = Holds{};
    }
    g_holdEntered = false;
    SetEvent(ReleaseEvent());
}

}  // namespace detail

void SetCallEntryObserver(std::function<void(int slot, DWORD thread)> observer) {
    std::lock_guard<std::mutex> guard(detail::HoldsLock());
    detail::TheHolds().observer = std::move(observer);
}

void SetSlotPause(int slot, std::function<DWORD(DWORD thread)> pause) {
    std::lock_guard<std::mutex> guard(detail::HoldsLock());
    if (pause) {
        detail::TheHolds().pauses[slot] = std::move(pause);
    } else {
        detail::TheHolds().pauses.erase(slot);
    }
}

void HoldSlot(int slot, DWORD maxMs, std::function<bool(DWORD thread)> which) {
    // The previous hold's caller goes on first.
    SetEvent(detail::ReleaseEvent());
    std::lock_guard<std::mutex> guard(detail::HoldsLock());
    detail::Holds& h = detail::TheHolds();
    h.holdSlot = slot;
    h.holdMs = maxMs;
    h.holdWhich = std::move(which);
    h.holdTaken = false;
    h.heldThread = 0;
    detail::g_holdEntered = false;
    ResetEvent(detail::ReleaseEvent());
}

bool HoldEntered() { return detail::g_holdEntered.load(); }

DWORD HeldThread() {
    std::lock_guard<std::mutex> guard(detail::HoldsLock());
    return detail::TheHolds().heldThread;
}

void ReleaseHold() {
    {
        std::lock_guard<std::mutex> guard(detail::HoldsLock());
        detail::TheHolds().holdSlot = -1;
    }
    SetEvent(detail::ReleaseEvent());
}

}  // namespace devhost
