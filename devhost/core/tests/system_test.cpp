// The theme helpers, plug-in loading and the message pump.
#include "test_util.h"

#include <atomic>
#include <thread>
#include <utility>
#include <vector>

#include "core/windows_theme.h"

namespace {

std::wstring g_lastSetting;
int g_settingChanges = 0;

LRESULT CALLBACK ListenerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETTINGCHANGE) {
        ++g_settingChanges;
        g_lastSetting = lParam != 0 ? reinterpret_cast<const wchar_t*>(lParam) : L"(null)";
        return 0;
    }
    if (message == WM_APP) {
        *reinterpret_cast<bool*>(lParam) = true;
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND MakeListener() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = ListenerProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"devhost.test.Listener";
    RegisterClassW(&wc);
    return CreateWindowExW(WS_EX_NOACTIVATE, wc.lpszClassName, L"", WS_POPUP, 0, 0, 1, 1, nullptr,
                           nullptr, wc.hInstance, nullptr);
}

}  // namespace

using Theme = HostTest;

TEST_F(Theme, RegistryValueIsWrittenWithTheTypeAsked) {
    ASSERT_TRUE(devhost::SetAppsUseLightTheme(0));
    DWORD value = 99, size = sizeof(value), type = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_CURRENT_USER, kPersonalizeKey, kLightThemeValue, RRF_RT_ANY,
                                          &type, &value, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(0u, value);

    ASSERT_TRUE(devhost::SetAppsUseLightThemeString(L"1"));
    wchar_t text[8] = {};
    size = sizeof(text);
    ASSERT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_CURRENT_USER, kPersonalizeKey, kLightThemeValue, RRF_RT_ANY,
                                          &type, text, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_STREQ(L"1", text);

    ASSERT_TRUE(devhost::DeleteAppsUseLightTheme());
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegGetValueW(HKEY_CURRENT_USER, kPersonalizeKey, kLightThemeValue,
                                                 RRF_RT_ANY, nullptr, nullptr, nullptr));
    EXPECT_TRUE(devhost::DeleteAppsUseLightTheme()) << "deleting what is gone is fine";
}

TEST_F(Theme, BroadcastReachesTopLevelWindowsOfThisThread) {
    HWND listener = MakeListener();
    ASSERT_NE(nullptr, listener);
    g_settingChanges = 0;
    devhost::BroadcastColorSetChange();
    EXPECT_EQ(1, g_settingChanges);
    EXPECT_EQ(Show(L"ImmersiveColorSet"), Show(g_lastSetting));
    DestroyWindow(listener);
}

using Plugins = HostTest;

TEST_F(Plugins, LoadFailsCleanlyForMissingFileOrMissingExport) {
    devhost::Plugin plugin{reinterpret_cast<HMODULE>(1), nullptr};
    EXPECT_FALSE(devhost::LoadPlugin(L"C:\\nowhere\\Varnel.dll", &plugin));
    EXPECT_EQ(nullptr, plugin.module);
    EXPECT_FALSE(devhost::LoadPlugin(L"kernel32.dll", &plugin)) << "a library without the export";
    EXPECT_EQ(nullptr, plugin.handler);
    EXPECT_FALSE(devhost::LoadPlugin(L"kernel32.dll", nullptr));
}

using Pump = HostTest;

TEST_F(Pump, DispatchesWhileWaitingAndGivesUpAtTheDeadline) {
    HWND listener = MakeListener();
    ASSERT_NE(nullptr, listener);
    bool delivered = false;
    PostMessageW(listener, WM_APP, 0, reinterpret_cast<LPARAM>(&delivered));
    EXPECT_TRUE(devhost::PumpUntil([&] { return delivered; }, 5000));
    int polls = 0;
    EXPECT_FALSE(devhost::PumpUntil([&] { return ++polls < 0; }, 50));
    EXPECT_GE(polls, 2);
    DestroyWindow(listener);
}

// Slow launchers: calls posted to the UI thread, pauses and holds at a slot's entry, and
// the UI thread stalled at a window's messages.
using SlowHosts = HostTest;

TEST_F(SlowHosts, PostedCallsAreServedOnlyByAMessageLoop) {
    devhost::SetMarshalMode(devhost::MarshalMode::PostAndWait);
    std::atomic<bool> done{false};
    std::thread caller([&] {
        devhost::Table()->GetHostVersion();
        done = true;
    });
    // A wait that answers sent messages only, as the plug-in's waits do, serves nothing.
    const ULONGLONG until = GetTickCount64() + 300;
    while (GetTickCount64() < until) {
        MsgWaitForMultipleObjectsEx(0, nullptr, 10, QS_SENDMESSAGE, 0);
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    EXPECT_FALSE(done.load()) << "a posted call served by a wait for sent messages";
    EXPECT_TRUE(devhost::PumpUntil([&] { return done.load(); }, 5000)) << "the message loop never served it";
    caller.join();
    const std::vector<devhost::LogEntry> log = devhost::Log();
    ASSERT_EQ(1u, log.size());
    EXPECT_TRUE(log[0].marshalled);
    EXPECT_EQ(devhost::MarshalMode::PostAndWait, devhost::CurrentMarshalMode());
}

TEST_F(SlowHosts, HoldsAndPausesKeepTheCallerAtTheSlotsEntry) {
    const DWORD ui = GetCurrentThreadId();
    std::atomic<int> entries{0};
    devhost::SetCallEntryObserver([&](int slot, DWORD) { entries += slot == TS_SLOT_GET_CURRENT_SKIN ? 1 : 0; });
    devhost::HoldSlot(TS_SLOT_GET_CURRENT_SKIN, 10000, [ui](DWORD thread) { return thread != ui; });
    devhost::Table()->GetCurrentSkin();  // this thread is not the one held
    EXPECT_FALSE(devhost::HoldEntered());
    DWORD callerId = 0;
    std::thread caller([&] {
        callerId = GetCurrentThreadId();
        devhost::Table()->GetCurrentSkin();
    });
    ASSERT_TRUE(devhost::PumpUntil([] { return devhost::HoldEntered(); }, 5000));
    EXPECT_EQ(2, entries.load()) << "the held call was seen at its entry";
    EXPECT_EQ(1u, devhost::CallCount(TS_SLOT_GET_CURRENT_SKIN)) << "only the call of this thread has run";
    devhost::ReleaseHold();
    caller.join();
    EXPECT_EQ(callerId, devhost::HeldThread());
    EXPECT_EQ(2u, devhost::CallCount(TS_SLOT_GET_CURRENT_SKIN));

    devhost::SetSlotPause(TS_SLOT_GET_HOST_VERSION, [](DWORD) -> DWORD { return 100; });
    const ULONGLONG start = GetTickCount64();
    devhost::Table()->GetHostVersion();
    EXPECT_GE(GetTickCount64() - start, 90u);
}

TEST_F(SlowHosts, PauseHookStopsAtTheMessagesOfOneClass) {
    HWND listener = MakeListener();
    ASSERT_NE(nullptr, listener);
    std::vector<std::pair<UINT, bool>> seen;
    devhost::SetWindowPauseHook(L"devhost.test.Listener", [&](UINT message, bool after) -> DWORD {
        if (message == WM_APP + 7) seen.emplace_back(message, after);
        return 0;
    });
    SendMessageW(listener, WM_APP + 7, 0, 0);
    devhost::SetWindowPauseHook(L"", nullptr);
    SendMessageW(listener, WM_APP + 7, 0, 0);
    EXPECT_EQ((std::vector<std::pair<UINT, bool>>{{WM_APP + 7, false}, {WM_APP + 7, true}}), seen);
    DestroyWindow(listener);
}
