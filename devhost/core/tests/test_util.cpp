#include "test_util.h"

#include <atomic>
#include <cstdio>

TempFolder::TempFolder(const wchar_t* tag) {
    static std::atomic<unsigned> counter{0};
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    path_ = std::wstring(base) + L"devhost-" + tag + L"-" + std::to_wstring(GetCurrentProcessId()) +
            L"-" + std::to_wstring(++counter);
    devhost::RemoveTree(path_);
    EXPECT_TRUE(CreateDirectoryW(path_.c_str(), nullptr)) << "GetLastError " << GetLastError();
}

TempFolder::~TempFolder() { devhost::RemoveTree(path_); }

std::string Show(const std::wstring& text) {
    std::string out = "\"";
    for (wchar_t ch : text) {
        if (ch >= 0x20 && ch < 0x7F) {
            out.push_back(static_cast<char>(ch));
        } else {
            char esc[8];
            snprintf(esc, sizeof esc, "\\u%04X", static_cast<unsigned>(ch));
            out += esc;
        }
    }
    return out + "\"";
}
