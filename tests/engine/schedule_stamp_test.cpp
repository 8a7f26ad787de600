// Restarting the schedule, and the clock it runs on.
#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <thread>
#include <vector>

#include "core/clock.h"
#include "engine/schedule.h"
#include "engine_fixture.h"

namespace {

class StampScheduleTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        testclock::SetLocal(LocalTime(2026, 3, 10, 21, 15, 42, 250));
        testclock::SetMonotonicNs(123'456'789'000);
        g_state.settings.interval = 1;
    }
    void SetLastChanged(const SYSTEMTIME& t) {
        ScopedLock guard(g_state.lock);
        g_state.settings.lastChanged = t;
    }
    SYSTEMTIME LastChanged() {
        ScopedLock guard(g_state.lock);
        return g_state.settings.lastChanged;
    }
    // The due moment, or "invalid".
    std::string Next() {
        ScopedLock guard(g_state.lock);
        return g_state.nextChangeValid ? Describe(g_state.nextChangeTime) : "invalid";
    }
};

TEST_F(StampScheduleTest, DaysModeCountsCalendarDaysFromTheLastChange) {
    struct Case {
        const char* name;
        SYSTEMTIME last;
        ScheduleStart start;
        int32_t interval;
        uint16_t hour, minute;
        const char* next;
    };
    const SYSTEMTIME stored = LocalTime(2028, 2, 28, 5, 0);
    const Case cases[] = {
        {"confirmed switch takes now", stored, ScheduleStart::kNow, 1, 6, 0, "2026-03-11 06:00:42.250"},
        {"stored date is kept", stored, ScheduleStart::kLastChange, 1, 6, 0, "2028-02-29 06:00:00.000"},
        {"leap year carries into March", stored, ScheduleStart::kLastChange, 2, 23, 59, "2028-03-01 23:59:00.000"},
        {"year end", LocalTime(2026, 12, 31, 22, 0), ScheduleStart::kLastChange, 1, 0, 0, "2027-01-01 00:00:00.000"},
        {"no year stored", LocalTime(0, 3, 1, 0, 0), ScheduleStart::kLastChange, 7, 9, 30, "2026-03-17 09:30:42.250"},
        {"no day stored", LocalTime(2020, 3, 0, 0, 0), ScheduleStart::kLastChange, 1, 0, 0, "2026-03-11 00:00:42.250"},
        {"large interval", stored, ScheduleStart::kLastChange, 3'650'000, 0, 0, "12021-07-09 00:00:00.000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetLastChanged(c.last);
        g_state.settings.interval = c.interval;
        g_state.settings.changeHour = c.hour;
        g_state.settings.changeMinute = c.minute;
        StampSchedule(c.start);
        EXPECT_EQ(Next(), c.next);
    }
}

TEST_F(StampScheduleTest, MinutesAndHoursRestartFromTheMonotonicClock) {
    for (int32_t unit : {0, 1, 3, 99}) {
        SCOPED_TRACE(unit);
        g_state.settings.timeUnit = static_cast<TimeUnit>(unit);
        SetLastChanged(LocalTime(2020, 1, 2, 3, 4));
        testclock::SetMonotonicNs(testclock::MonotonicNs() + 1'000'000'007);
        StampSchedule(ScheduleStart::kNow);
        ScopedLock guard(g_state.lock);
        EXPECT_EQ(g_state.lastSwitchStamp, testclock::MonotonicNs());
        EXPECT_EQ(Describe(g_state.settings.lastChanged), "2020-01-02 03:04:00.000");
        EXPECT_FALSE(g_state.nextChangeValid);
    }
}

TEST_F(StampScheduleTest, ThemeSyncModeHasNoSchedule) {
    g_state.settings.changeMode = ChangeMode::kThemeSync;
    SetLastChanged(LocalTime(0, 0, 0, 0, 0));
    for (int32_t unit : {0, 2}) {
        g_state.settings.timeUnit = static_cast<TimeUnit>(unit);
        StampSchedule(ScheduleStart::kNow);
    }
    ScopedLock guard(g_state.lock);
    EXPECT_EQ(g_state.lastSwitchStamp, 0);
    EXPECT_EQ(g_state.settings.lastChanged.wYear, 0);
    EXPECT_FALSE(g_state.nextChangeValid);
}

}  // namespace
