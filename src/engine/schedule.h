// The periodic schedule and the worker thread.
#ifndef VARNEL_SCHEDULE_H
#define VARNEL_SCHEDULE_H

#include <windows.h>

#include <cstdint>

// One tick of the worker, in milliseconds; repeats of an unconfirmed switch come
// every kRetryTicks + 1 ticks.
constexpr DWORD kTickMs = 100;
constexpr int32_t kRetryTicks = 30;
constexpr int64_t kFileTimeUnitsPerDay = 864000000000LL;

// Where a restart of the periodic schedule counts from in days mode; minutes and hours
// always count from now.
enum class ScheduleStart {
    kLastChange,  // lastChanged as stored (today when it is no date)
    kNow,         // a switch just happened: lastChanged becomes now
};
// Restarts the periodic schedule; nothing in theme sync mode.
void StampSchedule(ScheduleStart start);
// Brings the engine in step with settings just loaded: the schedule restarts from the last
// change, and the rotation index is resynchronised when the user's list is chosen.
void ResumeAfterLoad();
// The worker thread, with the session it acts for as its parameter: ticks every kTickMs
// while workerRunning holds its id. Whoever changes workerRunning wakes it with
// WakeByAddressAll.
DWORD WINAPI WorkerThreadProc(LPVOID session);

#endif
