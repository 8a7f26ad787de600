// Varnel in hosts that behave as real launchers do: calls served on the launcher's
// own thread, a fast re-initialisation, many reloads, allocation failures, a DLL deep
// in a folder tree. Shut-down from another thread with the DLL freed at once, and what
// it may leave behind, is the explorer's (devhost/explorer).
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "config/settings.h"
#include "engine/schedule.h"
#include "devhost/core/devhost.h"
#include "engine/worker.h"
#include "core/state.h"
#include "allocation_failure.h"
#include "reliability_support.h"
#include "resource.h"
#include "support/plugin_fixture.h"
#include "support/watchdog.h"
#include "ui/dialogs.h"
#include "varnel_version.h"

namespace {

using devhost::LogEntry;

constexpr wchar_t kClass[] = L"TesseraVarnelPluginClass";

// A top-level window of this thread with class `name`, or null.
HWND OwnWindowOfClass(const wchar_t* name) {
    struct Search {
        const wchar_t* name;
        HWND found;
    } search{name, nullptr};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM param) -> BOOL {
            auto* s = reinterpret_cast<Search*>(param);
            wchar_t found[64] = {};
            GetClassNameW(window, found, 64);
            if (lstrcmpW(found, s->name) == 0) {
                s->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HANDLE DuplicateWorker() {
    HANDLE worker = nullptr;
    DuplicateHandle(GetCurrentProcess(), g_state.workerHandle, GetCurrentProcess(), &worker,
                    SYNCHRONIZE, FALSE, 0);
    return worker;
}

using reliability::Gate;

class RealHostTest : public PluginTest {
protected:
    void TearDown() override {
        DisarmAllocationFailure();
        gate_.Release();
        PluginTest::TearDown();
        devhost::SetCurrentSkinOverride(nullptr);
        devhost::SetDisplayNameRule(nullptr);
    }

    std::vector<std::wstring> MakeSkins(std::initializer_list<const wchar_t*> names) {
        std::vector<std::wstring> ids;
        for (const wchar_t* name : names) ids.push_back(devhost::MakeFileSkin(skins_, name));
        return ids;
    }

    // The item 9 switches to `skin` when run (event 7).
    static void ItemSwitchesTo(const std::wstring& skin) {
        devhost::SetItemParam(9, 0, 1);
        devhost::SetItemParam(9, 0, skin);
    }

    Gate gate_;
};

TEST_F(RealHostTest, MarshallingHostNeverHangsOnASaveOrAShutDown) {
    SetTestWatchdog(20000);  // a deadlock here would otherwise hold the suite
    const auto ids = MakeSkins({L"Aurora", L"Basalt"});
    devhost::SetCurrentSkin(ids[0]);
    devhost::SetMarshalling(true);
    ASSERT_EQ(1, Initialize());
    ItemSwitchesTo(ids[1]);

    // With the settings dialog open, the item runs; the worker confirms the switch and
    // saves, its host calls served here one at a time. Once its save has begun, the
    // worker waits for this thread in the middle of it, holding its turn; then the
    // user presses OK.
    devhost::PushDialogScript([&](HWND dlg) {
        devhost::SetMarshalledStepping(true);
        EXPECT_EQ(1, Send(TS_EVENT_RUN_ITEM, 9));
        while (devhost::CallCount(TS_SLOT_WRITE_SETTING_INT) == 0 && devhost::ServeMarshalledCall(5000)) {
        }
        EXPECT_EQ(1u, devhost::CallCount(TS_SLOT_WRITE_SETTING_INT)) << "the worker's save never began";
        EXPECT_TRUE(devhost::WaitForMarshalledCall(5000)) << "the worker's next call never came";
        devhost::SetMarshalledStepping(false);
        devhost::Click(dlg, IDC_MAIN_THEME_SYNC);
        devhost::PressOk(dlg);
    });
    EXPECT_EQ(1, Send(TS_EVENT_SETTINGS));
    // OK did not wait for the worker's save: that save writes OK's values once more, as
    // this thread serves its calls.
    EXPECT_TRUE(devhost::PumpUntil([] { return devhost::CommitCount() >= 2; }, 5000));
    EXPECT_EQ(2, devhost::CommitCount()) << "the worker's save and OK's values";
    EXPECT_EQ(std::optional<int32_t>(1), devhost::GetSettingInt(1, nullptr, L"ChangeMode"));

    // Shut-down while the worker waits for this thread inside a host call: the wait for
    // the worker serves the call, so the worker ends well within the second it is given.
    devhost::SetApplyMode(devhost::ApplyMode::Never);
    ItemSwitchesTo(ids[0]);
    ASSERT_EQ(1, Send(TS_EVENT_RUN_ITEM, 9));
    ASSERT_TRUE(devhost::WaitForMarshalledCall(5000)) << "the worker never asked for the skin";
    HANDLE worker = DuplicateWorker();
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(1, Shutdown());
    const ULONGLONG took = GetTickCount64() - start;
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(worker, 0)) << "the worker outlived the shut-down";
    EXPECT_LT(took, 900u) << "shut-down waited out its limit";
    CloseHandle(worker);
}

TEST_F(RealHostTest, FastReinitialisationLeavesOneWorkerAndStopsTheOldEnumeration) {
    const auto ids = MakeSkins({L"A", L"B", L"C", L"D", L"E", L"F"});
    devhost::SetCurrentSkin(ids[0]);
    devhost::SetApplyMode(devhost::ApplyMode::Never);
    // The start-up enumeration stops in its first display name; later ones pass.
    std::atomic<bool> holdNames{true};
    devhost::SetDisplayNameRule([&](const std::wstring& id) {
        if (holdNames.exchange(false)) gate_.Hold();
        return devhost::DefaultDisplayName(id);
    });
    ASSERT_EQ(1, Initialize());
    ASSERT_TRUE(gate_.WaitEntered(5000)) << "the enumeration never asked for a name";
    const DWORD oldEnumeration = gate_.Holder();

    // The worker, too, stops inside a host call and outlives the shut-down's wait.
    Gate workerGate;
    std::atomic<bool> holdSkin{true};
    devhost::SetCurrentSkinOverride([&](const std::wstring& real) {
        if (holdSkin.exchange(false)) workerGate.Hold();
        return real;
    });
    ItemSwitchesTo(ids[1]);
    ASSERT_EQ(1, Send(TS_EVENT_RUN_ITEM, 9));
    ASSERT_TRUE(workerGate.WaitEntered(5000)) << "the worker never asked for the skin";
    const DWORD oldWorker = workerGate.Holder();
    HANDLE oldWorkerHandle = DuplicateWorker();

    EXPECT_EQ(1, Shutdown());
    ASSERT_EQ(1, Initialize());
    const size_t mark = devhost::Log().size();
    workerGate.Release();
    gate_.Release();

    // A switch stays pending (the host never shows it), so a worker asks for the skin
    // at every tick: only the new one may.
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(oldWorkerHandle, 3000)) << "the old worker kept running";
    CloseHandle(oldWorkerHandle);
    devhost::PumpUntil([] { return false; }, 600);
    size_t oldAsks = 0;
    std::set<DWORD> asking;
    const std::vector<LogEntry> log = devhost::Log();
    for (size_t i = mark; i < log.size(); ++i) {
        if (log[i].slot != TS_SLOT_GET_CURRENT_SKIN) continue;
        asking.insert(log[i].threadId);
        oldAsks += log[i].threadId == oldWorker;
    }
    // The one the old worker was held in is logged when it returns.
    EXPECT_EQ(1u, oldAsks) << "the old worker went on ticking";
    EXPECT_EQ(2u, asking.size()) << "threads asking for the skin besides the held call";
    size_t oldNames = 0;
    for (const LogEntry& e : devhost::Log()) oldNames += e.slot == TS_SLOT_GET_SKIN_DISPLAY_NAME && e.threadId == oldEnumeration;
    EXPECT_EQ(1u, oldNames) << "the old enumeration went on asking for names";
}

TEST_F(RealHostTest, ReloadsLeaveTlsSlotsHandlesAndMemoryFlat) {
    const std::wstring dll = reliability::PluginDllPath();
    struct Mode {
        const char* name;
        int32_t changeMode;
        int32_t timeUnit;
    };
    const int cycles = 40;
    for (const Mode& mode : {Mode{"minutes", 0, 0}, Mode{"hours", 0, 1}, Mode{"theme", 1, 2}}) {
        SCOPED_TRACE(mode.name);
        devhost::SetSetting(1, nullptr, L"ChangeMode", mode.changeMode);
        devhost::SetSetting(1, L"TimeMode", L"TimeUnit", mode.timeUnit);
        const auto clearLog = [](int) { devhost::ClearLog(); };
        ASSERT_EQ(3, devhost::Reload(dll, 3, 1, clearLog)) << "warm-up";
        const int tlsBefore = devhost::FreeTlsSlots();
        const DWORD handlesBefore = devhost::HandleCount();
        const int64_t bytesBefore = devhost::HeapBytesInUse();
        ASSERT_EQ(cycles, devhost::Reload(dll, cycles, 1, clearLog));
        const int tlsAfter = devhost::FreeTlsSlots();
        const DWORD handlesAfter = devhost::HandleCount();
        const int64_t bytesAfter = devhost::HeapBytesInUse();
        EXPECT_LE(tlsBefore - tlsAfter, 2) << tlsBefore << " free TLS slots before, " << tlsAfter << " after";
        EXPECT_LE(static_cast<long>(handlesAfter) - static_cast<long>(handlesBefore), 2)
            << handlesBefore << " handles before, " << handlesAfter << " after";
        // One runtime pool each time would be about 73 KiB a cycle.
        EXPECT_LT(bytesAfter - bytesBefore, 8 * 1024 * cycles)
            << bytesBefore << " heap bytes in use before, " << bytesAfter << " after";
    }
}

TEST_F(RealHostTest, DescriptionAndAboutReadTheVersionOfADllPastMaxPath) {
    std::wstring folder = skins_;
    while (folder.size() < 300) {
        folder += L"\\" + std::wstring(60, L'd');
        ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + folder).c_str(), nullptr)) << GetLastError();
    }
    const std::wstring copy = L"\\\\?\\" + folder + L"\\Varnel.dll";
    ASSERT_TRUE(CopyFileW(reliability::PluginDllPath().c_str(), copy.c_str(), FALSE)) << GetLastError();
    devhost::Plugin plugin{};
    ASSERT_TRUE(devhost::LoadPlugin(copy, &plugin)) << GetLastError();
    wchar_t line[256] = {};
    EXPECT_EQ(static_cast<int32_t>(TS_REQUIRED_HOST_VERSION),
              plugin.handler(TS_EVENT_DESCRIBE, reinterpret_cast<uint64_t>(line), 256, 0));
    EXPECT_EQ(std::wstring(L"Tessera Varnel Plugin Ver. " VARNEL_VERSION_TEXT), line);
    devhost::UnloadPlugin(&plugin);
    devhost::PumpUntil([] { return false; }, 200);
}

