// The worker's periodic schedule, stepped one tick at a time on the test thread.
#include <climits>

#include "config/settings.h"
#include "engine/rotation.h"
#include "engine/schedule.h"
#include "engine_fixture.h"

namespace {

class ScheduleTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        AttachHost();
        skins = MakeSkins({L"Amber", L"Basalt", L"Cobalt"});
        SetAllSkins(skins);
        SetTarget(skins[0]);
        devhost::SetCurrentSkin(skins[0]);
        g_state.settings.changeMode = ChangeMode::kPeriodic;
    }

    void Periodic(int32_t unit, int32_t interval, uint16_t hour = 0, uint16_t minute = 0) {
        g_state.settings.timeUnit = static_cast<TimeUnit>(unit);
        g_state.settings.interval = interval;
        g_state.settings.changeHour = hour;
        g_state.settings.changeMinute = minute;
    }

    // A switch to the skin showing, confirmed at the next tick: the schedule restarts now.
    void ConfirmSwitchNow() {
        RequestSkin(Target());
        Tick();
        ASSERT_EQ(g_state.switchPending.load(), 0) << "the switch was not confirmed";
    }

    std::vector<std::wstring> skins;
};

struct ElapsedCase {
    const char* name;
    int32_t unit;
    int32_t interval;
    int64_t dueSeconds;
};

TEST_F(ScheduleTest, MinutesAndHoursFallDueAtTheFirstTickOfTheWholeInterval) {
    const ElapsedCase cases[] = {
        {"minutes, 5", 0, 5, 300},
        {"hours, 2", 1, 2, 7200},
        {"unit 3 counts as hours", 3, 1, 3600},
        {"negative unit counts as hours", -4, 1, 3600},
    };
    for (const ElapsedCase& c : cases) {
        SCOPED_TRACE(c.name);
        Periodic(c.unit, c.interval);
        const int64_t start = testclock::MonotonicNs();
        ConfirmSwitchNow();
        const int applied = devhost::ApplySkinCount();

        testclock::SetMonotonicNs(start + c.dueSeconds * kSecondNs - kSecondNs / 10);
        Tick(3);
        EXPECT_EQ(devhost::ApplySkinCount(), applied) << "due 0.1 s early";
        EXPECT_EQ(g_state.switchPending.load(), 0);

        testclock::SetMonotonicNs(start + c.dueSeconds * kSecondNs);
        Tick();
        EXPECT_EQ(devhost::ApplySkinCount(), applied + 1) << "not due at the whole interval";
        EXPECT_EQ(g_state.switchPending.load(), 1);
        Tick();  // confirmed: the schedule restarts from here
        EXPECT_EQ(g_state.switchPending.load(), 0);
        testclock::SetMonotonicNs(testclock::MonotonicNs() + 10 * kSecondNs);
    }
}

TEST_F(ScheduleTest, ConfirmedSwitchRestartsTheMinutesScheduleFromTheConfirmation) {
    Periodic(0, 5);
    ConfirmSwitchNow();
    const int64_t requestedAt = testclock::MonotonicNs() + 300 * kSecondNs;
    testclock::SetMonotonicNs(requestedAt);
    Tick();
    ASSERT_EQ(devhost::AppliedSkins().back(), skins[1]);
    // The host shows the skin only 40 s later.
    devhost::SetCurrentSkin(skins[1]);
    const int64_t confirmedAt = requestedAt + 40 * kSecondNs;
    testclock::SetMonotonicNs(confirmedAt);
    Tick();
    ASSERT_EQ(g_state.switchPending.load(), 0);
    {
        ScopedLock guard(g_state.lock);
        EXPECT_EQ(g_state.lastSwitchStamp, confirmedAt);
    }
    const int applied = devhost::ApplySkinCount();
    testclock::SetMonotonicNs(requestedAt + 300 * kSecondNs);  // 300 s after the request
    Tick();
    EXPECT_EQ(devhost::ApplySkinCount(), applied) << "the schedule ran from the request";
    testclock::SetMonotonicNs(confirmedAt + 300 * kSecondNs);
    Tick();
    EXPECT_EQ(devhost::ApplySkinCount(), applied + 1);
    EXPECT_EQ(devhost::AppliedSkins().back(), skins[2]);
}

struct DaysCase {
    const char* name;
    SYSTEMTIME confirmed;
    uint16_t hour;
    uint16_t minute;
    SYSTEMTIME justBefore;
    SYSTEMTIME due;
};

