#include "support/time_util.h"

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

int64_t FakeClock::monotonicNs = 0;
SYSTEMTIME FakeClock::local{};
std::function<void()> FakeClock::onNextRead;

namespace {

void RunOnNextRead() {
    if (FakeClock::onNextRead) {
        const std::function<void()> step = std::move(FakeClock::onNextRead);
        FakeClock::onNextRead = nullptr;
        step();
    }
}

int64_t FakeMonotonic() {
    RunOnNextRead();
    return FakeClock::monotonicNs;
}

void FakeLocal(SYSTEMTIME* now) {
    RunOnNextRead();
    *now = FakeClock::local;
}

}  // namespace

FakeClock::FakeClock(int64_t startNs, const SYSTEMTIME& startLocal) {
    monotonicNs = startNs;
    local = startLocal;
    onNextRead = nullptr;
    g_clock = ClockSource{&FakeMonotonic, &FakeLocal};
}

FakeClock::~FakeClock() {
    g_clock = kSystemClock;
    onNextRead = nullptr;
}
