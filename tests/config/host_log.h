// Helpers shared by the settings, catalog and rotation tests: the host's settings
// calls as compact text, and a probe for the state lock.
#ifndef VARNEL_TEST_HOST_LOG_H
#define VARNEL_TEST_HOST_LOG_H

#include <windows.h>

#include <string>
#include <vector>

#include "core/state.h"
#include "devhost/core/devhost.h"

namespace testlog {

inline bool IsSettingsSlot(int slot) { return (slot >= 65 && slot <= 69) || slot == 74; }

// "Name(args)" for every settings call in the log, in order.
inline std::vector<std::wstring> SettingsCalls(const std::vector<devhost::LogEntry>& log) {
    std::vector<std::wstring> calls;
    for (const devhost::LogEntry& entry : log) {
        if (IsSettingsSlot(entry.slot)) {
            calls.push_back(entry.name + L"(" + entry.args + L")");
        }
    }
    return calls;
}

inline std::vector<std::wstring> SettingsCalls() { return SettingsCalls(devhost::Log()); }

// The log's rendering of one string argument.
inline std::wstring Q(const std::wstring& text) { return devhost::LogQuote(text); }

inline std::wstring Section(const wchar_t* section) { return section ? Q(section) : L"null"; }

inline std::wstring WriteInt(const wchar_t* section, const std::wstring& key, int32_t value,
                             int32_t plugin = 1) {
    return L"WriteSettingInt(" + std::to_wstring(plugin) + L", " + Section(section) + L", " +
           Q(key) + L", " + std::to_wstring(value) + L")";
}
inline std::wstring WriteString(const wchar_t* section, const std::wstring& key,
                                const std::wstring& value, int32_t plugin = 1) {
    return L"WriteSettingString(" + std::to_wstring(plugin) + L", " + Section(section) + L", " +
           Q(key) + L", " + Q(value) + L")";
}
inline std::wstring ReadInt(const wchar_t* section, const std::wstring& key, int32_t fallback,
                            int32_t plugin = 1) {
    return L"ReadSettingInt(" + std::to_wstring(plugin) + L", " + Section(section) + L", " +
           Q(key) + L", " + std::to_wstring(fallback) + L")";
}
inline std::wstring ReadString(const wchar_t* section, const std::wstring& key,
                               int32_t plugin = 1) {
    return L"ReadSettingString(" + std::to_wstring(plugin) + L", " + Section(section) + L", " +
           Q(key) + L")";
}
inline std::wstring Delete(const wchar_t* section, const std::wstring& key, int32_t plugin = 1) {
    return L"DeleteSetting(" + std::to_wstring(plugin) + L", " + Section(section) + L", " +
           Q(key) + L")";
}
inline std::wstring Commit(int32_t plugin = 1) {
    return L"CommitSettings(" + std::to_wstring(plugin) + L")";
}

// True when another thread can take g_state.lock within the time given: called from
// inside a host call, it shows that the caller did not hold the lock across it.
inline bool StateLockIsFree(DWORD timeoutMs = 5000) {
    HANDLE probe = CreateThread(
        nullptr, 0,
        [](LPVOID) -> DWORD {
            ScopedLock guard(g_state.lock);
            return 0;
        },
        nullptr, 0, nullptr);
    if (probe == nullptr) {
        return false;
    }
    const bool free = WaitForSingleObject(probe, timeoutMs) == WAIT_OBJECT_0;
    CloseHandle(probe);
    return free;
}

}  // namespace testlog

#endif
