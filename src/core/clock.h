// The schedule's two time sources, replaceable by tests.
#ifndef VARNEL_CLOCK_H
#define VARNEL_CLOCK_H

#include <windows.h>

#include <atomic>
#include <cstdint>

struct ClockSource {
    // Nanoseconds from an arbitrary origin; never goes back, counts through sleep.
    int64_t (*monotonicNs)();
    // Local wall-clock time.
    void (*localTime)(SYSTEMTIME* now);
};

extern ClockSource g_clock;
// The real clocks, for tests that replaced them to put back.
extern const ClockSource kSystemClock;

// The system clock's two steps, apart so that they can be tried on any reading: the
// performance counter in nanoseconds, or `tickMs` when the counter cannot be read
// (`frequency` 0 or less, `counter` negative); and `reading` made no lower than any
// earlier one, `highest` holding the highest so far.
int64_t CounterNs(int64_t counter, int64_t frequency, uint64_t tickMs);
int64_t NotBefore(std::atomic<int64_t>& highest, int64_t reading);

inline int64_t MonotonicNowNs() { return g_clock.monotonicNs(); }
inline void LocalTimeNow(SYSTEMTIME* now) { g_clock.localTime(now); }

// Both clocks, read together before a change under the lock that needs them.
struct ClockReading {
    int64_t monotonicNs = 0;
    SYSTEMTIME local{};
};
inline ClockReading ReadClocks() {
    ClockReading now;
    now.monotonicNs = MonotonicNowNs();
    LocalTimeNow(&now.local);
    return now;
}

#endif
