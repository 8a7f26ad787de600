#include "support/time_util.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <utility>

#include "core/clock.h"

SYSTEMTIME LocalTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second,
                     WORD milliseconds) {
    SYSTEMTIME time{};
    time.wYear = year;
    time.wMonth = month;
    time.wDay = day;
    time.wHour = hour;
    time.wMinute = minute;
    time.wSecond = second;
    time.wMilliseconds = milliseconds;
    return time;
}

std::string Describe(const SYSTEMTIME& time) {
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", time.wYear, time.wMonth,
                  time.wDay, time.wHour, time.wMinute, time.wSecond, time.wMilliseconds);
    return text;
}

namespace testclock {
namespace {

std::atomic<int64_t> g_monotonic{0};
std::atomic<uint64_t> g_localUnits{0};
std::atomic<int> g_monotonicReads{0};
std::atomic<int> g_localReads{0};
std::function<void()> g_step;  // set before g_stepPending, taken after it
std::atomic<bool> g_stepPending{false};

void RunStep() {
    if (g_stepPending.exchange(false)) {
        const std::function<void()> step = std::move(g_step);
        step();
    }
}

int64_t ReadMonotonic() {
    RunStep();
    ++g_monotonicReads;
    return g_monotonic.load();
}

void ReadLocal(SYSTEMTIME* now) {
    RunStep();
    ++g_localReads;
    const uint64_t units = g_localUnits.load();
    FILETIME file;
    file.dwLowDateTime = static_cast<DWORD>(units & 0xFFFFFFFFu);
    file.dwHighDateTime = static_cast<DWORD>(units >> 32);
    FileTimeToSystemTime(&file, now);
}

}  // namespace

void Install(int64_t monotonicNs, const SYSTEMTIME& local) {
    g_monotonic = monotonicNs;
    SetLocal(local);
    g_monotonicReads = 0;
    g_localReads = 0;
    g_stepPending = false;
    g_clock = ClockSource{&ReadMonotonic, &ReadLocal};
}

void Uninstall() {
    g_clock = kSystemClock;
    g_stepPending = false;
}

void SetMonotonicNs(int64_t ns) { g_monotonic = ns; }
int64_t MonotonicNs() { return g_monotonic.load(); }

void SetLocal(const SYSTEMTIME& time) {
    FILETIME file{};
    EXPECT_TRUE(SystemTimeToFileTime(&time, &file)) << Describe(time);
    g_localUnits = (static_cast<uint64_t>(file.dwHighDateTime) << 32) | file.dwLowDateTime;
}

int MonotonicReads() { return g_monotonicReads.load(); }
int LocalReads() { return g_localReads.load(); }

void OnNextRead(std::function<void()> step) {
    g_step = std::move(step);
    g_stepPending = true;
}

bool StepPending() { return g_stepPending.load(); }

}  // namespace testclock
