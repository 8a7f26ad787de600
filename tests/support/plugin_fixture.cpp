#include "support/plugin_fixture.h"

#include <atomic>

#include "support/time_util.h"

namespace {

std::atomic<bool> g_threadStartFails{false};

}  // namespace

bool FaultArmed(Fault fault) { return fault == Fault::kThreadStart && g_threadStartFails.load(); }

void ArmFault(Fault fault, bool armed) {
    if (fault == Fault::kThreadStart) g_threadStartFails = armed;
}

HMODULE TestModule() { return GetModuleHandleW(nullptr); }

std::wstring MakeTempFolder(const wchar_t* tag) {
    static std::atomic<unsigned> counter{0};
    wchar_t base[MAX_PATH];
    DWORD n = GetTempPathW(MAX_PATH, base);
    EXPECT_GT(n, 0u);
    std::wstring path = std::wstring(base) + L"varnel-" + tag + L"-" +
                        std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
    RemoveTree(path);
    EXPECT_TRUE(CreateDirectoryW(path.c_str(), nullptr)) << "GetLastError " << GetLastError();
    return path;
}

void PluginTest::SetUp() {
    ArmFault(Fault::kThreadStart, false);
    devhost::Reset();
    ResetPluginState();
    g_state.moduleHandle = TestModule();
    skins_ = MakeTempFolder(L"skins");
    devhost::SetSkinsFolder(skins_);
}

void PluginTest::TearDown() {
    Shutdown();
    testclock::Uninstall();  // after the worker has stopped
    RemoveTree(skins_);
}

void PluginTest::AttachHost(int32_t pluginId) {
    g_state.hostTable = devhost::Table();
    g_state.hostAccepted = 1;
    g_state.pluginId = pluginId;
}

int32_t PluginTest::Initialize(int32_t pluginId) {
    return Send(TS_EVENT_INITIALIZE, static_cast<uint32_t>(pluginId),
                reinterpret_cast<uint64_t>(devhost::Table()));
}

int32_t PluginTest::Shutdown() { return Send(TS_EVENT_SHUTDOWN); }

int32_t PluginTest::Send(uint32_t event, uint64_t param1, uint64_t param2) {
    return TsPluginEventHandler(event, param1, param2, 0);
}
