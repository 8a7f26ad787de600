// Restarting the periodic schedule.
//
// 1. Days: nextChangeTime is lastChanged plus `interval` calendar days, at
//    changeHour:changeMinute, computed on local time with no time-zone conversion.
// 2. nextChangeValid tells whether nextChangeTime holds a real moment. It is false
//    whenever the arithmetic cannot be done soundly: a stored date that is no date,
//    an interval that leaves the FILETIME range, or an hour or minute out of range.
//    The worker then has nothing to compare with and never treats garbage as due.
// 3. Minutes and hours: lastSwitchStamp restarts from the monotonic clock.
#include <cstdint>
#include <limits>

#include "core/clock.h"
#include "engine/rotation.h"
#include "engine/schedule.h"
#include "core/state.h"

namespace {

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

}  // namespace

void StampSchedule(ScheduleStart start) {
    if (g_state.changeMode.load() == ChangeMode::kThemeSync) {
        return;
    }
    if (g_state.timeUnit.load() != TimeUnit::kDays) {
        const int64_t now = MonotonicNowNs();
        ScopedLock guard(g_state.lock);
        g_state.lastSwitchStamp = now;
        return;
    }

    SYSTEMTIME now{};
    LocalTimeNow(&now);
    const int32_t interval = g_state.interval.load();
    const uint16_t hour = g_state.changeHour.load();
    const uint16_t minute = g_state.changeMinute.load();

    ScopedLock guard(g_state.lock);
    SYSTEMTIME& last = g_state.lastChanged;
    if (start == ScheduleStart::kNow || last.wYear == 0 || last.wMonth == 0 || last.wDay == 0) {
        last = now;
    }
    SYSTEMTIME next = last;
    bool valid = AddDays(last, interval, &next);
    if (valid) {
        next.wHour = hour;
        next.wMinute = minute;
        FILETIME check;
        valid = SystemTimeToFileTime(&next, &check) != 0;
    } else {
        next = last;
    }
    g_state.nextChangeTime = next;
    g_state.nextChangeValid = valid;
}

void ResumeAfterLoad() {
    StampSchedule(ScheduleStart::kLastChange);
    // Exactly the selected list: any other stored number leaves the index as stored until
    // the rotation next needs it.
    if (g_state.targetSkins.load() == RotationList::kSelectedSkins) {
        SyncRotationIndex();
    }
}
