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
    if (!QueryPerformanceFrequency(&frequency) || frequency.QuadPart <= 0) {
        return 0;
    }
    return frequency.QuadPart;
}

int64_t RawMonotonicNs() {
    const int64_t frequency = CounterFrequency();
    LARGE_INTEGER counter{};
    if (frequency == 0 || !QueryPerformanceCounter(&counter) || counter.QuadPart < 0) {
        // GetTickCount64 counts through sleep as well, only coarser.
        return static_cast<int64_t>(GetTickCount64()) * 1000000LL;
    }
    // Split so that counter * 1e9 cannot overflow for any realistic uptime.
    const int64_t whole = counter.QuadPart / frequency;
    const int64_t rest = counter.QuadPart % frequency;
    return whole * kNsPerSecond + rest * kNsPerSecond / frequency;
}

int64_t SystemMonotonicNs() {
    const int64_t now = RawMonotonicNs();
    int64_t seen = g_highestReading.load();
    while (now > seen && !g_highestReading.compare_exchange_weak(seen, now)) {
    }
    return now > seen ? now : seen;
}

void SystemLocalTime(SYSTEMTIME* now) { GetLocalTime(now); }

}  // namespace

const ClockSource kSystemClock = {&SystemMonotonicNs, &SystemLocalTime};
ClockSource g_clock = {&SystemMonotonicNs, &SystemLocalTime};
