// tessera-explorer: draws schedules of host behaviour from seeds and plays them against
// the real Varnel.dll, a batch of schedules per child process.
//
//   tessera-explorer [--seed S] [--count N] [--jobs-per-child K] [--seconds T] [--parallel P] [--dll PATH]
//   tessera-explorer --replay SEED [--dll PATH]    one schedule in this process, verbose
//
// The DLL defaults to Varnel.dll beside the program. Exit code: 0 nothing violated,
// 1 a violation (each printed with its seed), 2 a usage or set-up error.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "devhost/explorer/batch.h"

namespace {

bool Number(const wchar_t* text, uint64_t* value) {
    wchar_t* end = nullptr;
    const unsigned long long parsed = std::wcstoull(text, &end, 10);
    if (end == text || *end != L'\0') return false;
    *value = parsed;
    return true;
}

std::wstring BesideProgram(const wchar_t* name) {
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring path = exe;
    return path.substr(0, path.find_last_of(L"\\/") + 1) + name;
}

int Usage() {
    std::fputs("usage: tessera-explorer [--seed S] [--count N] [--jobs-per-child K] [--seconds T] [--parallel P] "
               "[--dll PATH]\n       tessera-explorer --replay SEED [--dll PATH]\n",
               stderr);
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    explorer::Options options;
    options.dll = BesideProgram(L"Varnel.dll");
    bool child = false;
    bool replay = false;
    uint64_t replaySeed = 0;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        const bool hasValue = i + 1 < argc;
        uint64_t* target = arg == L"--seed"             ? &options.seed
                           : arg == L"--count"          ? &options.count
                           : arg == L"--jobs-per-child" ? &options.jobsPerChild
                           : arg == L"--seconds"        ? &options.seconds
                           : arg == L"--parallel"       ? &options.parallel
                           : arg == L"--replay"         ? &replaySeed
                                                        : nullptr;
        if (target != nullptr) {
            if (!hasValue || !Number(argv[++i], target)) return Usage();
            replay = replay || arg == L"--replay";
        } else if (arg == L"--dll" && hasValue) {
            options.dll = argv[++i];
        } else if (arg == L"--child") {
            child = true;
        } else {
            return Usage();
        }
    }
    for (wchar_t& c : options.dll) {
        if (c == L'/') c = L'\\';
    }
    if (!options.dll.empty() && options.dll[0] == L'\\' && (options.dll.size() < 2 || options.dll[1] != L'\\')) {
        options.dll = L"Z:" + options.dll;  // a Unix path, through Wine's root drive
    }
    if (replay) return explorer::Replay(options, replaySeed);
    if (child) return explorer::RunChild(options);
    return explorer::RunParent(options);
}
