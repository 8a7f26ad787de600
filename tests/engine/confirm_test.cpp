// Confirmation of requested switches and the repeats of unconfirmed ones.
#include <cwctype>

#include "engine/rotation.h"
#include "engine_fixture.h"

namespace {

class ConfirmTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        AttachHost();
        skins = MakeSkins({L"Night", L"Day"});
        SetAllSkins(skins);
        SetTarget(skins[0]);
        devhost::SetCurrentSkin(skins[0]);
        g_state.settings.changeMode = ChangeMode::kPeriodic;
        g_state.settings.timeUnit = TimeUnit::kMinutes;
        g_state.settings.interval = 1;
    }

    // Ticks on which ApplySkin was called again, counted from 1, over `ticks` ticks.
    std::vector<int> RepeatTicks(int ticks) {
        std::vector<int> repeats;
        for (int tick = 1; tick <= ticks; ++tick) {
            const int before = devhost::ApplySkinCount();
            Tick();
            if (devhost::ApplySkinCount() != before) {
                repeats.push_back(tick);
            }
        }
        return repeats;
    }

    std::vector<std::wstring> skins;
};

TEST_F(ConfirmTest, HostShowingTheSkinConfirmsAtTheNextTickAndSaves) {
    RequestSkin(skins[1]);
    ASSERT_EQ(g_state.switchPending.load(), 1);
    devhost::ClearLog();
    const int64_t now = testclock::MonotonicNs() + 7 * kSecondNs;
    testclock::SetMonotonicNs(now);
    Tick();
    EXPECT_EQ(g_state.switchPending.load(), 0);
    EXPECT_EQ(devhost::CommitCount(), 1);
    EXPECT_EQ(devhost::CallCount(TS_SLOT_APPLY_SKIN), 0u) << "a confirmed switch is not repeated";
    ScopedLock guard(g_state.lock);
    EXPECT_EQ(g_state.lastSwitchStamp, now) << "schedule not restarted at the confirmation";
}

TEST_F(ConfirmTest, UnconfirmedRequestRepeatsAtTheFirstTickThenEvery31Ticks) {
    devhost::SetApplyMode(devhost::ApplyMode::Never);
    RequestSkin(skins[1]);
    devhost::ClearLog();
    const std::vector<int> repeats = RepeatTicks(100);
    EXPECT_EQ(repeats, (std::vector<int>{1, 32, 63, 94}));
    for (const std::wstring& applied : devhost::AppliedSkins()) {
        EXPECT_EQ(applied, skins[1]);
    }
    // Nothing but the confirmation's two calls while the host holds out: no save, no
    // schedule, however long it lasts.
    for (const devhost::LogEntry& entry : devhost::Log()) {
        EXPECT_TRUE(entry.slot == TS_SLOT_GET_CURRENT_SKIN || entry.slot == TS_SLOT_APPLY_SKIN) << "unexpected call " << entry.slot;
    }
    EXPECT_EQ(devhost::CommitCount(), 0);
    EXPECT_EQ(g_state.switchPending.load(), 1);
}

TEST_F(ConfirmTest, CountdownLeftOverDelaysTheFirstRepeatOfTheNextSwitch) {
    devhost::SetApplyMode(devhost::ApplyMode::Never);
    RequestSkin(skins[1]);
    Tick(10);  // repeated at tick 1, nine ticks counted down since
    ASSERT_EQ(g_state.retryCountdown.load(), 21);
    devhost::SetCurrentSkin(skins[1]);
    Tick();
    ASSERT_EQ(g_state.switchPending.load(), 0);
    EXPECT_EQ(g_state.retryCountdown.load(), 21) << "a confirmation does not reset the countdown";
    RequestSkin(skins[0]);
    EXPECT_EQ(RepeatTicks(60), (std::vector<int>{22, 53}));
}

TEST_F(ConfirmTest, NewRequestWhilePendingIsWhatGetsConfirmed) {
    devhost::SetApplyMode(devhost::ApplyMode::Never);
    RequestSkin(skins[1]);
    Tick(3);
    RequestSkin(skins[0]);  // the host still shows skins[0]
    Tick();
    EXPECT_EQ(g_state.switchPending.load(), 0);
    EXPECT_EQ(devhost::CommitCount(), 1);
}

TEST_F(ConfirmTest, ComparisonIsExactToTheCodeUnit) {
    struct Case {
        const char* name;
        std::function<std::wstring(const std::wstring&)> shown;
    };
    const Case cases[] = {
        {"letter case differs",
         [](const std::wstring& real) {
             std::wstring upper = real;
             for (wchar_t& c : upper) c = static_cast<wchar_t>(std::towupper(c));
             return upper;
         }},
        {"trailing space", [](const std::wstring& real) { return real + L" "; }},
        {"empty", [](const std::wstring&) { return std::wstring(); }},
        {"prefix only", [](const std::wstring& real) { return real.substr(0, 3); }},
        {"very long", [](const std::wstring& real) { return real + std::wstring(70000, L'x'); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int commits = devhost::CommitCount();
        devhost::SetCurrentSkinOverride(c.shown);
        RequestSkin(skins[1]);
        Tick(40);
        EXPECT_EQ(g_state.switchPending.load(), 1) << "confirmed against another identifier";
        EXPECT_EQ(devhost::CommitCount(), commits);
        devhost::SetCurrentSkinOverride(nullptr);
        Tick();
        EXPECT_EQ(g_state.switchPending.load(), 0) << "not confirmed once the host shows it";
        EXPECT_EQ(devhost::CommitCount(), commits + 1);
    }
}

const HostServiceTable* TableWithNullCurrentSkin() {
    static HostServiceTable table = [] {
        HostServiceTable copy = *devhost::Table();
        copy.GetCurrentSkin = []() -> const wchar_t* { return nullptr; };
        return copy;
    }();
    return &table;
}

TEST_F(ConfirmTest, NullCurrentSkinCountsAsEmpty) {
    g_state.hostTable = TableWithNullCurrentSkin();
    RequestSkin(skins[1]);
    Tick(40);
    EXPECT_EQ(g_state.switchPending.load(), 1);
    EXPECT_EQ(devhost::ApplySkinCount(), 3) << "request and two repeats";
    RequestSkin(L"");
    Tick();
    EXPECT_EQ(g_state.switchPending.load(), 0) << "two empty identifiers are equal";
}

TEST_F(ConfirmTest, LateHostIsConfirmedByTheRunningWorker) {
    devhost::SetApplyMode(devhost::ApplyMode::Delayed, 450);
    devhost::SetItemParam(3, 0, 1);
    devhost::SetItemParam(3, 0, skins[1]);
    ASSERT_EQ(Initialize(), 1);
    Send(TS_EVENT_RUN_ITEM, 3, 0);
    ASSERT_EQ(g_state.switchPending.load(), 1);
    ASSERT_TRUE(devhost::PumpUntil([] { return devhost::CommitCount() >= 1; }, 10000))
        << "not confirmed; ApplySkin calls " << devhost::ApplySkinCount();
    EXPECT_EQ(g_state.switchPending.load(), 0);
    EXPECT_EQ(devhost::CurrentSkin(), skins[1]);
    EXPECT_EQ(Target(), skins[1]);
    EXPECT_GE(devhost::ApplySkinCount(), 2) << "the first tick repeats an unconfirmed request";
}

}  // namespace
