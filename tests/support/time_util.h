// Local times for the schedule's tests.
#ifndef VARNEL_TEST_TIME_UTIL_H
#define VARNEL_TEST_TIME_UTIL_H

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

SYSTEMTIME LocalTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second = 0,
                     WORD milliseconds = 0);
// "2026-03-10 21:15:42.250", for comparisons and assertion messages.
std::string Describe(const SYSTEMTIME& time);

// Both clocks of the schedule, frozen until the test moves them. The readings are
// atomics, so a running worker may read them too.
namespace testclock {
// Replaces the clocks, at `monotonicNs` and `local`; Uninstall puts the system's back.
void Install(int64_t monotonicNs = 5000 * 1000000000LL,
             const SYSTEMTIME& local = LocalTime(2026, 3, 10, 12, 0));
void Uninstall();
void SetMonotonicNs(int64_t ns);
int64_t MonotonicNs();
void SetLocal(const SYSTEMTIME& time);
int MonotonicReads();
int LocalReads();
// Runs `step` once at the next reading of either clock, before the reading is taken:
// the step of another thread falling right there. StepPending tells whether it waits.
void OnNextRead(std::function<void()> step);
bool StepPending();
}  // namespace testclock

#endif
