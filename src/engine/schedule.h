// The periodic schedule and the worker thread.
#ifndef VARNEL_SCHEDULE_H
#define VARNEL_SCHEDULE_H

#include <windows.h>

#include <cstdint>

#include "core/clock.h"
#include "core/state.h"

// One tick of the worker, in milliseconds; repeats of an unconfirmed switch come
// every kRetryTicks + 1 ticks.
constexpr DWORD kTickMs = 100;
constexpr int32_t kRetryTicks = 30;
constexpr int64_t kFileTimeUnitsPerDay = 864000000000LL;

// Where a restart of the periodic schedule counts from in days mode; minutes and hours
// always count from now.
enum class ScheduleStart {
    kLastChange,  // lastChanged as stored (today when it is no date)
    kNow,         // a switch just happened, or the user set the schedule: lastChanged becomes now
};
// Restarts the periodic schedule of g_state.settings at `now`; nothing in theme sync
// mode. Whoever changes the settings restarts the schedule in the same step.
void StampScheduleLocked(ScheduleStart start, const ClockReading& now) REQUIRES(g_state.lock);
// The same with the clocks read now, taking the lock.
void StampSchedule(ScheduleStart start);
// True when the periodic schedule of g_state.settings is due at `now`.
bool PeriodicSwitchDueLocked(const ClockReading& now) REQUIRES(g_state.lock);
// The worker thread, with the session it acts for as its parameter: ticks every kTickMs
// while workerRunning holds its id. Whoever changes workerRunning wakes it with
// WakeByAddressAll.
DWORD WINAPI WorkerThreadProc(LPVOID session);

#endif
