// The worker thread: the plug-in's 100 ms clock.
//
// 1. A worker ticks only while workerRunning holds its own thread id, tested before
//    and after every wait: a stop, or a newer worker started by a later
//    initialisation, ends it at the end of the tick in progress. The wait between
//    ticks ends at once when workerRunning changes, so a stop never waits for it. The
//    thread ends through ExitModuleThread so the module stays loaded until its last
//    instruction.
// 2. The worker acts for the session that started it: a tick that spent long in a host
//    call goes no further once that session has ended, and calls nothing more.
// 3. While a switch is pending, a tick only confirms or repeats it; neither the
//    schedule nor the theme debounce is looked at.
#include <windows.h>

#include <cstdint>
#include <string>

#include "catalog/catalog.h"
#include "config/settings.h"
#include "core/host.h"
#include "engine/rotation.h"
#include "engine/schedule.h"
#include "engine/theme.h"
#include "engine/worker.h"
#include "core/session.h"
#include "core/state.h"
#include "core/threads.h"

namespace {

// Waits for the next tick; false as soon as the worker `self` is told to stop.
bool WaitForTick(DWORD self) {
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        DWORD running = self;
        if (g_state.workerRunning.load() != running) {
            return false;
        }
        const ULONGLONG waited = GetTickCount64() - start;
        if (waited >= kTickMs) {
            return true;
        }
        // Returns when the word no longer reads `running` (StopWorker wakes it), at the
        // timeout, or spuriously; the loop tells them apart.
        WaitOnAddress(&g_state.workerRunning, &running, sizeof(running),
                      static_cast<DWORD>(kTickMs - waited));
    }
}

void ConfirmOrRepeat() {
    if (!host::Accepted()) {
        return;
    }
    // A slot left empty by a broken host reads as "nothing showing": the switch stays
    // pending and is repeated, like one the host never applies.
    std::wstring current = host::CurrentSkin();
    if (!CallerSessionLive()) {
        return;
    }
    std::wstring target;
    bool confirmed = false;
    {
        // Clearing the flag under the lock, while targetSkin is known to match, keeps a
        // request that replaces targetSkin right now from being confirmed by mistake:
        // its switchPending = 1 comes after this clear.
        ScopedLock guard(g_state.lock);
        if (current == g_state.targetSkin) {
            g_state.switchPending = 0;
            confirmed = true;
        } else {
            target = g_state.targetSkin;
        }
    }
    if (confirmed) {
        StampSchedule(ScheduleStart::kNow);
        SaveSettings();
        return;
    }
    int32_t countdown = g_state.retryCountdown.load();
    if (countdown > 0) {
        g_state.retryCountdown = countdown - 1;
        return;
    }
    host::ApplySkin(target);
    g_state.retryCountdown = kRetryTicks;
}

}  // namespace

void WorkerTick() {
    // A save asked for while an ended session's save was still in the host, which
    // nobody could make then.
    if (g_state.saveWanted.load() == CallerSession() + 1) {
        SaveSettings();
    }
    if (g_state.switchPending.load() != 0) {
        ConfirmOrRepeat();
        return;
    }
    // The settings and the schedule are read in one step; any other stored mode only
    // confirms.
    const ClockReading now = ReadClocks();
    ChangeMode mode = ChangeMode::kPeriodic;
    bool due = false;
    {
        ScopedLock guard(g_state.lock);
        mode = g_state.settings.changeMode;
        due = mode == ChangeMode::kPeriodic && PeriodicSwitchDueLocked(now);
    }
    if (due) {
        AdvanceToNextSkin();
    } else if (mode == ChangeMode::kThemeSync && g_state.themeChangePending.load() != 0) {
        if (g_state.themeDebounceTicks.fetch_add(1) + 1 > 1) {
            g_state.themeChangePending = 0;
            SyncWithWindowsTheme();
        }
    }
}

DWORD WINAPI WorkerThreadProc(LPVOID session) {
    const DWORD self = GetCurrentThreadId();
    ActForSession(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(session)));
    try {
        while (WaitForTick(self)) {
            WorkerTick();
        }
    } catch (...) {
        // Out of memory in a tick: the worker stops as if shut down. Every lock it took
        // was released on the way out, and a switch it had begun was requested or not.
    }
    ExitModuleThread(0);
}
