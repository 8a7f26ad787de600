#include "engine_fixture.h"

#include <cstdio>

#include "engine/worker.h"

namespace testclock {
namespace {

std::atomic<int64_t> g_monotonic{0};
std::atomic<uint64_t> g_localUnits{0};
std::atomic<int> g_monotonicReads{0};
std::atomic<int> g_localReads{0};

int64_t ReadMonotonic() {
    ++g_monotonicReads;
    return g_monotonic.load();
}

void ReadLocal(SYSTEMTIME* now) {
    ++g_localReads;
    const uint64_t units = g_localUnits.load();
    FILETIME file;
    file.dwLowDateTime = static_cast<DWORD>(units & 0xFFFFFFFFu);
    file.dwHighDateTime = static_cast<DWORD>(units >> 32);
    FileTimeToSystemTime(&file, now);
}

}  // namespace

void Install() {
    g_monotonic = 5000 * kSecondNs;
    SetLocal(LocalTime(2026, 3, 10, 12, 0));
    g_monotonicReads = 0;
    g_localReads = 0;
    g_clock = ClockSource{&ReadMonotonic, &ReadLocal};
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

}  // namespace testclock

void EngineTest::SetUp() {
    PluginTest::SetUp();
    testclock::Install();
}

void EngineTest::TearDown() {
    PluginTest::TearDown();  // stops any worker before the clock goes back
    g_clock = kSystemClock;
}

std::vector<std::wstring> EngineTest::MakeSkins(const std::vector<std::wstring>& names) {
    std::vector<std::wstring> identifiers;
    for (const std::wstring& name : names) {
        identifiers.push_back(devhost::MakeFileSkin(skins_, name));
    }
    return identifiers;
}

namespace {

SkinList Entries(const std::vector<std::wstring>& identifiers) {
    SkinList list;
    for (const std::wstring& id : identifiers) {
        list.push_back(SkinEntry{id, devhost::DefaultDisplayName(id)});
    }
    return list;
}

}  // namespace

void EngineTest::SetAllSkins(const std::vector<std::wstring>& identifiers) {
    SkinList list = Entries(identifiers);
    ScopedLock guard(g_state.lock);
    g_state.allSkins.swap(list);
}

void EngineTest::SetSelectedSkins(const std::vector<std::wstring>& identifiers) {
    SkinList list = Entries(identifiers);
    ScopedLock guard(g_state.lock);
    g_state.settings.selectedSkins.swap(list);
}

void EngineTest::SetTarget(const std::wstring& identifier) {
    ScopedLock guard(g_state.lock);
    g_state.targetSkin = identifier;
}

std::wstring EngineTest::Target() {
    ScopedLock guard(g_state.lock);
    return g_state.targetSkin;
}

void EngineTest::SetThemeSkins(const std::wstring& light, const std::wstring& dark) {
    ScopedLock guard(g_state.lock);
    g_state.settings.lightThemeSkin = light;
    g_state.settings.darkThemeSkin = dark;
}

void EngineTest::Tick(int count) {
    for (int i = 0; i < count; ++i) {
        WorkerTick();
    }
}

int EngineTest::TicksUntilApply(int calls, int limit) {
    const int goal = devhost::ApplySkinCount() + calls;
    for (int ticks = 1; ticks <= limit; ++ticks) {
        WorkerTick();
        if (devhost::ApplySkinCount() >= goal) {
            return ticks;
        }
    }
    return -1;
}