TEST_F(ScheduleTest, DaysModeFallsOnTheNextDaysTimeWithTheSecondsOfTheLastSwitch) {
    const DaysCase cases[] = {
        {"evening switch", LocalTime(2026, 3, 10, 21, 15, 42, 250), 6, 0,
         LocalTime(2026, 3, 11, 6, 0, 42, 249), LocalTime(2026, 3, 11, 6, 0, 42, 250)},
        {"switch before the time of day: still the next day", LocalTime(2026, 3, 10, 5, 0), 6, 0,
         LocalTime(2026, 3, 11, 5, 59, 59, 999), LocalTime(2026, 3, 11, 6, 0)},
        {"month end", LocalTime(2026, 2, 28, 23, 59, 59, 999), 0, 30,
         LocalTime(2026, 3, 1, 0, 30, 59, 998), LocalTime(2026, 3, 1, 0, 30, 59, 999)},
    };
    for (const DaysCase& c : cases) {
        SCOPED_TRACE(c.name);
        Periodic(2, 1, c.hour, c.minute);
        testclock::SetLocal(c.confirmed);
        ConfirmSwitchNow();
        const int applied = devhost::ApplySkinCount();

        // The same day at the time of day is never the due moment.
        SYSTEMTIME sameDay = c.confirmed;
        sameDay.wHour = c.hour;
        sameDay.wMinute = c.minute;
        testclock::SetLocal(sameDay);
        Tick();
        testclock::SetLocal(c.justBefore);
        Tick();
        EXPECT_EQ(devhost::ApplySkinCount(), applied) << "due before " << Describe(c.due);

        testclock::SetLocal(c.due);
        Tick();
        EXPECT_EQ(devhost::ApplySkinCount(), applied + 1) << "not due at " << Describe(c.due);
        Tick();  // confirm
        ASSERT_EQ(g_state.switchPending.load(), 0);
    }
}

TEST_F(ScheduleTest, ConfirmationSavesTheIndexAndTheDayOfTheSwitch) {
    Periodic(2, 1, 6, 0);
    testclock::SetLocal(LocalTime(2026, 3, 10, 21, 15, 42, 250));
    ConfirmSwitchNow();
    testclock::SetLocal(LocalTime(2026, 3, 11, 6, 30));
    Tick();
    ASSERT_EQ(devhost::AppliedSkins().back(), skins[1]);
    devhost::SetCurrentSkin(skins[1]);
    const int commits = devhost::CommitCount();
    Tick();
    EXPECT_EQ(devhost::CommitCount(), commits + 1);
    EXPECT_EQ(devhost::GetSettingInt(1, L"TimeMode", L"Index"), 1);
    EXPECT_EQ(devhost::GetSettingInt(1, L"LastChanged", L"Day"), 11);
    EXPECT_EQ(devhost::GetSettingInt(1, L"LastChanged", L"Hour"), 6);
    EXPECT_EQ(devhost::GetSettingInt(1, L"LastChanged", L"Minute"), 30);
}

TEST_F(ScheduleTest, WallClockJumpsMoveTheDaysScheduleWithThem) {
    Periodic(2, 1, 6, 0);
    testclock::SetLocal(LocalTime(2026, 3, 10, 8, 0));
    ConfirmSwitchNow();
    const int applied = devhost::ApplySkinCount();
    testclock::SetLocal(LocalTime(2025, 12, 31, 23, 0));  // set back by months
    Tick(5);
    EXPECT_EQ(devhost::ApplySkinCount(), applied);
    testclock::SetLocal(LocalTime(2030, 1, 1, 0, 0));  // set forward by years
    Tick();
    EXPECT_EQ(devhost::ApplySkinCount(), applied + 1);
    Tick();  // confirmed: the next switch is one day after the jump
    ASSERT_EQ(g_state.switchPending.load(), 0);
    Tick(5);
    EXPECT_EQ(devhost::ApplySkinCount(), applied + 1);
    testclock::SetLocal(LocalTime(2030, 1, 2, 6, 0));
    Tick();
    EXPECT_EQ(devhost::ApplySkinCount(), applied + 2);
}

TEST_F(ScheduleTest, DaysScheduleNeverComputedSinceTheLoadIsComputedBeforeTheCompare) {
    // The plug-in started in theme sync mode; periodic mode was chosen later.
    g_state.settings.changeMode = ChangeMode::kThemeSync;
    Periodic(2, 1, 6, 0);
    {
        ScopedLock guard(g_state.lock);
        g_state.settings.lastChanged = LocalTime(2026, 3, 9, 7, 0);
    }
    StampSchedule(ScheduleStart::kLastChange);  // the load, which does nothing in theme sync mode
    {
        ScopedLock guard(g_state.lock);
        ASSERT_FALSE(g_state.nextChangeValid);
    }
    g_state.settings.changeMode = ChangeMode::kPeriodic;
    testclock::SetLocal(LocalTime(2026, 3, 10, 5, 59));
    Tick();
    EXPECT_EQ(devhost::ApplySkinCount(), 0) << "due before 2026-03-10 06:00";
    {
        ScopedLock guard(g_state.lock);
        EXPECT_TRUE(g_state.nextChangeValid);
        EXPECT_EQ(Describe(g_state.nextChangeTime), Describe(LocalTime(2026, 3, 10, 6, 0)));
    }
    testclock::SetLocal(LocalTime(2026, 3, 10, 6, 0));
    Tick();
    EXPECT_EQ(devhost::ApplySkinCount(), 1);
}

