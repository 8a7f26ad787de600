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

// Replaces the schedule's clocks with two settable readings while it lives, and puts the
// system clocks back after. `onNextRead`, when set, runs once at the next reading of
// either clock, before the reading is taken: the step of another thread falling there.
struct FakeClock {
    FakeClock(int64_t monotonicNs, const SYSTEMTIME& local);
    ~FakeClock();
    FakeClock(const FakeClock&) = delete;
    FakeClock& operator=(const FakeClock&) = delete;

    static int64_t monotonicNs;
    static SYSTEMTIME local;
    static std::function<void()> onNextRead;
};

#endif
