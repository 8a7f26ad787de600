// Reloads, as a launcher that reloads its plug-ins does them: load Varnel.dll, event 2,
// event 3, unload, again and again. For each mode it prints the free TLS slots, the
// handles and the private bytes of the process before and after the cycles, the median
// time of a cycle, and the median and worst time of event 3 with an idle worker, sent at
// moments spread over the worker's 100 ms tick.
//
// Each DLL and mode runs in a child process of its own, so a DLL that exhausts the
// process (an older build ran out of TLS slots after about a thousand loads and the
// runtime aborted the process) is reported instead of ending the benchmark.
//
// Usage: reload_bench [--cycles N] [--dll PATH] [--baseline PATH]
//   --dll       the DLL measured (default: ..\bin\Varnel.dll beside this program)
//   --baseline  another build, measured in the same run for a side-by-side table
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_util.h"
#include "devhost/core/devhost.h"

namespace {

struct Mode {
    const wchar_t* name;
    int32_t changeMode;
    int32_t timeUnit;
};
const Mode kModes[] = {{L"minutes", 0, 0}, {L"hours", 0, 1}, {L"days", 0, 2}, {L"theme", 1, 2}};

constexpr int kShutdownSamples = 60;

// Wine leaves PrivateUsage at 0; PagefileUsage is the same figure on Windows.
long long PrivateBytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return static_cast<long long>(counters.PagefileUsage);
}

// The child: runs the cycles and prints one line of figures.
int RunCycles(const std::wstring& dll, const Mode& mode, int cycles) {
    devhost::Init();
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring skins =
        std::wstring(temp) + L"varnel-reload-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(skins.c_str(), nullptr);
    devhost::SetSkinsFolder(skins);
    const std::vector<std::wstring> made = devhost::MakeSampleSkins(skins);
    devhost::SetCurrentSkin(made.front());
    devhost::SetMarshalling(true);
    devhost::SetSetting(1, nullptr, L"ChangeMode", mode.changeMode);
    devhost::SetSetting(1, L"TimeMode", L"TimeUnit", mode.timeUnit);
    devhost::SetSetting(1, L"TimeMode", L"Interval", 5);

    std::vector<double> times;
    times.reserve(static_cast<size_t>(cycles));
    const auto forget = [&](int) { devhost::ClearLog(); };
    devhost::Reload(dll, 3, 1, forget);  // the process's own first-time costs
    const int tlsBefore = devhost::FreeTlsSlots();
    const DWORD handlesBefore = devhost::HandleCount();
    const long long bytesBefore = PrivateBytes();
    const int64_t heapBefore = devhost::HeapBytesInUse();
    double start = NowMs();
    const int done = devhost::Reload(dll, cycles, 1, [&](int) {
        const double now = NowMs();
        times.push_back(now - start);
        devhost::ClearLog();
        start = NowMs();
    });
    std::sort(times.begin(), times.end());
    const double median = times.empty() ? 0 : times[times.size() / 2];
    const int tlsLost = tlsBefore - devhost::FreeTlsSlots();
    const DWORD handlesAfter = devhost::HandleCount();
    const long long bytesGrown = PrivateBytes() - bytesBefore;
    const long long heapGrown = static_cast<long long>(devhost::HeapBytesInUse() - heapBefore);

    std::vector<double> shutdowns;
    for (int i = 0; i < kShutdownSamples; ++i) {
        devhost::Plugin plugin{};
        if (!devhost::LoadPlugin(dll, &plugin)) break;
        plugin.handler(TS_EVENT_INITIALIZE, 1, reinterpret_cast<uint64_t>(devhost::Table()), 0);
        devhost::PumpUntil([] { return false; }, static_cast<DWORD>(20 + (i * 37) % 100));
        const double before = NowMs();
        plugin.handler(TS_EVENT_SHUTDOWN, 0, 0, 0);
        shutdowns.push_back(NowMs() - before);
        const HMODULE module = plugin.module;
        devhost::UnloadPlugin(&plugin);
        devhost::PumpUntil([module] { return !devhost::ModuleMapped(module); }, 5000);
        devhost::ClearLog();
    }
    std::sort(shutdowns.begin(), shutdowns.end());
    const double shutdownMedian = shutdowns.empty() ? 0 : shutdowns[shutdowns.size() / 2];
    const double shutdownWorst = shutdowns.empty() ? 0 : shutdowns.back();
    std::printf("RESULT %d %d %lu %lu %lld %lld %.1f %.1f %.1f\n", done, tlsLost, handlesBefore,
                handlesAfter, bytesGrown, heapGrown, median, shutdownMedian, shutdownWorst);
    std::fflush(stdout);
    devhost::RemoveTree(skins);
    return 0;
}

