// Shared ground for the plug-in's tests: a fresh development host and plug-in
// state for every test, and helpers to drive the plug-in through its export.
#ifndef VARNEL_TEST_PLUGIN_FIXTURE_H
#define VARNEL_TEST_PLUGIN_FIXTURE_H

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <ostream>
#include <string>

#include "core/fault_hooks.h"
#include "core/state.h"
#include "devhost/core/devhost.h"
#include "plugin/plugin_api.h"

// Modes and units print as the numbers they are stored as.
inline void PrintTo(ChangeMode value, std::ostream* out) { *out << static_cast<int32_t>(value); }
inline void PrintTo(RotationList value, std::ostream* out) { *out << static_cast<int32_t>(value); }
inline void PrintTo(TimeUnit value, std::ostream* out) { *out << static_cast<int32_t>(value); }

// Whether an enumeration holds its turn right now.
inline bool EnumerationRunning() {
    ScopedLock guard(g_state.lock);
    return g_state.enumerating.held;
}

// Arms or disarms `fault` for the plug-in's code of this program (core/fault_hooks.h);
// every test starts with none armed.
void ArmFault(Fault fault, bool armed);

// The test program's own module, which carries the plug-in's resources.
HMODULE TestModule();

// A new empty folder under the temp directory, removed again by RemoveTree.
std::wstring MakeTempFolder(const wchar_t* tag);
using devhost::RemoveTree;

class PluginTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Hands the plug-in the host table without running initialisation, for tests
    // of single operations.
    void AttachHost(int32_t pluginId = 1);
    // Event 2 and event 3 through the export, as the launcher sends them.
    int32_t Initialize(int32_t pluginId = 1);
    int32_t Shutdown();
    int32_t Send(uint32_t event, uint64_t param1 = 0, uint64_t param2 = 0);

    std::wstring skins_;  // the host's Skins folder, empty at the start of each test
};

#endif
