#include "engine_fixture.h"

#include <cstdio>

#include "engine/worker.h"

void EngineTest::SetUp() {
    PluginTest::SetUp();
    testclock::Install();
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