TEST_F(ScheduleTest, DaysScheduleWithNoStoredDateStartsFromNowWhenComputedLate) {
    g_state.settings.changeMode = ChangeMode::kThemeSync;
    Periodic(2, 3, 6, 0);
    StampSchedule(ScheduleStart::kLastChange);
    g_state.settings.changeMode = ChangeMode::kPeriodic;
    testclock::SetLocal(LocalTime(2026, 3, 10, 12, 0, 5));
    Tick(10);
    EXPECT_EQ(devhost::ApplySkinCount(), 0);
    {
        ScopedLock guard(g_state.lock);
        EXPECT_EQ(Describe(g_state.nextChangeTime), Describe(LocalTime(2026, 3, 13, 6, 0, 5)));
    }
}

struct UncomputableCase {
    const char* name;
    SYSTEMTIME lastChanged;
    int32_t interval;
    uint16_t hour;
    uint16_t minute;
};

TEST_F(ScheduleTest, DaysScheduleThatCannotBeComputedIsNeverDue) {
    const UncomputableCase cases[] = {
        {"month 13", LocalTime(2026, 13, 1, 6, 0), 1, 6, 0},
        {"30 February", LocalTime(2026, 2, 30, 6, 0), 1, 6, 0},
        {"hour 25 stored", LocalTime(2026, 3, 1, 25, 0), 1, 6, 0},
        {"change hour 24", LocalTime(2026, 3, 1, 6, 0), 1, 24, 0},
        {"change minute 60", LocalTime(2026, 3, 1, 6, 0), 1, 6, 60},
        {"interval beyond every calendar", LocalTime(2026, 3, 1, 6, 0), INT_MAX, 6, 0},
        {"interval just past year 30827", LocalTime(2026, 3, 1, 6, 0), 10'592'000, 6, 0},
        {"negative interval", LocalTime(2026, 3, 1, 6, 0), -1, 6, 0},
        {"year 30827 plus a day", LocalTime(30827, 12, 31, 6, 0), 1, 6, 0},
        {"year before 1601", LocalTime(1500, 3, 1, 6, 0), 1, 6, 0},
        {"change hour 65535", LocalTime(2026, 3, 1, 6, 0), 1, 65535, 65535},
    };
    for (const UncomputableCase& c : cases) {
        SCOPED_TRACE(c.name);
        for (int startMode : {0, 1}) {
            SCOPED_TRACE(startMode == 1 ? "loaded in theme sync mode" : "loaded in periodic mode");
            g_state.settings.changeMode = static_cast<ChangeMode>(startMode);
            Periodic(2, c.interval, c.hour, c.minute);
            {
                ScopedLock guard(g_state.lock);
                g_state.settings.lastChanged = c.lastChanged;
                // Loaded in periodic mode, a due moment left from before must not survive
                // the failed computation; loaded in theme sync mode, none was computed.
                g_state.nextChangeValid = startMode == 0;
                g_state.nextChangeTime = LocalTime(2026, 1, 1, 0, 0);
            }
            StampSchedule(ScheduleStart::kLastChange);
            g_state.settings.changeMode = ChangeMode::kPeriodic;
            for (const SYSTEMTIME& now :
                 {LocalTime(1601, 1, 1, 0, 0), LocalTime(2026, 3, 10, 12, 0), LocalTime(30827, 12, 31, 23, 59)}) {
                testclock::SetLocal(now);
                Tick(3);
            }
            EXPECT_EQ(devhost::ApplySkinCount(), 0);
            EXPECT_EQ(g_state.switchPending.load(), 0);
            ScopedLock guard(g_state.lock);
            EXPECT_EQ(Describe(c.lastChanged), Describe(g_state.settings.lastChanged))
                << "the stored date stays as read for the next save";
        }
    }
}

