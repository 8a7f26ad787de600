// The theme helpers, plug-in loading and the message pump.
#include "test_util.h"

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
