// What is left of the plug-in in the process, the temp folder a child works in, and
// the replay's listing.
#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "devhost/core/devhost.h"
#include "devhost/core/text_file.h"
#include "devhost/explorer/player.h"

namespace explorer {
namespace {

struct WindowSearch {
    DWORD thread = 0;
    bool found = false;
};

BOOL CALLBACK FindPluginWindow(HWND window, LPARAM param) {
    DWORD process = 0;
    const DWORD thread = GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId()) return TRUE;
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    if (lstrcmpW(name, kPluginClass) != 0) return TRUE;
    auto* search = reinterpret_cast<WindowSearch*>(param);
    search->found = true;
    search->thread = thread;
    return FALSE;
}

}  // namespace

bool PluginWindowLeft(DWORD* thread) {
    WindowSearch search;
    EnumWindows(FindPluginWindow, reinterpret_cast<LPARAM>(&search));
    if (!search.found) {
        HWND message = FindWindowExW(HWND_MESSAGE, nullptr, kPluginClass, nullptr);
        if (message != nullptr) {
            search.found = true;
            search.thread = GetWindowThreadProcessId(message, nullptr);
        }
    }
    if (thread != nullptr) *thread = search.thread;
    return search.found;
}

bool PluginClassRegistered(HMODULE base) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    return GetClassInfoExW(base, kPluginClass, &wc) != FALSE;
}

bool Prepare(const std::wstring& dll, Context* context) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    context->root = std::wstring(temp) + L"varnel-explorer-" + std::to_wstring(GetCurrentProcessId());
    context->dll = dll;
    context->skinsFolder = context->root + L"\\skins";
    if (!CreateDirectoryW(context->root.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    if (!CreateDirectoryW(context->skinsFolder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    context->skins = devhost::MakeSampleSkins(context->skinsFolder);
    const std::wstring copyFolder = context->root + L"\\copy";
    CreateDirectoryW(copyFolder.c_str(), nullptr);
    context->copy = copyFolder + L"\\Varnel.dll";
    if (!CopyFileW(dll.c_str(), context->copy.c_str(), FALSE)) context->copy.clear();
    return context->skins.size() >= static_cast<size_t>(kSampleSkins) &&
           GetFileAttributesW(dll.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void Cleanup(const Context& context) { devhost::RemoveTree(context.root); }

void PrintSteps(const Schedule& schedule) {
    std::printf("schedule of seed %llu:\n", static_cast<unsigned long long>(schedule.seed));
    int n = 0;
    for (const std::string& step : Steps(schedule)) std::printf("  %2d. %s\n", ++n, step.c_str());
    std::fflush(stdout);
}

void PrintRun() {
    std::vector<std::pair<uint64_t, std::string>> lines = TheMonitor().TraceLines();
    for (const devhost::LogEntry& e : devhost::Log()) {
        std::string line = "  host: " + devhost::Utf8(e.name) + "(" + devhost::Utf8(devhost::LogArgsText(e.args)) +
                           ") -> " + devhost::Utf8(devhost::LogResultText(e.result)) + " [thread " +
                           std::to_string(e.threadId) + (e.marshalled ? ", marshalled" : "") + "]";
        if (line.size() > 300) line = line.substr(0, 300) + "...";
        lines.emplace_back(e.ms, line);
    }
    std::stable_sort(lines.begin(), lines.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::printf("run (ms since start; host calls are logged when they return):\n");
    for (const auto& line : lines) {
        std::printf("%7llu %s\n", static_cast<unsigned long long>(line.first), line.second.c_str());
    }
    std::fflush(stdout);
}

}  // namespace explorer
