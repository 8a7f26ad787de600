// Following the Windows light/dark app theme.
#ifndef VARNEL_THEME_H
#define VARNEL_THEME_H

#include <windows.h>

constexpr wchar_t kNotifyWindowClass[] = L"TesseraVarnelPluginClass";

// The hidden window's procedure: hears "ImmersiveColorSet" setting changes.
LRESULT CALLBACK NotifyWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// In theme sync mode, requests the skin chosen for the current app theme.
void SyncWithWindowsTheme();

#endif
