// tessera-devhost: plays the launcher for the Varnel.dll that lies beside it.
//
//   tessera-devhost.exe                 a window standing for the launcher
//   tessera-devhost.exe demo [--screenshot FILE]
//                                       a scripted session told as a timeline
//
// The window keeps the plug-in's settings, the item's parameters, the skin and the
// language in tessera-devhost.ini beside the program, and its skins in the Skins
// folder there (made with sample skins when missing), so a restart carries on.
#include <windows.h>

#include <cstdio>

#include "devhost/app/launcher.h"
#include "devhost/app/program.h"
#include "devhost/app/store_file.h"
#include "devhost/core/devhost.h"
#include "devhost/core/text_file.h"

namespace devhost {

std::wstring ProgramFolder() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return L".";
        if (n < path.size()) break;
        path.resize(path.size() * 2);
    }
    std::wstring full(path.data());
    size_t slash = full.find_last_of(L"\\/");
    return slash == std::wstring::npos ? L"." : full.substr(0, slash);
}

namespace {

constexpr int32_t kPluginId = 1;
constexpr uint32_t kItemId = 1;

bool IsFolder(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The first skin the folder search meets, for a first start.
std::wstring FirstSkin(const std::wstring& folder) {
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    std::wstring found;
    if (search == INVALID_HANDLE_VALUE) return found;
    do {
        std::wstring name = entry.cFileName;
        std::wstring identifier =
            (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? L"\\" + name : name;
        if (!DefaultDisplayName(identifier).empty()) found = identifier;
    } while (found.empty() && FindNextFileW(search, &entry));
    FindClose(search);
    return found;
}

void Complain(const std::wstring& text) {
    std::fprintf(stderr, "tessera-devhost: %s\n", Utf8(text).c_str());
    MessageBoxW(nullptr, text.c_str(), L"Tessera (development host)", MB_OK | MB_ICONERROR);
}

}  // namespace

int RunLauncher() {
    Init();
    SetInteractive(true);
    // Calls from the plug-in's threads are served on this thread, as a careful launcher
    // serves them; VARNEL_DEVHOST_DIRECT=1 serves them where they are made instead.
    wchar_t direct[4] = {};
    SetMarshalling(GetEnvironmentVariableW(L"VARNEL_DEVHOST_DIRECT", direct, 4) == 0 ||
                   direct[0] != L'1');
    SetApplyMode(ApplyMode::Immediate);
    const std::wstring folder = ProgramFolder();
    const std::wstring skins = folder + L"\\Skins", store = folder + L"\\tessera-devhost.ini";
    std::vector<std::wstring> notes;
    if (!IsFolder(skins)) {
        CreateDirectoryW(skins.c_str(), nullptr);
        MakeSampleSkins(skins);
        notes.push_back(L"host: made the Skins folder " + skins + L" with sample skins");
    }
    SetSkinsFolder(skins);
    std::vector<std::wstring> passedOver;
    if (GetFileAttributesW(store.c_str()) == INVALID_FILE_ATTRIBUTES) {
        notes.push_back(L"host: no settings file yet; they will be kept in " + store);
    } else if (LoadStoreFromFile(store, &passedOver)) {
        notes.push_back(L"host: settings, item parameters, skin and language read from " + store);
        if (!passedOver.empty()) {
            // The next save writes only what was read: keep the file as it was for a look.
            CopyFileW(store.c_str(), (store + L".unreadable").c_str(), FALSE);
            notes.push_back(L"host: passed over what could not be read (the file as it was is kept as .unreadable):");
            for (const std::wstring& entry : passedOver) notes.push_back(L"host:   " + entry);
        }
    } else {
        // Keep the unreadable file for a look rather than overwrite it at the next save.
        MoveFileExW(store.c_str(), (store + L".unreadable").c_str(), MOVEFILE_REPLACE_EXISTING);
        notes.push_back(L"host: " + store + L" could not be read; kept as .unreadable, starting afresh");
    }
    if (CurrentSkin().empty() || DefaultDisplayName(CurrentSkin()).empty()) SetCurrentSkin(FirstSkin(skins));
    SetStoreFile(store);

    const std::wstring dll = folder + L"\\Varnel.dll";
    Plugin plugin{};
    if (!LoadPlugin(dll, &plugin)) {
        Complain(L"cannot load " + dll + L" (error " + std::to_wstring(GetLastError()) + L")");
        return 2;
    }
    LauncherConfig config;
    config.handler = plugin.handler;
    config.pluginId = kPluginId;
    config.itemId = kItemId;
    config.quitOnDestroy = true;
    HWND window = CreateLauncherWindow(config);
    if (window == nullptr) {
        Complain(L"cannot create the window (error " + std::to_wstring(GetLastError()) + L")");
        UnloadPlugin(&plugin);
        return 2;
    }
    for (const std::wstring& note : notes) AppendLauncherLine(window, note);
    wchar_t description[256] = {};
    plugin.handler(TS_EVENT_DESCRIBE, reinterpret_cast<uint64_t>(description), 256, 0);
    SetWindowTextW(window, (L"Tessera (development host) - " + std::wstring(description)).c_str());
    ShowWindow(window, SW_SHOWNORMAL);
    const int32_t initialised =
        plugin.handler(TS_EVENT_INITIALIZE, kPluginId, reinterpret_cast<uint64_t>(Table()), 0);
    if (initialised != 1)
        AppendLauncherLine(window, L"host: event 2 returned " + std::to_wstring(initialised));

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    const int32_t stopped = plugin.handler(TS_EVENT_SHUTDOWN, 0, 0, 0);
    SaveStoreToFile(store);  // the skin and language, which no commit may have caught
    // A plug-in whose shut-down failed may still run code of its own: keep it loaded.
    if (stopped == 1) UnloadPlugin(&plugin);
    return 0;
}

}  // namespace devhost

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return devhost::RunLauncher();
    if (std::wstring(argv[1]) == L"demo")
        return devhost::RunDemo(std::vector<std::wstring>(argv + 2, argv + argc));
    std::fprintf(stderr, "usage: tessera-devhost.exe [demo [--screenshot FILE]]\n");
    return 2;
}
