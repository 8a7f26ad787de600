// Sessions and turns under hosts that hold the plug-in's calls: a save served by posting
// to the launcher's thread, a save in flight at shut-down, an enumeration or a worker
// held past a reload, and frames a host unwinds without running their destructors.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "catalog/catalog.h"
#include "config/settings.h"
#include "core/state.h"
#include "devhost/core/devhost.h"
#include "devhost/core/save_checker.h"
#include "engine/rotation.h"
#include "reliability_support.h"
#include "resource.h"
#include "support/plugin_fixture.h"
#include "support/watchdog.h"

namespace {

using devhost::LogEntry;

// Run before the host's WriteSettingInt and GetSkinDisplayName, on the calling thread.
std::function<void()> g_beforeWrite;
std::function<void()> g_beforeName;

const HostServiceTable* HookedTable() {
    static const HostServiceTable table = [] {
        HostServiceTable t = *devhost::Table();
        t.WriteSettingInt = [](int32_t id, const wchar_t* section, const wchar_t* key, int32_t value) {
            if (g_beforeWrite) g_beforeWrite();
            return devhost::Table()->WriteSettingInt(id, section, key, value);
        };
        t.GetSkinDisplayName = [](const wchar_t* skin) {
            if (g_beforeName) g_beforeName();
            return devhost::Table()->GetSkinDisplayName(skin);
        };
        return t;
    }();
    return &table;
}

using reliability::Gate;

class SessionTest : public PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        SetTestWatchdog(30000);
        for (const wchar_t* name : {L"A", L"B", L"C", L"D", L"E", L"F"}) {
            ids_.push_back(devhost::MakeFileSkin(skins_, name));
        }
        devhost::SetCurrentSkin(ids_[0]);
        // Item 9 switches to B when run.
        devhost::SetItemParam(9, 0, 1);
        devhost::SetItemParam(9, 0, ids_[1]);
    }
    void TearDown() override {
        gate_.Release();
        PluginTest::TearDown();
        g_beforeWrite = nullptr;
        g_beforeName = nullptr;
        checker_.Uninstall();
    }
    int32_t InitializeHooked() {
        return Send(TS_EVENT_INITIALIZE, 1, reinterpret_cast<uint64_t>(HookedTable()));
    }
    // Holds the first settings write made on a thread other than this one.
    void HoldFirstWorkerWrite() {
        const DWORD self = GetCurrentThreadId();
        auto first = std::make_shared<std::atomic<bool>>(true);
        g_beforeWrite = [this, self, first] {
            if (GetCurrentThreadId() != self && first->exchange(false)) gate_.Hold();
        };
    }
    static size_t AllSkinsCount() {
        ScopedLock guard(g_state.lock);
        return g_state.allSkins.size();
    }

    std::vector<std::wstring> ids_;
    Gate gate_;
    devhost::SaveChecker checker_;
};

// A launcher that serves a call from another thread by posting it to its own thread and
// waiting, as invoke-style frameworks do: the call runs only when that thread dispatches
// its posted messages.
class PostingHost {
public:
    PostingHost() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = [](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
            if (m == WM_APP) {
                (*reinterpret_cast<std::function<void()>*>(lp))();
                return 0;
            }
            return DefWindowProcW(w, m, wp, lp);
        };
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"varnel-test.posting";
        RegisterClassW(&wc);
        window_ = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  wc.hInstance, nullptr);
    }
    ~PostingHost() { DestroyWindow(window_); }
    PostingHost(const PostingHost&) = delete;
    PostingHost& operator=(const PostingHost&) = delete;
    // On the calling thread: waits until the launcher's thread has dispatched the call.
    void Serve(const std::function<void()>& call) {
        HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::function<void()> posted = [&] {
            call();
            SetEvent(done);
        };
        ++waiting_;
        PostMessageW(window_, WM_APP, 0, reinterpret_cast<LPARAM>(&posted));
        WaitForSingleObject(done, 60000);  // as a framework's invoke: until served
        CloseHandle(done);
    }
    int Waiting() const { return waiting_.load(); }

private:
    HWND window_;
    std::atomic<int> waiting_{0};
};

