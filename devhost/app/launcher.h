// The launcher stand-in: one window showing the current skin and a preview drawn from
// it, the item's caption, the buttons a launcher user has, a language menu and a pane
// with every host call.
//
// 1. The window lives on the thread that created it, which must run a message loop;
//    host calls made on other threads reach the pane through that loop.
// 2. Buttons and the language menu act through the plug-in's handler given at
//    creation; without a handler they only change the host (language, theme). The
//    Host menu switches on what real launchers do: calls served on this thread, calls
//    that block, a shut-down sent from another thread.
// 3. One launcher window at a time: it installs the host's log observer and removes
//    it when destroyed.
#ifndef VARNEL_DEVHOST_LAUNCHER_H
#define VARNEL_DEVHOST_LAUNCHER_H

#include <windows.h>

#include <array>
#include <string>
#include <vector>

#include "devhost/core/devhost.h"

namespace devhost {

// Control and menu ids of the window, for scripts and tests.
enum LauncherId : int {
    kLauncherSkinName = 2001,
    kLauncherSkinIdentifier = 2002,
    kLauncherCaption = 2003,
    kLauncherSettings = 2011,
    kLauncherAbout = 2012,
    kLauncherItemSettings = 2013,
    kLauncherRunItem = 2014,
    kLauncherToggleTheme = 2015,
    kLauncherLog = 2021,
    kLauncherMarshal = 2031,         // Host menu: serve other threads' calls here
    kLauncherSlowCalls = 2032,       // Host menu: every call blocks 500 ms
    kLauncherRestartElsewhere = 2033,  // Host menu: event 3 from another thread, event 2

    kLauncherLanguageFirst = 2100,  // + index into Languages()
};

struct LauncherConfig {
    TsPluginEventHandlerFn handler = nullptr;
    int32_t pluginId = 1;
    uint32_t itemId = 1;         // the one item the window offers
    bool quitOnDestroy = false;  // post WM_QUIT when the window goes
};

struct LanguageChoice {
    LANGID language;
    const wchar_t* name;  // in its own language
};
// The languages of the menu, those of res/languages.h, neutral first.
const std::vector<LanguageChoice>& Languages();

// Stripes of the preview: the same identifier always gives the same colours.
std::array<COLORREF, 4> PreviewColours(const std::wstring& identifier);

// One pane line: time, the calling thread ("ui" for uiThread) and the call.
std::wstring FormatLogEntry(const LogEntry& entry, DWORD uiThread);

// Flips "AppsUseLightTheme" (absent counts as light) and broadcasts the change, as
// Windows does; returns the new value, or -1 when it could not be written.
int ToggleAppsTheme();

HWND CreateLauncherWindow(const LauncherConfig& config);
// Adds a line of the launcher's own to the pane.
void AppendLauncherLine(HWND window, const std::wstring& line);
// For a plug-in loaded anew while the window stays.
void SetLauncherHandler(HWND window, TsPluginEventHandlerFn handler);

}  // namespace devhost

#endif
