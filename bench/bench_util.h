// What the benchmarks share: a high-resolution clock in milliseconds and a Skins folder
// of many entries.
#ifndef VARNEL_BENCH_UTIL_H
#define VARNEL_BENCH_UTIL_H

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

inline double NowMs() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) * 1000.0 / frequency;
}

// The middle value (the upper one of an even count); `values` must not be empty.
inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A new folder of `count` empty skin files "Skin 00000.tskin" onwards, under the
// temp folder.
inline std::wstring MakeSkinsFolder(const wchar_t* tag, size_t count) {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    std::wstring folder = std::wstring(base) + L"varnel-bench-" + tag + L"-" +
                          std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    for (size_t i = 0; i < count; ++i) {
        wchar_t name[32];
        swprintf(name, 32, L"\\Skin %05u.tskin", static_cast<unsigned>(i));
        HANDLE file = CreateFileW((folder + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
    return folder;
}

// Removes a folder made by MakeSkinsFolder with the files in it.
inline void RemoveSkinsFolder(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                DeleteFileW((folder + L"\\" + found.cFileName).c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

#endif
