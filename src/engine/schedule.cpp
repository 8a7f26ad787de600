// The periodic schedule: its restart and its due check.
//
// 1. Both run under g_state.lock on clocks read before it was taken, and read the
//    settings and the schedule in that one step: a change of the settings made
//    together with its restart is seen whole or not at all.
// 2. Days: nextChangeTime is lastChanged plus `interval` calendar days, at
//    changeHour:changeMinute, computed on local time with no time-zone conversion.
// 3. nextChangeValid tells whether nextChangeTime holds a real moment. It is false
//    whenever the arithmetic cannot be done soundly: a stored date that is no date,
//    an interval that leaves the FILETIME range, or an hour or minute out of range.
//    A days schedule never computed (the plug-in started in theme sync mode) is
//    computed at its first check, as the load would have; one that cannot be
//    computed is never due, so no unset or failed date is ever compared.
// 4. Minutes and hours: lastSwitchStamp restarts from the monotonic clock; the due
//    check counts whole units since then. Any unit other than minutes and days counts
//    as hours.
#include "engine/schedule.h"

#include <cstdint>
#include <limits>

namespace {

constexpr int64_t kNsPerSecond = 1000000000LL;

uint64_t ToUnits(const FILETIME& time) {
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FILETIME FromUnits(uint64_t units) {
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(units & 0xFFFFFFFFu);
    time.dwHighDateTime = static_cast<DWORD>(units >> 32);
    return time;
}

// `start` plus `days` whole days into `result`; false when either end is outside
// what SYSTEMTIME can express.
bool AddDays(const SYSTEMTIME& start, int32_t days, SYSTEMTIME* result) {
    FILETIME startTime;
    if (days < 0 || !SystemTimeToFileTime(&start, &startTime)) {
        return false;
    }
    const uint64_t base = ToUnits(startTime);
    // FileTimeToSystemTime refuses values with the top bit set.
    const uint64_t ceiling = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    const uint64_t perDay = static_cast<uint64_t>(kFileTimeUnitsPerDay);
    if (base > ceiling || static_cast<uint64_t>(days) > (ceiling - base) / perDay) {
        return false;
    }
    const FILETIME sum = FromUnits(base + static_cast<uint64_t>(days) * perDay);
    return FileTimeToSystemTime(&sum, result) != 0;
}

bool DaysSwitchDueLocked(const ClockReading& now) REQUIRES(g_state.lock) {
    if (!g_state.nextChangeValid) {
        StampScheduleLocked(ScheduleStart::kLastChange, now);
        if (!g_state.nextChangeValid) {
            return false;
        }
    }
    FILETIME nowFile{};
    FILETIME nextFile{};
    if (!SystemTimeToFileTime(&now.local, &nowFile) ||
        !SystemTimeToFileTime(&g_state.nextChangeTime, &nextFile)) {
        return false;
    }
    return ToUnits(nowFile) >= ToUnits(nextFile);
}

bool ElapsedSwitchDueLocked(const ClockReading& now) REQUIRES(g_state.lock) {
    // Wrapping subtraction: a stamp from a replaced clock must not overflow.
    const auto elapsed = static_cast<int64_t>(static_cast<uint64_t>(now.monotonicNs) -
                                              static_cast<uint64_t>(g_state.lastSwitchStamp));
    const int64_t seconds = elapsed / kNsPerSecond;
    const bool minutes = g_state.settings.timeUnit == TimeUnit::kMinutes;
    const int64_t units = seconds / (minutes ? 60 : 3600);
    return static_cast<int32_t>(units) >= g_state.settings.interval;
}

}  // namespace

void StampScheduleLocked(ScheduleStart start, const ClockReading& now) {
    if (g_state.settings.changeMode == ChangeMode::kThemeSync) {
        return;
    }
    if (g_state.settings.timeUnit != TimeUnit::kDays) {
        g_state.lastSwitchStamp = now.monotonicNs;
        return;
    }
    SYSTEMTIME& last = g_state.settings.lastChanged;
    if (start == ScheduleStart::kNow || last.wYear == 0 || last.wMonth == 0 || last.wDay == 0) {
        last = now.local;
    }
    SYSTEMTIME next = last;
    bool valid = AddDays(last, g_state.settings.interval, &next);
    if (valid) {
        next.wHour = g_state.settings.changeHour;
        next.wMinute = g_state.settings.changeMinute;
        FILETIME check;
        valid = SystemTimeToFileTime(&next, &check) != 0;
    } else {
        next = last;
    }
    g_state.nextChangeTime = next;
    g_state.nextChangeValid = valid;
}

void StampSchedule(ScheduleStart start) {
    const ClockReading now = ReadClocks();
    ScopedLock guard(g_state.lock);
    StampScheduleLocked(start, now);
}

bool PeriodicSwitchDueLocked(const ClockReading& now) {
    return g_state.settings.timeUnit == TimeUnit::kDays ? DaysSwitchDueLocked(now)
                                                        : ElapsedSwitchDueLocked(now);
}
