#include "reliability/reliability_support.h"

#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "config/settings.h"
#include "core/clock.h"

namespace reliability {

using devhost::Utf8;

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

bool IsSettingsSlot(int slot) { return (slot >= 65 && slot <= 69) || slot == TS_SLOT_DELETE_SETTING; }

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

void SaveChecker::Install() {
    devhost::SetLogObserver([this](const devhost::LogEntry& entry) { OnCall(entry); });
}

void SaveChecker::Uninstall() { devhost::SetLogObserver(nullptr); }

size_t SaveChecker::SavesOnThread(DWORD threadId) const {
    std::lock_guard<std::mutex> guard(mutex_);
    for (const auto& pair : perThread_) {
        if (pair.first == threadId) return pair.second;
    }
    return 0;
}

std::vector<std::string> SaveChecker::FirstFaults() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return faultText_;
}

void SaveChecker::Fault(const std::string& what) {
    ++faults_;
    if (faultText_.size() < 10) {
        faultText_.push_back("save " + std::to_string(saves_.load() + 1) + ": " + what);
    }
    open_ = false;  // resynchronise at the next save's first call
}

void SaveChecker::OnCall(const devhost::LogEntry& entry) {
    if (!IsSettingsSlot(entry.slot)) return;
    std::lock_guard<std::mutex> guard(mutex_);
    const std::vector<devhost::LogValue>& args = entry.args;
    const devhost::LogValue absent = devhost::LogNote{};
    const devhost::LogValue& section = args.size() > 1 ? args[1] : absent;
    const std::wstring key = args.size() > 2 ? devhost::AsText(args[2]).value_or(L"") : L"";
    const std::wstring call = entry.name + L"(" + devhost::LogArgsText(args) + L")";
    if (!open_) {
        if (entry.slot != TS_SLOT_WRITE_SETTING_INT || key != L"ChangeMode" || section != devhost::LogValue(nullptr)) {
            Fault("a settings call outside a save: " + Utf8(call));
            return;
        }
        open_ = true;
        thread_ = entry.threadId;
        stage_ = Stage::Ints;
        ints_ = 0;
        count_ = -1;
        written_.clear();
        staleEnded_ = false;
        themes_ = 0;
    }
    if (entry.threadId != thread_) {
        Fault("calls of two saves interleaved: " + Utf8(call));
        return;
    }
    switch (stage_) {
    case Stage::Ints:
        if (entry.slot != TS_SLOT_WRITE_SETTING_INT) return Fault("expected an integer write, got " + Utf8(entry.name));
        if (++ints_ == 13) {
            if (section != devhost::LogValue(L"SelectedSkins") || key != L"Count") {
                return Fault("13th write is not Count");
            }
            count_ = devhost::AsNumber(args.back()).value_or(0);
            stage_ = count_ > 0 ? Stage::List : Stage::Stale;
        }
        return;
    case Stage::List:
        if (entry.slot != TS_SLOT_WRITE_SETTING_STRING || section != devhost::LogValue(L"SelectedSkins")) return Fault("list write expected");
        if (key != SelectedSkinKey(written_.size() + 1)) {
            return Fault("list key out of order: " + Utf8(key));
        }
        written_.push_back(devhost::AsText(args.back()).value_or(L""));
        if (static_cast<int64_t>(written_.size()) == count_) stage_ = Stage::Stale;
        return;
    case Stage::Stale:
        if (entry.slot == TS_SLOT_READ_SETTING_STRING) {
            if (staleEnded_) return Fault("a read after the stale pass ended");
            staleEnded_ = entry.result == std::vector<devhost::LogValue>{L""};
            return;
        }
        if (entry.slot == TS_SLOT_DELETE_SETTING) return;
        if (entry.slot != TS_SLOT_WRITE_SETTING_STRING || !staleEnded_) return Fault("stale pass cut short");
        stage_ = Stage::Theme;
        [[fallthrough]];
    case Stage::Theme:
        if (entry.slot == TS_SLOT_COMMIT_SETTINGS) {
            if (themes_ != 2) return Fault("commit before both theme writes");
            Finish();
            return;
        }
        if (entry.slot != TS_SLOT_WRITE_SETTING_STRING || section != devhost::LogValue(L"ThemeSync")) return Fault("theme write expected");
        ++themes_;
        return;
    case Stage::Done:
        return;
    }
}

void SaveChecker::Finish() {
    open_ = false;
    ++saves_;
    if (written_.size() > longest_.load()) longest_ = written_.size();
    bool counted = false;
    for (auto& pair : perThread_) {
        if (pair.first == thread_) {
            ++pair.second;
            counted = true;
        }
    }
    if (!counted) perThread_.emplace_back(thread_, 1);

    // The store as this save left it: the plug-in holds its save lock until the
    // commit returns, so no other save can have written in between.
    size_t listKeys = 0;
    bool countSeen = false;
    for (const devhost::SettingEntry& entry : devhost::Settings(1)) {
        if (!entry.section || *entry.section != L"SelectedSkins") continue;
        if (entry.key == L"Count") {
            countSeen = true;
            const auto* value = std::get_if<int32_t>(&entry.value);
            if (value == nullptr || *value != count_) {
                Fault("stored Count differs from the Count written");
            }
            continue;
        }
        ++listKeys;
        const auto* value = std::get_if<std::wstring>(&entry.value);
        bool known = false;
        for (size_t n = 1; n <= written_.size(); ++n) {
            if (entry.key == SelectedSkinKey(n)) {
                known = true;
                if (value == nullptr || *value != written_[n - 1]) {
                    Fault("stored " + Utf8(entry.key) + " differs from the value written");
                }
            }
        }
        if (!known) Fault("stale key left behind: " + Utf8(entry.key));
    }
    if (!countSeen) Fault("no Count stored");
    if (listKeys != written_.size()) Fault("stored list keys differ from Count");
}

}  // namespace reliability
