// The plug-in's threads against the host's lifetime: the real DLL is loaded, shut
// down and unloaded while its threads are still inside a host call.
#include <cstdlib>
#include <cstring>

#include "engine_fixture.h"

namespace {

// A host call the test holds until it lets go.
class Gate {
public:
    Gate() : entered_(CreateEventW(nullptr, TRUE, FALSE, nullptr)), release_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~Gate() {
        SetEvent(release_);
        CloseHandle(entered_);
        CloseHandle(release_);
    }
    void Hold() {
        SetEvent(entered_);
        WaitForSingleObject(release_, 20000);
    }
    bool WaitEntered(DWORD ms) { return WaitForSingleObject(entered_, ms) == WAIT_OBJECT_0; }
    void Release() { SetEvent(release_); }

private:
    HANDLE entered_;
    HANDLE release_;
};

class LifetimeTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        const char* dll = std::getenv("VARNEL_DLL");
        if (dll == nullptr) {
            GTEST_SKIP() << "VARNEL_DLL is not set";
        }
        path = std::wstring(dll, dll + std::strlen(dll));
        if (!path.empty() && path[0] == L'/') {
            path = L"Z:" + path;  // a Unix path, through Wine's root drive
        }
        for (wchar_t& c : path) {
            if (c == L'/') c = L'\\';
        }
        ASSERT_TRUE(devhost::LoadPlugin(path, &plugin)) << "cannot load the DLL";
    }

    void TearDown() override {
        gate.Release();
        if (plugin.module != nullptr) {
            plugin.handler(TS_EVENT_SHUTDOWN, 0, 0, 0);
            devhost::UnloadPlugin(&plugin);
        }
        devhost::SetCurrentSkinOverride(nullptr);
        devhost::SetDisplayNameRule(nullptr);
        EngineTest::TearDown();
    }

    bool DllLoaded() const { return GetModuleHandleW(path.c_str()) != nullptr; }

    Gate gate;  // outlives the plug-in's threads that may hold it
    std::wstring path;
    devhost::Plugin plugin{};
};

TEST_F(LifetimeTest, WorkerInsideAHostCallKeepsTheDllLoadedPastItsUnload) {
    MakeSkins({L"One", L"Two"});
    devhost::SetCurrentSkin(L"One.tskin");
    devhost::SetApplyMode(devhost::ApplyMode::Never);
    ASSERT_EQ(plugin.handler(TS_EVENT_INITIALIZE, 1, reinterpret_cast<uint64_t>(devhost::Table()), 0), 1);
    devhost::SetItemParam(9, 0, 1);
    devhost::SetItemParam(9, 0, std::wstring(L"Two.tskin"));
    devhost::SetCurrentSkinOverride([this](const std::wstring& real) {
        gate.Hold();
        return real;
    });
    ASSERT_EQ(plugin.handler(TS_EVENT_RUN_ITEM, 9, 0, 0), 1);
    ASSERT_TRUE(gate.WaitEntered(5000)) << "the worker never asked for the current skin";

    EXPECT_EQ(plugin.handler(TS_EVENT_SHUTDOWN, 0, 0, 0), 1);
    devhost::UnloadPlugin(&plugin);
    plugin.module = nullptr;
    EXPECT_TRUE(DllLoaded()) << "unloaded under a worker that is still in a host call";

    gate.Release();
    EXPECT_TRUE(devhost::PumpUntil([this] { return !DllLoaded(); }, 10000))
        << "the worker kept the DLL loaded after it ended";
}

TEST_F(LifetimeTest, EnumerationRunningAtShutDownMakesNoFurtherHostCall) {
    MakeSkins({L"A", L"B", L"C", L"D", L"E", L"F"});
    devhost::SetDisplayNameRule([this](const std::wstring& id) {
        gate.Hold();
        return devhost::DefaultDisplayName(id);
    });
    ASSERT_EQ(plugin.handler(TS_EVENT_INITIALIZE, 1, reinterpret_cast<uint64_t>(devhost::Table()), 0), 1);
    ASSERT_TRUE(gate.WaitEntered(5000)) << "the enumeration never asked for a display name";

    EXPECT_EQ(plugin.handler(TS_EVENT_SHUTDOWN, 0, 0, 0), 1);
    devhost::UnloadPlugin(&plugin);
    plugin.module = nullptr;
    EXPECT_TRUE(DllLoaded()) << "unloaded under the enumeration thread";

    gate.Release();
    EXPECT_TRUE(devhost::PumpUntil([this] { return !DllLoaded(); }, 10000));
    EXPECT_EQ(devhost::CallCount(TS_SLOT_GET_SKIN_DISPLAY_NAME), 1u) << "display names asked after the shut-down";
}

TEST_F(LifetimeTest, IdleShutDownEndsTheWorkerAndReleasesTheDll) {
    MakeSkins({L"One"});
    ASSERT_EQ(plugin.handler(TS_EVENT_INITIALIZE, 1, reinterpret_cast<uint64_t>(devhost::Table()), 0), 1);
    EXPECT_EQ(plugin.handler(TS_EVENT_SHUTDOWN, 0, 0, 0), 1);
    EXPECT_EQ(plugin.handler(TS_EVENT_SHUTDOWN, 0, 0, 0), 1) << "a second shut-down";
    devhost::UnloadPlugin(&plugin);
    plugin.module = nullptr;
    EXPECT_TRUE(devhost::PumpUntil([this] { return !DllLoaded(); }, 10000))
        << "a thread of the plug-in outlived the shut-down";
}

}  // namespace
