// Following the Windows light/dark app theme.
//
// 1. The hidden window only raises the hand-over (themeDebounceTicks = 0, then
//    themeChangePending = 1); the worker calls SyncWithWindowsTheme once a burst of
//    notifications has settled.
// 2. The theme is dark only when a whole REG_DWORD other than 1 was read; any failed
//    or short read counts as light.
// 3. The skin chosen for the theme is the one requested, even when it is missing from
//    the rotation list (allSkins may still be filling at start-up): the rotation
//    position follows it where it can, and falls to 0 where it cannot.
#include "engine/theme.h"

#include <string>

#include "catalog/catalog.h"
#include "engine/rotation.h"
#include "core/state.h"
#include "core/windows_theme.h"

namespace {

constexpr wchar_t kColorSetChange[] = L"ImmersiveColorSet";

bool AppsUseDarkTheme() {
    DWORD value = 1;
    DWORD size = sizeof(value);
    LSTATUS status = RegGetValueW(HKEY_CURRENT_USER, kPersonalizeKey, kLightThemeValue,
                                  RRF_RT_REG_DWORD, nullptr, &value, &size);
    // A value shorter than a DWORD fills only part of the buffer; it is no theme value.
    return status == ERROR_SUCCESS && size == sizeof(value) && value != 1;
}

bool InThemeSyncMode() {
    ScopedLock guard(g_state.lock);
    return g_state.settings.changeMode == ChangeMode::kThemeSync;
}

LRESULT HandleNotify(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        // From its first message on, the window is the session's.
        g_state.hiddenWindow = window;
        g_state.windowAlive = 1;
        return 0;
    case WM_SETTINGCHANGE:
        if (window == g_state.hiddenWindow.load() && InThemeSyncMode() && lParam != 0 &&
            lstrcmpiW(reinterpret_cast<LPCWSTR>(lParam), kColorSetChange) == 0) {
            g_state.themeDebounceTicks = 0;
            g_state.themeChangePending = 1;
        }
        return 0;
    case WM_NCDESTROY: {
        // An older session's window, closing late, leaves the live one's alone.
        HWND expected = window;
        if (g_state.hiddenWindow.compare_exchange_strong(expected, nullptr)) {
            g_state.windowAlive = 0;
        }
        return 0;
    }
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

LRESULT CALLBACK NotifyWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        return HandleNotify(window, message, wParam, lParam);
    } catch (...) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

void SyncWithWindowsTheme() {
    std::wstring light;
    std::wstring dark;
    {
        ScopedLock guard(g_state.lock);
        if (g_state.settings.changeMode != ChangeMode::kThemeSync) {
            return;
        }
        light = g_state.settings.lightThemeSkin;
        dark = g_state.settings.darkThemeSkin;
    }
    const std::wstring& chosen = AppsUseDarkTheme() ? dark : light;
    if (!SkinExists(chosen)) {
        return;
    }
    {
        ScopedLock guard(g_state.lock);
        if (chosen == g_state.targetSkin) {
            return;
        }
    }
    RequestSkinAtItsPosition(chosen);
}