// Runs `action` with the n-th allocation of the plug-in failing, for n = 1, 2, ...
// until one run no longer reaches its n-th allocation; `check` follows every run.
void SweepAllocationFailures(const std::function<void()>& prepare, const std::function<void()>& action,
                             const std::function<void()>& check) {
    for (long n = 1; n < 2000; ++n) {
        SCOPED_TRACE(testing::Message() << "allocation " << n << " fails");
        prepare();
        ArmAllocationFailure(n);
        EXPECT_NO_THROW(action());
        const bool reached = DisarmAllocationFailure();
        EXPECT_TRUE(g_state.lock.TryLock()) << "the state lock was left held";
        g_state.lock.Unlock();
        check();
        if (!reached || testing::Test::HasFailure()) {
            return;
        }
    }
    ADD_FAILURE() << "the sweep never ended";
}

TEST_F(RealHostTest, AllocationFailuresStayInsideThePlugin) {
    const auto ids = MakeSkins({L"Aurora", L"Basalt", L"Cobalt"});
    const auto fresh = [&] {
        Shutdown();
        devhost::Reset();
        ResetPluginState();
        g_state.moduleHandle = TestModule();
        devhost::SetSkinsFolder(skins_);
        devhost::SetCurrentSkin(ids[0]);
        devhost::SetDialogWatchdog(5000);
        // Theme sync, so that event 2 still allocates after its window exists.
        devhost::SetSetting(1, nullptr, L"ChangeMode", 1);
        devhost::SetSetting(1, L"ThemeSync", L"LightTheme", ids[1]);
        devhost::SetSetting(1, L"ThemeSync", L"DarkTheme", ids[2]);
        devhost::SetSetting(1, L"TimeMode", L"TargetSkins", 1);
        devhost::SetSetting(1, L"TimeMode", L"TimeUnit", 0);
        devhost::SetSetting(1, L"SelectedSkins", L"Count", 2);
        devhost::SetSetting(1, L"SelectedSkins", L"Skin001", ids[1]);
        devhost::SetSetting(1, L"SelectedSkins", L"Skin002", ids[2]);
    };
    // After every run: a switch was wholly requested or not at all, saves still work,
    // no dialog stayed open, and a shut-down leaves no window behind.
    std::wstring targetBefore;
    const auto settled = [&] {
        if (g_state.switchPending.load() != 0) {
            ScopedLock guard(g_state.lock);
            const std::vector<std::wstring> applied = devhost::AppliedSkins();
            EXPECT_TRUE(!applied.empty() && applied.back() == g_state.targetSkin)
                << "pending without the request reaching the host";
        }
        const int commits = devhost::CommitCount();
        if (devhost::Table() == g_state.hostTable.load() && g_state.hostAccepted.load() != 0) {
            SaveSettings();
            EXPECT_EQ(commits + 1, devhost::CommitCount()) << "a save after the failure";
        }
        EXPECT_EQ(0, devhost::DialogWatchdogFired()) << "a dialog stayed open";
        HWND window = g_state.hiddenWindow.load();
        Shutdown();
        EXPECT_FALSE(window != nullptr && IsWindow(window)) << "the hidden window outlived event 3";
    };

    // Event 1 answers the version whatever happens: the launcher checks it.
    SweepAllocationFailures(
        fresh,
        [] {
            wchar_t line[256] = {};
            EXPECT_EQ(static_cast<int32_t>(TS_REQUIRED_HOST_VERSION),
                      TsPluginEventHandler(TS_EVENT_DESCRIBE, reinterpret_cast<uint64_t>(line), 256, 0));
        },
        [] {});
    int32_t started = 0;
    SweepAllocationFailures(
        fresh, [&] { started = Initialize(); },
        [&] {
            // A host may free the DLL after a failed start: nothing of it may stay.
            if (started == 0) {
                EXPECT_EQ(nullptr, OwnWindowOfClass(kClass)) << "a failed start left its window";
            }
            settled();
        });
    SweepAllocationFailures(
        [&] {
            fresh();
            AttachHost();
            LoadSettings();
            ItemSwitchesTo(ids[2]);
            devhost::SetItemParam(8, 0, 0);
        },
        [&] {
            Send(TS_EVENT_RUN_ITEM, 9);
            Send(TS_EVENT_RUN_ITEM, 8);
        },
        settled);
    const auto okThenCancel = [](HWND dlg) {
        devhost::PressOk(dlg);
        devhost::PressCancel(dlg);  // when OK failed part-way, the dialog is still open
    };
    SweepAllocationFailures(
        [&] {
            fresh();
            AttachHost();
            LoadSettings();
            devhost::PushDialogScript([](HWND dlg) {
                devhost::Click(dlg, IDC_MAIN_PERIODIC);
                devhost::Click(dlg, IDC_MAIN_PERIODIC_SETTINGS);
                devhost::Click(dlg, IDC_MAIN_THEME_SYNC);
                devhost::Click(dlg, IDC_MAIN_THEME_SETTINGS);
                devhost::PressOk(dlg);
                devhost::PressCancel(dlg);
            });
            devhost::PushDialogScript([](HWND dlg) {
                devhost::SelectListRow(dlg, IDC_PERIODIC_ALL_LIST, 1);
                devhost::Click(dlg, IDC_PERIODIC_ADD);
                devhost::PressOk(dlg);
                devhost::PressCancel(dlg);
            });
            devhost::PushDialogScript(okThenCancel);
            devhost::PushDialogScript(okThenCancel);
        },
        [&] {
            Send(TS_EVENT_SETTINGS);
            Send(TS_EVENT_ITEM_SETTINGS, 0, 9);
        },
        [&] {
            EXPECT_EQ(0u, devhost::PendingDialogScripts()) << "a dialog never opened";
            settled();
        });
}

}  // namespace
