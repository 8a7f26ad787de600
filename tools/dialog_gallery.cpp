// Shows each dialog of the plug-in in each of its languages, filled with realistic
// skins and settings, and has scripts/screenshots take a picture of each as it
// appears on screen. Run it in a Wine virtual desktop, which draws the captions.
//
//   dialog_gallery <work folder> [--languages en,ja,...] [--suffix TEXT]
//
// For each dialog it writes <folder>/<dialog>-<language><suffix>.rect (the window's
// rectangle) and waits for <folder>/<dialog>-<language><suffix>.done from the script.
// The system DPI (Wine's LogPixels) sets the size it renders at; like the launcher it
// is DPI aware, so that the dialogs are laid out at that DPI rather than stretched.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "config/settings.h"
#include "engine/schedule.h"
#include "core/host.h"
#include "core/state.h"
#include "devhost/core/devhost.h"
#include "devhost/core/text_file.h"
#include "plugin/about.h"
#include "ui/dialogs.h"
#include "languages.h"
#include "resource.h"
#include "ui/dialog_util.h"

namespace {

constexpr uint32_t kItemId = 7;

struct Dialog {
    const wchar_t* name;
    INT_PTR (*open)();
    bool translated;
};
const Dialog kDialogs[] = {
    {L"about", [] { return host::ShowDialog(IDD_ABOUT, nullptr, AboutDialogProc, 0); }, false},
    {L"main-settings", [] { return ShowMainSettingsDialog(nullptr); }, true},
    {L"item-behavior", [] { return ShowItemBehaviorDialog(nullptr, kItemId); }, true},
    {L"periodic-settings", [] { return ShowPeriodicSettingsDialog(nullptr); }, true},
    {L"theme-sync-settings", [] { return ShowThemeSyncSettingsDialog(nullptr); }, true},
};

bool FileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Asks the capturing script for a picture of `dlg`: writes "<base>.rect" with the
// window's rectangle on the desktop, then keeps the dialog painted until the script
// answers with "<base>.done" (or 20 s pass).
bool CaptureThroughScript(HWND dlg, const std::wstring& base) {
    RECT r;
    GetWindowRect(dlg, &r);
    char text[64];
    const int n = std::snprintf(text, sizeof(text), "%ld %ld %ld %ld\n", r.left, r.top,
                                r.right - r.left, r.bottom - r.top);
    const std::wstring temp = base + L".tmp";
    if (!devhost::WriteFileBytes(temp, std::string_view(text, static_cast<size_t>(n)))) {
        return false;
    }
    MoveFileW(temp.c_str(), (base + L".rect").c_str());  // appears whole to the script
    const std::wstring done = base + L".done";
    return devhost::PumpUntil([&] { return FileExists(done); }, 20000);
}

// Settings a user of a few months might have: theme sync, a chosen list, a time.
void SeedSettings(const std::vector<std::wstring>& skins) {
    devhost::SetSetting(1, nullptr, L"ChangeMode", 0);
    devhost::SetSetting(1, L"TimeMode", L"TargetSkins", 1);
    devhost::SetSetting(1, L"TimeMode", L"TimeUnit", 2);
    devhost::SetSetting(1, L"TimeMode", L"Interval", 3);
    devhost::SetSetting(1, L"TimeMode", L"ChangeHour", 7);
    devhost::SetSetting(1, L"TimeMode", L"ChangeMinute", 30);
    const size_t picks[] = {0, 3, 5, 8};
    devhost::SetSetting(1, L"SelectedSkins", L"Count", 4);
    for (size_t i = 0; i < 4; ++i) {
        devhost::SetSetting(1, L"SelectedSkins", SelectedSkinKey(i + 1), skins[picks[i]]);
    }
    devhost::SetSetting(1, L"ThemeSync", L"LightTheme", skins[1]);
    devhost::SetSetting(1, L"ThemeSync", L"DarkTheme", skins[6]);
    devhost::SetItemParam(kItemId, 0, 1);
    devhost::SetItemParam(kItemId, 0, skins[4]);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring languages;  // comma-separated tags; empty: every language
    std::wstring suffix;
    bool usable = argc >= 2 && argc % 2 == 0;
    for (int i = 2; usable && i + 1 < argc; i += 2) {
        const std::wstring option = argv[i];
        if (option == L"--languages") {
            languages = argv[i + 1];
        } else if (option == L"--suffix") {
            suffix = argv[i + 1];
        } else {
            usable = false;
        }
    }
    if (!usable) {
        std::fwprintf(stderr, L"usage: dialog_gallery <output folder> [--languages en,ja,...] [--suffix TEXT]\n");
        return 2;
    }
    const std::wstring out = argv[1];
    SetProcessDPIAware();
    HDC screen = GetDC(nullptr);
    std::wprintf(L"rendering at %d DPI\n", GetDeviceCaps(screen, LOGPIXELSX));
    ReleaseDC(nullptr, screen);
    devhost::Init();
    g_state.moduleHandle = GetModuleHandleW(nullptr);

    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring skins = std::wstring(temp) + L"varnel-gallery-skins";
    CreateDirectoryW(skins.c_str(), nullptr);
    devhost::SetSkinsFolder(skins);
    const std::vector<std::wstring> made = devhost::MakeSampleSkins(skins);
    SeedSettings(made);
    g_state.hostTable = devhost::Table();
    g_state.hostAccepted = 1;
    g_state.pluginId = 1;
    LoadSettings();

    int failures = 0;
    for (const Dialog& d : kDialogs) {
        for (const ResourceLanguage& l : kResourceLanguages) {
            if (!d.translated && l.id != 0x0000) {
                continue;
            }
            const std::wstring tag(l.tag, l.tag + std::strlen(l.tag));
            if (!languages.empty() && (L"," + languages + L",").find(L"," + tag + L",") == std::wstring::npos) {
                continue;
            }
            const std::wstring path = out + L"\\" + d.name + L"-" + tag + suffix;
            bool written = false;
            devhost::SetLanguage(l.id);
            devhost::PushDialogScript([&](HWND dlg) {
                ShowWindow(dlg, SW_SHOW);
                SetForegroundWindow(dlg);
                UpdateWindow(dlg);
                devhost::PumpUntil([] { return false; }, 400);
                written = CaptureThroughScript(dlg, path);
                devhost::PressCancel(dlg);
            });
            d.open();
            std::wprintf(L"%ls %ls\n", written ? L"wrote" : L"FAILED", path.c_str());
            failures += written ? 0 : 1;
        }
    }
    return failures == 0 ? 0 : 1;
}