// Runs this program as a child for one DLL and mode; its output line, or empty.
std::string RunChild(const std::wstring& dll, const Mode& mode, int cycles) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) + L"\" --child \"" + dll + L"\" " + mode.name +
                           L" " + std::to_wstring(cycles);
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
        return {};
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &process);
    CloseHandle(writeEnd);
    std::string output;
    if (started) {
        char buffer[512];
        DWORD read = 0;
        while (ReadFile(readEnd, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
            output.append(buffer, read);
        }
        WaitForSingleObject(process.hProcess, INFINITE);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    CloseHandle(readEnd);
    const size_t at = output.find("RESULT ");
    return at == std::string::npos ? std::string() : output.substr(at);
}

void PrintRow(const wchar_t* build, const Mode& mode, int cycles, const std::string& line) {
    int done = 0;
    int tlsLost = 0;
    unsigned long handlesBefore = 0;
    unsigned long handlesAfter = 0;
    long long bytesGrown = 0;
    long long heapGrown = 0;
    double median = 0;
    double shutdownMedian = 0;
    double shutdownWorst = 0;
    if (line.empty() || std::sscanf(line.c_str(), "RESULT %d %d %lu %lu %lld %lld %lf %lf %lf", &done,
                                    &tlsLost, &handlesBefore, &handlesAfter, &bytesGrown, &heapGrown,
                                    &median, &shutdownMedian, &shutdownWorst) != 9) {
        std::printf("| %ls | %ls | aborted before %d cycles | | | | | | |\n", build, mode.name, cycles);
        return;
    }
    std::printf("| %ls | %ls | %d | %+d | %lu -> %lu | %+.1f KiB | %+.1f KiB | %.1f | %.1f / %.1f |\n",
                build, mode.name, done, -tlsLost, handlesBefore, handlesAfter,
                static_cast<double>(bytesGrown) / 1024.0, static_cast<double>(heapGrown) / 1024.0,
                median, shutdownMedian, shutdownWorst);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 5 && std::wstring(argv[1]) == L"--child") {
        for (const Mode& mode : kModes) {
            if (mode.name == std::wstring(argv[3])) {
                return RunCycles(argv[2], mode, _wtoi(argv[4]));
            }
        }
        return 2;
    }
    int cycles = 1000;
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring folder(self);
    folder = folder.substr(0, folder.find_last_of(L"\\/") + 1);
    std::wstring dll = folder + L"..\\bin\\Varnel.dll";
    std::wstring baseline;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::wstring flag = argv[i];
        if (flag == L"--cycles") {
            cycles = std::max(1, _wtoi(argv[i + 1]));
        } else if (flag == L"--dll") {
            dll = argv[i + 1];
        } else if (flag == L"--baseline") {
            baseline = argv[i + 1];
        }
    }
    std::printf("%d cycles of load, event 2, event 3, unload per mode, under a marshalling host\n\n",
                cycles);
    std::printf("| build | mode | cycles | free TLS slots | handles | private bytes | heap in use | median cycle (ms) | event 3, idle worker: median / worst (ms) |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|\n");
    for (const Mode& mode : kModes) {
        if (!baseline.empty()) {
            PrintRow(L"baseline", mode, cycles, RunChild(baseline, mode, cycles));
        }
        PrintRow(L"this", mode, cycles, RunChild(dll, mode, cycles));
    }
    return 0;
}
