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

// Restarts the periodic schedule (days: from lastChanged; minutes and hours: from now).
void StampSchedule(int forceNow);
// The worker thread: ticks every kTickMs until workerRunning is 0.
DWORD WINAPI WorkerThreadProc(LPVOID unused);

#endif
