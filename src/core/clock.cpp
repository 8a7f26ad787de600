// The clocks behind the schedule.
//
// 1. The monotonic reading comes from the performance counter, which keeps counting
//    while the computer sleeps or hibernates: an interval of two hours is two hours
//    of the user's time, not two hours of the machine being awake.
// 2. Readings never go back, not even across threads: every reading is at least the
//    highest one handed out before it.
#include "core/clock.h"

#include <atomic>
#include <climits>

namespace {

constexpr int64_t kNsPerSecond = 1000000000LL;

std::atomic<int64_t> g_highestReading{INT64_MIN};

// Read at every call rather than kept in a function-local static: the guard of such a
// static makes the threads runtime keep per-thread data (a handle, an event, a TLS
// slot) that nothing frees once the DLL is unloaded, one set per load.
int64_t CounterFrequency() {
    LARGE_INTEGER frequency{};
    if (!QueryPerformanceFrequency(&frequency)) {
        return 0;
    }
    return frequency.QuadPart;
}

}  // namespace

int64_t CounterNs(int64_t counter, int64_t frequency, uint64_t tickMs) {
    if (frequency <= 0 || counter < 0) {
        // GetTickCount64 counts through sleep as well, only coarser.
        return static_cast<int64_t>(tickMs) * 1000000LL;
    }
    // Split so that counter * 1e9 cannot overflow for any realistic uptime.
    const int64_t whole = counter / frequency;
    const int64_t rest = counter % frequency;
    return whole * kNsPerSecond + rest * kNsPerSecond / frequency;
}

int64_t NotBefore(std::atomic<int64_t>& highest, int64_t reading) {
    int64_t seen = highest.load();
    while (reading > seen && !highest.compare_exchange_weak(seen, reading)) {
    }
    return reading > seen ? reading : seen;
}

namespace {

int64_t SystemMonotonicNs() {
    LARGE_INTEGER counter{};
    if (!QueryPerformanceCounter(&counter)) {
        counter.QuadPart = -1;
    }
    return NotBefore(g_highestReading,
                     CounterNs(counter.QuadPart, CounterFrequency(), GetTickCount64()));
}

void SystemLocalTime(SYSTEMTIME* now) { GetLocalTime(now); }

}  // namespace

const ClockSource kSystemClock = {&SystemMonotonicNs, &SystemLocalTime};
ClockSource g_clock = {&SystemMonotonicNs, &SystemLocalTime};