TEST_F(SessionTest, OkNeverWaitsForASaveTheHostServesByPosting) {
    SetTestWatchdog(10000);  // OK waiting for the worker would wait for ever
    PostingHost posting;
    const DWORD ui = GetCurrentThreadId();
    // The worker's first settings write waits for this thread's message loop.
    auto first = std::make_shared<std::atomic<bool>>(true);
    g_beforeWrite = [&, first] {
        if (GetCurrentThreadId() != ui && first->exchange(false)) posting.Serve([] {});
    };
    ASSERT_EQ(1, InitializeHooked());
    checker_.Install();
    devhost::PushDialogScript([&](HWND dlg) {
        EXPECT_EQ(1, Send(TS_EVENT_RUN_ITEM, 9));
        // Until the worker's save waits for this thread, reading no messages meanwhile.
        for (int i = 0; i < 500 && posting.Waiting() == 0; ++i) Sleep(10);
        ASSERT_EQ(1, posting.Waiting()) << "the worker's save never began";
        devhost::Click(dlg, IDC_MAIN_THEME_SYNC);
        devhost::PressOk(dlg);  // hangs here if OK waits for the worker's save
    });
    EXPECT_EQ(1, Send(TS_EVENT_SETTINGS));
    // The running save writes OK's values too, once this thread serves its call.
    EXPECT_TRUE(devhost::PumpUntil([] { return devhost::CommitCount() >= 2; }, 5000))
        << devhost::CommitCount() << " commits";
    EXPECT_EQ(std::optional<int32_t>(1), devhost::GetSettingInt(1, nullptr, L"ChangeMode"));
    EXPECT_EQ(0u, checker_.Faults()) << (checker_.FirstFaults().empty() ? "" : checker_.FirstFaults()[0]);
}

TEST_F(SessionTest, ShutDownLetsASaveInFlightEndWhole) {
    devhost::SetMarshalling(true);
    ASSERT_EQ(1, Initialize());
    checker_.Install();
    // The worker's calls are served here one at a time until its save has begun.
    devhost::SetMarshalledStepping(true);
    EXPECT_EQ(1, Send(TS_EVENT_RUN_ITEM, 9));
    while (devhost::CallCount(TS_SLOT_WRITE_SETTING_INT) == 0 && devhost::ServeMarshalledCall(5000)) {
    }
    ASSERT_EQ(1u, devhost::CallCount(TS_SLOT_WRITE_SETTING_INT)) << "the worker's save never began";
    ASSERT_TRUE(devhost::WaitForMarshalledCall(5000)) << "the worker's next call never came";
    devhost::SetMarshalledStepping(false);
    const int commits = devhost::CommitCount();
    EXPECT_EQ(1, Shutdown());
    EXPECT_EQ(commits + 1, devhost::CommitCount()) << "the save in flight was cut short";
    EXPECT_EQ(0u, checker_.Faults()) << (checker_.FirstFaults().empty() ? "" : checker_.FirstFaults()[0]);
    EXPECT_EQ(std::optional<int32_t>(g_state.settings.rotationIndex),
              devhost::GetSettingInt(1, L"TimeMode", L"Index"));
}

TEST_F(SessionTest, AnEnumerationHeldPastAReloadNeitherKeepsTheNextOutNorWritesItsList) {
    // The start-up enumeration stops in its first display name; later ones pass.
    auto first = std::make_shared<std::atomic<bool>>(true);
    g_beforeName = [this, first] {
        if (first->exchange(false)) gate_.Hold();
    };
    ASSERT_EQ(1, InitializeHooked());
    ASSERT_TRUE(gate_.WaitEntered(5000)) << "the enumeration never asked for a name";
    EXPECT_EQ(1, Shutdown());
    ASSERT_EQ(1, InitializeHooked());
    EXPECT_TRUE(devhost::PumpUntil([this] { return AllSkinsCount() == ids_.size(); }, 5000))
        << "the new session's enumeration was kept out: " << AllSkinsCount() << " skins";
    {
        ScopedLock guard(g_state.lock);
        g_state.allSkins = {SkinEntry{L"mark", L"mark"}};
    }
    gate_.Release();
    devhost::PumpUntil([] { return false; }, 300);
    ScopedLock guard(g_state.lock);
    ASSERT_EQ(1u, g_state.allSkins.size()) << "the old enumeration wrote its list";
    EXPECT_EQ(L"mark", g_state.allSkins[0].identifier);
}

