// Ground for the engine's tests: a clock the test sets by hand, and helpers that put
// the rotation lists and the pending request in place without a running worker.
#ifndef VARNEL_TEST_ENGINE_FIXTURE_H
#define VARNEL_TEST_ENGINE_FIXTURE_H

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "core/clock.h"
#include "support/plugin_fixture.h"
#include "support/time_util.h"


constexpr int64_t kSecondNs = 1000000000LL;

class EngineTest : public PluginTest {
protected:
    void SetUp() override;

    // File skins made in the Skins folder; their identifiers.
    std::vector<std::wstring> MakeSkins(const std::vector<std::wstring>& names);
    void SetAllSkins(const std::vector<std::wstring>& identifiers);
    void SetSelectedSkins(const std::vector<std::wstring>& identifiers);
    void SetTarget(const std::wstring& identifier);
    std::wstring Target();
    void SetThemeSkins(const std::wstring& light, const std::wstring& dark);
    // Steps the worker `count` ticks on this thread.
    void Tick(int count = 1);
    // Ticks until ApplySkin has been called `calls` more times, at most `limit` ticks;
    // returns the ticks taken, or -1.
    int TicksUntilApply(int calls, int limit);
};

#endif