TEST_F(ScheduleTest, LastChangedLongPastSwitchesAtTheFirstTickAfterInitialisation) {
    devhost::SetSetting(1, nullptr, L"ChangeMode", 0);
    devhost::SetSetting(1, L"TimeMode", L"TimeUnit", 2);
    devhost::SetSetting(1, L"TimeMode", L"Interval", 1);
    devhost::SetSetting(1, L"TimeMode", L"ChangeHour", 6);
    devhost::SetSetting(1, L"LastChanged", L"Year", 2019);
    devhost::SetSetting(1, L"LastChanged", L"Month", 5);
    devhost::SetSetting(1, L"LastChanged", L"Day", 17);
    devhost::SetApplyMode(devhost::ApplyMode::Immediate);
    ResetPluginState();
    g_state.moduleHandle = TestModule();
    testclock::SetLocal(LocalTime(2026, 3, 10, 12, 0));
    ASSERT_EQ(Initialize(), 1);
    // The first ticks may find allSkins still filling; the first one after it is filled
    // makes the request.
    ASSERT_TRUE(devhost::PumpUntil([] { return devhost::CommitCount() >= 1; }, 10000))
        << "no switch confirmed; ApplySkin calls: " << devhost::ApplySkinCount();
    EXPECT_EQ(devhost::ApplySkinCount(), 1);
    EXPECT_EQ(devhost::GetSettingInt(1, L"LastChanged", L"Year"), 2026);
    EXPECT_EQ(devhost::GetSettingInt(1, L"LastChanged", L"Day"), 10);
    // Confirmed: the next switch is due tomorrow, so nothing more comes.
    ScopedLock guard(g_state.lock);
    EXPECT_EQ(Describe(g_state.nextChangeTime), Describe(LocalTime(2026, 3, 11, 6, 0)));
}

TEST_F(ScheduleTest, OutOfRangeSettingsNeitherSwitchAtEveryTickNorOverflow) {
    // The longest interval in minutes is about 4,085 years of the monotonic clock.
    Periodic(0, INT_MAX);
    ConfirmSwitchNow();
    testclock::SetMonotonicNs(INT64_MAX);
    Tick(3);
    EXPECT_EQ(devhost::ApplySkinCount(), 1) << "only the confirmed request";
    // A clock that reads below the last stamp (one replaced by a clock with another
    // origin): negative elapsed time is not due.
    Periodic(0, 1);
    ConfirmSwitchNow();
    testclock::SetMonotonicNs(1000 * kSecondNs);
    Tick(3);
    EXPECT_EQ(devhost::ApplySkinCount(), 2);
}

TEST_F(ScheduleTest, OtherModesOnlyConfirm) {
    Periodic(0, 1);
    for (int32_t mode : {2, -1}) {
        SCOPED_TRACE(mode);
        g_state.settings.changeMode = static_cast<ChangeMode>(mode);
        RequestSkin(skins[1]);
        devhost::SetCurrentSkin(skins[1]);
        Tick();
        EXPECT_EQ(g_state.switchPending.load(), 0) << "pending switch not confirmed";
        const int applied = devhost::ApplySkinCount();
        testclock::SetMonotonicNs(testclock::MonotonicNs() + 3600 * kSecondNs);
        g_state.themeChangePending = 1;
        Tick(5);
        EXPECT_EQ(devhost::ApplySkinCount(), applied);
        g_state.themeChangePending = 0;
    }
}

TEST_F(ScheduleTest, EmptyActiveListKeepsTryingWithoutRequesting) {
    Periodic(0, 1);
    ConfirmSwitchNow();
    SetAllSkins({});
    testclock::SetMonotonicNs(testclock::MonotonicNs() + 61 * kSecondNs);
    Tick(20);
    EXPECT_EQ(devhost::ApplySkinCount(), 1);
    EXPECT_EQ(g_state.switchPending.load(), 0);
    // The folder's skins come back: the still-due schedule requests at once.
    SetAllSkins(skins);
    Tick();
    EXPECT_EQ(devhost::ApplySkinCount(), 2);
}

TEST_F(ScheduleTest, SkinsFolderGoneWhileRunningRequestsTheLastSkinAgain) {
    Periodic(0, 1);
    ConfirmSwitchNow();
    RemoveTree(skins_);
    testclock::SetMonotonicNs(testclock::MonotonicNs() + 60 * kSecondNs);
    Tick();
    ASSERT_EQ(devhost::ApplySkinCount(), 2);
    EXPECT_EQ(devhost::AppliedSkins().back(), skins[0]) << "no listed skin exists any more";
    const int commits = devhost::CommitCount();
    Tick();
    EXPECT_EQ(g_state.switchPending.load(), 0);
    EXPECT_EQ(devhost::CommitCount(), commits + 1);
    EXPECT_EQ(devhost::GetSettingInt(1, L"TimeMode", L"Index"), 0);
}

}  // namespace
