// tessera-devhost: plays the launcher for the Varnel.dll that lies beside it.
//
//   tessera-devhost.exe [demo]
//
// demo: loads the plug-in with a Skins folder of sample skins, sends events 1, 2, 8
// and 3 as the launcher does, and prints what happened as a timeline. Exit code 0 when
// every checked result was as expected, 1 when one was not, 2 when the plug-in could
// not be loaded at all.
#include <windows.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "devhost/devhost.h"
#include "plugin/plugin_api.h"

namespace {

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

void Line(const std::wstring& text) {
    std::string line = Utf8(text);
    std::printf("%6llu ms  %s\n", static_cast<unsigned long long>(devhost::ElapsedMs()), line.c_str());
    std::fflush(stdout);
}

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

std::wstring HexWord(uint32_t value) {
    wchar_t text[16];
    swprintf(text, 16, L"0x%08X", value);
    return text;
}

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

void RemoveTree(const std::wstring& path) {
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring child = path + L"\\" + name;
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                RemoveTree(child);
            } else {
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryW(path.c_str());
}

// "GetHostVersion x1, GetCurrentSkin x1, ..." in order of first call, of the calls
// made on this thread or of those made on others.
std::wstring SummariseCalls(const std::vector<devhost::LogEntry>& log, bool thisThread) {
    std::vector<std::wstring> order;
    std::map<std::wstring, int> counts;
    for (const devhost::LogEntry& entry : log) {
        if (entry.slot < 0 || (entry.threadId == GetCurrentThreadId()) != thisThread) continue;
        std::wstring name = entry.name == L"unexpected" ? L"slot " + std::to_wstring(entry.slot) + L" (unexpected)"
                                                         : entry.name;
        if (counts[name]++ == 0) order.push_back(name);
    }
    std::wstring text;
    for (const std::wstring& name : order) {
        if (!text.empty()) text += L", ";
        text += name + L" x" + std::to_wstring(counts[name]);
    }
    return text.empty() ? L"none" : text;
}

int RunDemo() {
    std::vector<std::wstring> failures;
    devhost::Init();

    wchar_t temp[MAX_PATH];
    DWORD tempLength = GetTempPathW(MAX_PATH, temp);
    std::wstring base = (tempLength > 0 && tempLength < MAX_PATH ? std::wstring(temp) : L".\\") +
                        L"tessera-devhost-" + std::to_wstring(GetCurrentProcessId());
    std::wstring skins = base + L"\\Skins";
    RemoveTree(base);
    CreateDirectoryW(base.c_str(), nullptr);
    CreateDirectoryW(skins.c_str(), nullptr);
    std::vector<std::wstring> samples = devhost::MakeSampleSkins(skins);
    devhost::SetSkinsFolder(skins);
    devhost::SetCurrentSkin(samples.front());
    Line(L"host     Skins folder " + skins + L", " + std::to_wstring(samples.size()) +
         L" sample skins, current skin " + Quoted(samples.front()));

    const std::wstring dll = ProgramFolder() + L"\\Varnel.dll";
    devhost::Plugin plugin{};
    if (!devhost::LoadPlugin(dll, &plugin)) {
        Line(L"FAILED   cannot load " + dll + L" (error " + std::to_wstring(GetLastError()) + L")");
        RemoveTree(base);
        return 2;
    }
    Line(L"host     loaded " + dll);

    wchar_t description[256] = {};
    int32_t r1 = plugin.handler(TS_EVENT_DESCRIBE, reinterpret_cast<uint64_t>(description), 256, 0);
    Line(L"event 1  -> " + HexWord(static_cast<uint32_t>(r1)) + L", description " + Quoted(description));
    if (static_cast<uint32_t>(r1) != TS_REQUIRED_HOST_VERSION)
        failures.push_back(L"event 1 returned " + HexWord(static_cast<uint32_t>(r1)) + L", expected " +
                           HexWord(TS_REQUIRED_HOST_VERSION));

    devhost::ClearLog();
    uint64_t start = devhost::ElapsedMs();
    int32_t r2 = plugin.handler(TS_EVENT_INITIALIZE, 1, reinterpret_cast<uint64_t>(devhost::Table()), 0);
    Line(L"event 2  -> " + std::to_wstring(r2) + L" in " + std::to_wstring(devhost::ElapsedMs() - start) +
         L" ms; host calls: " + SummariseCalls(devhost::Log(), true));
    if (r2 != 1) failures.push_back(L"event 2 returned " + std::to_wstring(r2) + L", expected 1");

    // The start-up enumeration asks for every sample skin's display name on a thread
    // of its own; give it a bounded while, dispatching the hidden window's messages.
    bool enumerated = devhost::PumpUntil(
        [&] { return devhost::CallCount(34) >= samples.size(); }, 3000);
    Line(std::wstring(L"host     start-up enumeration ") + (enumerated ? L"seen" : L"not seen within 3 s") +
         L"; host calls from other threads: " + SummariseCalls(devhost::Log(), false));

    std::optional<std::wstring> caption = devhost::Caption(1);
    Line(L"host     caption " + (caption ? Quoted(*caption) : std::wstring(L"not set")));
    if (!caption || caption->empty()) failures.push_back(L"no caption was set at initialisation");

    bool aboutOpened = false;
    std::wstring title, line1, line2;
    devhost::PushDialogScript([&](HWND dlg) {
        aboutOpened = true;
        title = devhost::DialogTitle(dlg);
        line1 = devhost::GetText(dlg, 1001);
        line2 = devhost::GetText(dlg, 1002);
        devhost::PressOk(dlg);
    });
    devhost::ClearLog();
    int32_t r8 = plugin.handler(TS_EVENT_ABOUT, 0, 0, 0);
    Line(L"event 8  -> " + std::to_wstring(r8) + L", About box " +
         (aboutOpened ? Quoted(title) + L" closed with OK" : std::wstring(L"did not open")));
    Line(L"         1001 " + Quoted(line1));
    Line(L"         1002 " + Quoted(line2));
    if (!aboutOpened) failures.push_back(L"the About box did not open");
    if (line1.empty()) failures.push_back(L"the About box's description line (1001) is empty");
    if (line2.empty()) failures.push_back(L"the About box's copyright line (1002) is empty");
    if (devhost::DialogWatchdogFired() != 0) failures.push_back(L"a dialog had to be closed by the watchdog");

    start = devhost::ElapsedMs();
    int32_t r3 = plugin.handler(TS_EVENT_SHUTDOWN, 0, 0, 0);
    Line(L"event 3  -> " + std::to_wstring(r3) + L" in " + std::to_wstring(devhost::ElapsedMs() - start) +
         L" ms");
    if (r3 != 1) failures.push_back(L"event 3 returned " + std::to_wstring(r3) + L", expected 1");

    if (devhost::UnexpectedCalls() != 0)
        Line(L"note     " + std::to_wstring(devhost::UnexpectedCalls()) + L" calls of unused slots");
    // A plug-in whose shut-down failed may still run code of its own: keep it loaded.
    if (r3 == 1) devhost::UnloadPlugin(&plugin);
    RemoveTree(base);

    for (const std::wstring& failure : failures) Line(L"FAILED   " + failure);
    if (!failures.empty()) return 1;
    Line(L"demo     everything as expected");
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring mode = argc > 1 ? argv[1] : L"demo";
    if (mode == L"demo") return RunDemo();
    std::fprintf(stderr, "usage: tessera-devhost.exe [demo]\n");
    return 2;
}