TEST_F(SessionTest, AWorkerHeldPastAReloadCallsNothingMoreOfItsSave) {
    HoldFirstWorkerWrite();
    ASSERT_EQ(1, InitializeHooked());
    EXPECT_EQ(1, Send(TS_EVENT_RUN_ITEM, 9));
    ASSERT_TRUE(gate_.WaitEntered(5000)) << "the worker's save never began";
    const DWORD oldWorker = gate_.Holder();
    EXPECT_EQ(1, Shutdown());  // gives up on the worker after its second
    ASSERT_EQ(1, InitializeHooked());
    // The new session's save waits for nobody; while the old write is still in the host,
    // which could land in the middle of it, the new worker makes it afterwards.
    const int before = devhost::CommitCount();
    SaveSettings();
    const size_t mark = devhost::Log().size();
    gate_.Release();
    EXPECT_TRUE(devhost::PumpUntil([before] { return devhost::CommitCount() > before; }, 3000))
        << "the new session's save was lost";
    devhost::PumpUntil([] { return false; }, 300);
    size_t oldCalls = 0;
    size_t oldCommits = 0;
    const std::vector<LogEntry> log = devhost::Log();
    for (size_t i = mark; i < log.size(); ++i) {
        if (log[i].threadId != oldWorker) continue;
        ++oldCalls;
        oldCommits += log[i].slot == TS_SLOT_COMMIT_SETTINGS;
    }
    // The write it was held in is logged when it returns; nothing after it.
    EXPECT_LE(oldCalls, 1u) << "the ended session's save went on through the new table";
    EXPECT_EQ(0u, oldCommits) << "the old snapshot was committed";
}

// Calls `body`; a host unwinding the plug-in's frames with `UnwindNow` from inside one of
// its own calls lands here, past every destructor in between.
void* g_landing[5];
__attribute__((noinline)) bool RunUnwound(const std::function<void()>& body) {
    if (__builtin_setjmp(g_landing) != 0) {
        return true;
    }
    body();
    return false;
}
[[noreturn]] void UnwindNow() { __builtin_longjmp(g_landing, 1); }

TEST_F(SessionTest, TurnsHeldByFramesAHostUnwoundPassOn) {
    SetTestWatchdog(15000);  // a turn left held hangs the next save or keeps enumerations out
    g_state.hostTable = HookedTable();
    g_state.hostAccepted = 1;
    g_state.pluginId = 1;

    auto once = std::make_shared<std::atomic<bool>>(true);
    g_beforeWrite = [once] {
        if (once->exchange(false)) UnwindNow();
    };
    EXPECT_TRUE(RunUnwound([] { SaveSettings(); })) << "the host's unwind never came";
    const int commits = devhost::CommitCount();
    SaveSettings();
    EXPECT_EQ(commits + 1, devhost::CommitCount()) << "the next save did not happen";

    auto nameOnce = std::make_shared<std::atomic<bool>>(true);
    g_beforeName = [nameOnce] {
        if (nameOnce->exchange(false)) UnwindNow();
    };
    EXPECT_TRUE(RunUnwound([] { RefreshAllSkins(); }));
    RefreshAllSkins();
    EXPECT_EQ(ids_.size(), AllSkinsCount()) << "the next enumeration was kept out";
}

TEST_F(SessionTest, ShutDownDoesNotWaitForTheIdleWorkersTick) {
    // Each shut-down used to wait for the rest of the worker's 100 ms sleep, half of it on
    // average; twenty of them took about a second.
    devhost::SetSetting(1, L"TimeMode", L"TimeUnit", 0);
    ULONGLONG total = 0;
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(1, Initialize());
        devhost::PumpUntil([] { return false; }, 20 + 7 * i % 90);
        const ULONGLONG start = GetTickCount64();
        EXPECT_EQ(1, Shutdown());
        total += GetTickCount64() - start;
    }
    EXPECT_LT(total, 500u) << "twenty shut-downs of an idle worker took " << total << " ms";
}

}  // namespace
