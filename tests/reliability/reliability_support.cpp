#include "reliability/reliability_support.h"

#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "config/settings.h"
#include "core/clock.h"

namespace reliability {

void Summary(const std::string& suite, const std::string& name,
             const std::vector<std::pair<std::string, std::string>>& pairs) {
    std::string line = "RELIABILITY|" + suite + "|" + name;
    for (const auto& pair : pairs) {
        std::string value = pair.second;
        for (char& c : value) {
            if (c == '|' || c == '\n' || c == '\r') c = ' ';
        }
        line += "|" + pair.first + "=" + value;
    }
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

uint64_t EnvNumber(const char* name, uint64_t fallback) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') return fallback;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    return (end != nullptr && *end == '\0' && value > 0) ? value : fallback;
}

bool EnvSet(const char* name) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0';
}

Memory ProcessMemory() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    if (!K32GetProcessMemoryInfo(GetCurrentProcess(),
                                 reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                 sizeof(counters))) {
        return Memory{0, 0};
    }
    // Wine leaves PrivateUsage at 0; PagefileUsage is the same figure on Windows.
    return Memory{counters.WorkingSetSize, counters.PagefileUsage};
}

std::wstring PluginDllPath() {
    std::wstring path;
    if (const char* dll = std::getenv("VARNEL_DLL")) {
        path.assign(dll, dll + std::strlen(dll));
        if (!path.empty() && path[0] == L'/') path = L"Z:" + path;  // Unix path via Wine's root
    } else {
        wchar_t exe[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, exe, MAX_PATH);
        path = exe;
        path = path.substr(0, path.find_last_of(L"\\/") + 1) + L"Varnel.dll";
    }
    for (wchar_t& c : path) {
        if (c == L'/') c = L'\\';
    }
    return path;
}

namespace fastclock {
namespace {

std::atomic<int64_t> g_speed{1};
std::atomic<int64_t> g_origin{0};
std::atomic<int64_t> g_frozenAt{-1};
std::atomic<bool> g_localPinned{false};
SYSTEMTIME g_pinned{};
std::mutex g_pinnedMutex;

int64_t FastMonotonic() {
    const int64_t frozen = g_frozenAt.load();
    if (frozen >= 0) return frozen;
    const int64_t real = kSystemClock.monotonicNs();
    return g_origin.load() + (real - g_origin.load()) * g_speed.load();
}

void FastLocal(SYSTEMTIME* now) {
    if (g_localPinned.load()) {
        std::lock_guard<std::mutex> guard(g_pinnedMutex);
        *now = g_pinned;
        return;
    }
    kSystemClock.localTime(now);
}

}  // namespace

void Install(int64_t speed) {
    g_speed = speed;
    g_origin = kSystemClock.monotonicNs();
    g_frozenAt = -1;
    g_localPinned = false;
    g_clock = ClockSource{&FastMonotonic, &FastLocal};
}

void Freeze() { g_frozenAt = FastMonotonic(); }

void PinLocal(const SYSTEMTIME& time) {
    {
        std::lock_guard<std::mutex> guard(g_pinnedMutex);
        g_pinned = time;
    }
    g_localPinned = true;
}

void Uninstall() {
    g_clock = kSystemClock;
    g_localPinned = false;
    g_frozenAt = -1;
}

}  // namespace fastclock

namespace {

std::atomic<int> g_inFlight[TS_HOST_TABLE_SLOTS];

class InFlight {
public:
    explicit InFlight(int slot) : slot_(slot) { ++g_inFlight[slot_]; }
    ~InFlight() { --g_inFlight[slot_]; }
    InFlight(const InFlight&) = delete;
    InFlight& operator=(const InFlight&) = delete;

private:
    int slot_;
};

const HostServiceTable& Inner() { return *devhost::Table(); }

HostServiceTable MakeCountingTable() {
    HostServiceTable table = *devhost::Table();
    table.GetSkinsFolder = [] { InFlight f(32); return Inner().GetSkinsFolder(); };
    table.GetCurrentSkin = [] { InFlight f(33); return Inner().GetCurrentSkin(); };
    table.GetSkinDisplayName = [](const wchar_t* skin) {
        InFlight f(34);
        return Inner().GetSkinDisplayName(skin);
    };
    table.ApplySkin = [](const wchar_t* skin) { InFlight f(35); return Inner().ApplySkin(skin); };
    table.WriteSettingInt = [](int32_t id, const wchar_t* section, const wchar_t* key, int32_t v) {
        InFlight f(65);
        return Inner().WriteSettingInt(id, section, key, v);
    };
    table.WriteSettingString = [](int32_t id, const wchar_t* section, const wchar_t* key,
                                  const wchar_t* v) {
        InFlight f(66);
        return Inner().WriteSettingString(id, section, key, v);
    };
    table.ReadSettingInt = [](int32_t id, const wchar_t* section, const wchar_t* key, int32_t v) {
        InFlight f(67);
        return Inner().ReadSettingInt(id, section, key, v);
    };
    table.ReadSettingString = [](int32_t id, const wchar_t* section, const wchar_t* key) {
        InFlight f(68);
        return Inner().ReadSettingString(id, section, key);
    };
    table.CommitSettings = [](int32_t id) { InFlight f(69); return Inner().CommitSettings(id); };
    table.GetItemParamInt = [](uint32_t item, int32_t index, int32_t v) {
        InFlight f(72);
        return Inner().GetItemParamInt(item, index, v);
    };
    table.GetItemParamString = [](uint32_t item, int32_t index) {
        InFlight f(73);
        return Inner().GetItemParamString(item, index);
    };
    table.DeleteSetting = [](int32_t id, const wchar_t* section, const wchar_t* key) {
        InFlight f(74);
        return Inner().DeleteSetting(id, section, key);
    };
    return table;
}

}  // namespace

const HostServiceTable* CountingTable() {
    static const HostServiceTable table = MakeCountingTable();
    return &table;
}

int CallsInFlight() {
    int total = 0;
    for (const auto& n : g_inFlight) total += n.load();
    return total;
}

int CallsInFlight(int slot) { return g_inFlight[slot].load(); }

}  // namespace reliability
