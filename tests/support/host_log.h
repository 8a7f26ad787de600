// Helpers shared by the suites that check what the host is handed: host calls as
// values, expected call sequences with optional entries, and a probe for the state lock.
#ifndef VARNEL_TEST_HOST_LOG_H
#define VARNEL_TEST_HOST_LOG_H

#include <windows.h>

#include <initializer_list>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "core/state.h"
#include "devhost/core/devhost.h"
#include "devhost/core/text_file.h"

namespace testlog {

inline bool IsSettingsSlot(int slot) { return (slot >= 65 && slot <= 69) || slot == TS_SLOT_DELETE_SETTING; }

// A settings call as the tests expect it: the slot's name and its arguments.
struct Call {
    std::wstring name;
    std::vector<devhost::LogValue> args;
    bool operator==(const Call& other) const { return name == other.name && args == other.args; }
    bool operator!=(const Call& other) const { return !(*this == other); }
};
// Assertions print a call as the log shows it to people.
inline void PrintTo(const Call& call, std::ostream* out) {
    *out << devhost::Utf8(call.name + L"(" + devhost::LogArgsText(call.args) + L")");
}

// Every settings call in the log, in order.
inline std::vector<Call> SettingsCalls(const std::vector<devhost::LogEntry>& log) {
    std::vector<Call> calls;
    for (const devhost::LogEntry& entry : log) {
        if (IsSettingsSlot(entry.slot)) {
            calls.push_back({entry.name, entry.args});
        }
    }
    return calls;
}

inline std::vector<Call> SettingsCalls() { return SettingsCalls(devhost::Log()); }

// The calls of `log` made on `thread` (0: on any) whose names are among `names`
// (empty: every name), in order.
inline std::vector<Call> CallsNamed(const std::vector<devhost::LogEntry>& log, DWORD thread,
                                    std::initializer_list<const wchar_t*> names = {}) {
    std::vector<Call> calls;
    for (const devhost::LogEntry& entry : log) {
        bool named = names.size() == 0;
        for (const wchar_t* name : names) named = named || entry.name == name;
        if (named && (thread == 0 || entry.threadId == thread)) calls.push_back({entry.name, entry.args});
    }
    return calls;
}

// One entry of an expected call sequence; an optional one may be absent.
struct Expected {
    Call call;
    bool optional = false;
    Expected(Call c, bool o = false) : call(std::move(c)), optional(o) {}  // NOLINT: a Call reads as required
};
inline Expected Optional(Call call) { return Expected(std::move(call), true); }

// "" when `got` is `expected`, each optional entry there or not; else where the two part,
// with both calls, for the assertion to print.
inline std::string CompareSequence(const std::vector<Call>& got, const std::vector<Expected>& expected) {
    auto text = [](const Call& call) {
        std::ostringstream out;
        PrintTo(call, &out);
        return out.str();
    };
    size_t i = 0;
    size_t j = 0;
    while (i < got.size() && j < expected.size()) {
        if (got[i] == expected[j].call) {
            ++i;
            ++j;
        } else if (expected[j].optional) {
            ++j;
        } else {
            return "call " + std::to_string(i) + ": expected " + text(expected[j].call) + ", got " + text(got[i]);
        }
    }
    while (j < expected.size() && expected[j].optional) ++j;
    if (i < got.size()) return "call " + std::to_string(i) + ": unexpected " + text(got[i]);
    if (j < expected.size()) return "call " + std::to_string(i) + ": missing " + text(expected[j].call);
    return "";
}

inline devhost::LogValue Section(const wchar_t* section) {
    if (section == nullptr) return nullptr;
    return std::wstring(section);
}

// The keys of `section` that the plug-in read as strings, in order.
inline std::vector<std::wstring> StringKeysRead(const std::vector<devhost::LogEntry>& log,
                                                const wchar_t* section, int32_t plugin = 1) {
    std::vector<std::wstring> keys;
    for (const devhost::LogEntry& read : devhost::CallsOf(TS_SLOT_READ_SETTING_STRING, log)) {
        if (read.args.size() == 3 && read.args[0] == devhost::LogValue(plugin) &&
            read.args[1] == Section(section)) {
            keys.push_back(devhost::AsText(read.args[2]).value_or(L""));
        }
    }
    return keys;
}

inline Call WriteInt(const wchar_t* section, const std::wstring& key, int32_t value, int32_t plugin = 1) {
    return {L"WriteSettingInt", {plugin, Section(section), key, value}};
}
inline Call WriteString(const wchar_t* section, const std::wstring& key, const std::wstring& value,
                        int32_t plugin = 1) {
    return {L"WriteSettingString", {plugin, Section(section), key, value}};
}
inline Call ReadInt(const wchar_t* section, const std::wstring& key, int32_t fallback, int32_t plugin = 1) {
    return {L"ReadSettingInt", {plugin, Section(section), key, fallback}};
}
inline Call ReadString(const wchar_t* section, const std::wstring& key, int32_t plugin = 1) {
    return {L"ReadSettingString", {plugin, Section(section), key}};
}
inline Call Delete(const wchar_t* section, const std::wstring& key, int32_t plugin = 1) {
    return {L"DeleteSetting", {plugin, Section(section), key}};
}
inline Call Commit(int32_t plugin = 1) { return {L"CommitSettings", {plugin}}; }

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
