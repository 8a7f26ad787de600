// Generated settings stores, each loaded, saved, loaded again and saved again.
//
// 1. Every store is checked against a model of the load: what each key reads as,
//    with only timeUnit and interval corrected and the 16-bit fields cut.
// 2. The first save writes exactly what was loaded, the second save leaves a store
//    identical to the first's, and every case stays within a bound on host calls.
// 3. The generator is seeded (VARNEL_FUZZ_SEED replays a run; VARNEL_FUZZ_CASES
//    changes the number of stores); a failing store is reduced and printed as code
//    for the table of kept stores below.
#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <initializer_list>
#include <map>
#include <random>
#include <sstream>
#include <thread>

#include "config/settings.h"
#include "engine/schedule.h"
#include "reliability/reliability_support.h"

namespace {

using devhost::SettingEntry;
using devhost::SettingValue;
using Store = std::vector<SettingEntry>;

constexpr uint64_t kDefaultCases = 10000;
constexpr uint64_t kCaseHangMs = 30000;
// How far past the last non-empty list key the load may read.
constexpr int64_t kEmptyRun = 1000;

const wchar_t kTimeMode[] = L"TimeMode";
const wchar_t kLastChanged[] = L"LastChanged";
const wchar_t kSelected[] = L"SelectedSkins";
const wchar_t kThemeSync[] = L"ThemeSync";

const SYSTEMTIME kNow = {2026, 3, 2, 10, 21, 15, 42, 250};  // what the load's clock reads

std::wstring U(std::initializer_list<unsigned> units) {
    std::wstring text;
    for (unsigned unit : units) text.push_back(static_cast<wchar_t>(unit));
    return text;
}

SettingEntry Entry(const wchar_t* section, const std::wstring& key, SettingValue value) {
    SettingEntry entry{std::nullopt, key, std::move(value)};
    if (section != nullptr) entry.section = std::wstring(section);
    return entry;
}

// What the host's read slots return for a store.
class Reader {
public:
    explicit Reader(const Store& store) {
        for (const SettingEntry& entry : store) map_[{entry.section, entry.key}] = entry.value;
    }
    int32_t Int(const wchar_t* section, const std::wstring& key, int32_t fallback) const {
        const SettingValue* value = Find(section, key);
        return value != nullptr && std::holds_alternative<int32_t>(*value) ? std::get<int32_t>(*value)
                                                                           : fallback;
    }
    // The plug-in sees a string only up to its first terminator.
    std::wstring String(const wchar_t* section, const std::wstring& key) const {
        const SettingValue* value = Find(section, key);
        if (value == nullptr || !std::holds_alternative<std::wstring>(*value)) return L"";
        const std::wstring& text = std::get<std::wstring>(*value);
        return text.substr(0, text.find(L'\0'));
    }

private:
    const SettingValue* Find(const wchar_t* section, const std::wstring& key) const {
        std::optional<std::wstring> s;
        if (section != nullptr) s = std::wstring(section);
        auto it = map_.find({s, key});
        return it == map_.end() ? nullptr : &it->second;
    }
    std::map<std::pair<std::optional<std::wstring>, std::wstring>, SettingValue> map_;
};

// What a load of a store must give: the settings, and the highest list position the
// load reads.
struct Expected {
    Settings settings;
    int64_t lastRead = 0;
};

uint16_t Low16(int32_t value) { return static_cast<uint16_t>(static_cast<uint32_t>(value) & 0xFFFFu); }

Expected Model(const Store& store) {
    const Reader r(store);
    Expected e;
    Settings& m = e.settings;
    m.changeMode = static_cast<ChangeMode>(r.Int(nullptr, L"ChangeMode", 0));
    m.targetSkins = static_cast<RotationList>(r.Int(kTimeMode, L"TargetSkins", 0));
    m.changeHour = Low16(r.Int(kTimeMode, L"ChangeHour", 0));
    m.changeMinute = Low16(r.Int(kTimeMode, L"ChangeMinute", 0));
    m.rotationIndex = r.Int(kTimeMode, L"Index", 0);
    const int32_t unit = r.Int(kTimeMode, L"TimeUnit", -1);
    m.timeUnit = static_cast<TimeUnit>(unit < 0 ? 2 : unit);
    const int32_t interval = r.Int(kTimeMode, L"Interval", -1);
    m.interval = interval < 1 ? 1 : interval;
    SYSTEMTIME& last = m.lastChanged;
    last.wYear = Low16(r.Int(kLastChanged, L"Year", 0));
    last.wMonth = Low16(r.Int(kLastChanged, L"Month", 0));
    last.wDay = Low16(r.Int(kLastChanged, L"Day", 0));
    last.wHour = Low16(r.Int(kLastChanged, L"Hour", 0));
    last.wMinute = Low16(r.Int(kLastChanged, L"Minute", 0));
    if (m.changeMode != ChangeMode::kThemeSync && m.timeUnit == TimeUnit::kDays &&
        (last.wYear == 0 || last.wMonth == 0 || last.wDay == 0)) {
        last = SYSTEMTIME{kNow.wYear, kNow.wMonth, 0, kNow.wDay, kNow.wHour, kNow.wMinute, 0, 0};
    }
    const int64_t count = r.Int(kSelected, L"Count", 0);
    int64_t empties = 0;
    for (int64_t n = 1; n <= count && empties < kEmptyRun; ++n) {
        e.lastRead = n;
        std::wstring value = r.String(kSelected, SelectedSkinKey(static_cast<size_t>(n)));
        if (value.empty()) {
            ++empties;
        } else {
            empties = 0;
            m.selectedSkins.push_back(SkinEntry{std::move(value), L""});
        }
    }
    // With the selected list active and the target skin (none yet) not in it, the
    // load's resynchronisation puts the index at 0; with allSkins active it is empty.
    if (m.targetSkins == RotationList::kSelectedSkins) m.rotationIndex = 0;
    m.lightThemeSkin = r.String(kThemeSync, L"LightTheme");
    m.darkThemeSkin = r.String(kThemeSync, L"DarkTheme");
    return e;
}

std::vector<std::wstring> Identifiers(const SkinList& skins) {
    std::vector<std::wstring> ids;
    for (const SkinEntry& entry : skins) ids.push_back(entry.identifier);
    return ids;
}

// "" when equal, else the first difference. The load's clock has no day of the week,
// seconds or milliseconds to compare.
std::string Compare(const Settings& want, const Settings& got) {
    std::ostringstream out;
    auto field = [&](const char* name, int64_t a, int64_t b) {
        if (a != b && out.tellp() == 0) out << name << ": expected " << a << ", got " << b;
    };
    field("changeMode", static_cast<int64_t>(want.changeMode), static_cast<int64_t>(got.changeMode));
    field("targetSkins", static_cast<int64_t>(want.targetSkins), static_cast<int64_t>(got.targetSkins));
    field("timeUnit", static_cast<int64_t>(want.timeUnit), static_cast<int64_t>(got.timeUnit));
    field("interval", want.interval, got.interval);
    field("rotationIndex", want.rotationIndex, got.rotationIndex);
    field("changeHour", want.changeHour, got.changeHour);
    field("changeMinute", want.changeMinute, got.changeMinute);
    field("lastChanged.wYear", want.lastChanged.wYear, got.lastChanged.wYear);
    field("lastChanged.wMonth", want.lastChanged.wMonth, got.lastChanged.wMonth);
    field("lastChanged.wDay", want.lastChanged.wDay, got.lastChanged.wDay);
    field("lastChanged.wHour", want.lastChanged.wHour, got.lastChanged.wHour);
    field("lastChanged.wMinute", want.lastChanged.wMinute, got.lastChanged.wMinute);
    field("selected count", static_cast<int64_t>(want.selectedSkins.size()),
          static_cast<int64_t>(got.selectedSkins.size()));
    if (out.tellp() == 0 && Identifiers(want.selectedSkins) != Identifiers(got.selectedSkins)) {
        out << "selected identifiers differ";
    }
    if (out.tellp() == 0 && want.lightThemeSkin != got.lightThemeSkin) out << "lightThemeSkin differs";
    if (out.tellp() == 0 && want.darkThemeSkin != got.darkThemeSkin) out << "darkThemeSkin differs";
    return out.str();
}

// The stored form a save of `m` must leave for the keys the plug-in owns.
std::string CheckSaved(const Settings& m, const Store& saved) {
    const Reader r(saved);
    std::ostringstream out;
    auto integer = [&](const wchar_t* section, const wchar_t* key, int64_t want) {
        const int64_t got = r.Int(section, key, INT32_MIN);
        if (got != want && out.tellp() == 0) {
            out << "saved " << devhost::Utf8(key) << ": expected " << want << ", got " << got;
        }
    };
    integer(nullptr, L"ChangeMode", static_cast<int64_t>(m.changeMode));
    integer(kTimeMode, L"TargetSkins", static_cast<int64_t>(m.targetSkins));
    integer(kTimeMode, L"TimeUnit", static_cast<int64_t>(m.timeUnit));
    integer(kTimeMode, L"Interval", m.interval);
    integer(kTimeMode, L"ChangeHour", m.changeHour);
    integer(kTimeMode, L"ChangeMinute", m.changeMinute);
    integer(kTimeMode, L"Index", m.rotationIndex);
    integer(kLastChanged, L"Year", m.lastChanged.wYear);
    integer(kLastChanged, L"Month", m.lastChanged.wMonth);
    integer(kLastChanged, L"Day", m.lastChanged.wDay);
    integer(kLastChanged, L"Hour", m.lastChanged.wHour);
    integer(kLastChanged, L"Minute", m.lastChanged.wMinute);
    integer(kSelected, L"Count", static_cast<int64_t>(m.selectedSkins.size()));
    for (size_t n = 1; n <= m.selectedSkins.size() && out.tellp() == 0; ++n) {
        if (r.String(kSelected, SelectedSkinKey(n)) != m.selectedSkins[n - 1].identifier) out << "saved Skin " << n << " differs";
    }
    if (out.tellp() == 0 && !r.String(kSelected, SelectedSkinKey(m.selectedSkins.size() + 1)).empty()) {
        out << "a stale key right after the list survived the save";
    }
    if (out.tellp() == 0 && r.String(kThemeSync, L"LightTheme") != m.lightThemeSkin) out << "saved LightTheme differs";
    if (out.tellp() == 0 && r.String(kThemeSync, L"DarkTheme") != m.darkThemeSkin) out << "saved DarkTheme differs";
    return out.str();
}

bool SameEntry(const SettingEntry& a, const SettingEntry& b) {
    return a.section == b.section && a.key == b.key && a.value == b.value;
}

std::vector<std::vector<devhost::LogValue>> Writes(const std::vector<devhost::LogEntry>& log) {
    std::vector<std::vector<devhost::LogValue>> writes;
    for (const devhost::LogEntry& entry : log) {
        if (entry.slot == TS_SLOT_WRITE_SETTING_INT || entry.slot == TS_SLOT_WRITE_SETTING_STRING) writes.push_back(entry.args);
    }
    return writes;
}

size_t CountListKeys(const Store& store) {
    size_t keys = 0;
    for (const SettingEntry& entry : store) keys += entry.section && *entry.section == kSelected ? 1 : 0;
    return keys;
}

struct Outcome {
    std::string failure;  // "" when the case held
    size_t hostCalls = 0;
    size_t staleDeleted = 0;
};

void FreshPlugin() {
    ResetPluginState();
    g_state.moduleHandle = TestModule();
    g_state.hostTable = devhost::Table();
    g_state.hostAccepted = 1;
    g_state.pluginId = 1;
}

// Load, save, load, save; the failure names the first thing that did not hold.
Outcome RunCase(const Store& store) {
    Outcome outcome;
    devhost::ClearSettings();
    for (const SettingEntry& entry : store) {
        const wchar_t* section = entry.section ? entry.section->c_str() : nullptr;
        if (std::holds_alternative<int32_t>(entry.value)) {
            devhost::SetSetting(1, section, entry.key, std::get<int32_t>(entry.value));
        } else {
            devhost::SetSetting(1, section, entry.key, std::get<std::wstring>(entry.value));
        }
    }
    const Expected want = Model(store);
    // Each list key may be read by the load and read and deleted by each save; the
    // load may read kEmptyRun absent keys past the last one found.
    const size_t bound = 2 * (40 + 3 * CountListKeys(store) + want.settings.selectedSkins.size()) +
                         static_cast<size_t>(want.lastRead) + 10;

    devhost::ClearLog();
    FreshPlugin();
    LoadSettings();
    outcome.failure = Compare(want.settings, CopySettings());
    if (!outcome.failure.empty()) {
        outcome.failure = "first load: " + outcome.failure;
        return outcome;
    }
    SaveSettings();
    const std::vector<devhost::LogEntry> firstLog = devhost::Log();
    const Store first = devhost::Settings(1);
    outcome.failure = CheckSaved(want.settings, first);
    if (!outcome.failure.empty()) {
        outcome.failure = "first save: " + outcome.failure;
        return outcome;
    }
    for (const devhost::LogEntry& entry : firstLog) outcome.staleDeleted += entry.slot == TS_SLOT_DELETE_SETTING ? 1 : 0;

    FreshPlugin();
    devhost::ClearLog();
    LoadSettings();
    outcome.failure = Compare(want.settings, CopySettings());
    if (!outcome.failure.empty()) {
        outcome.failure = "second load: " + outcome.failure;
        return outcome;
    }
    SaveSettings();
    const std::vector<devhost::LogEntry> secondLog = devhost::Log();
    const Store second = devhost::Settings(1);
    outcome.hostCalls = firstLog.size() + secondLog.size();

    if (Writes(firstLog) != Writes(secondLog)) {
        outcome.failure = "the two saves wrote different values";
    } else if (first.size() != second.size() ||
               !std::equal(first.begin(), first.end(), second.begin(), SameEntry)) {
        outcome.failure = "the second save left a store different from the first's";
    } else if (outcome.hostCalls > bound) {
        outcome.failure = "host calls " + std::to_string(outcome.hostCalls) + " above the bound " +
                          std::to_string(bound);
    } else if (devhost::CommitCount() < 2) {
        outcome.failure = "a save did not commit";
    }
    return outcome;
}

class Generator {
public:
    explicit Generator(uint64_t seed) : rng_(seed) {}

    Store Next() {
        Store store;
        Int(store, nullptr, L"ChangeMode", 3);
        for (const wchar_t* key : {L"TargetSkins", L"TimeUnit", L"Interval", L"ChangeHour", L"ChangeMinute", L"Index"}) {
            Int(store, kTimeMode, key, 100);
        }
        for (const wchar_t* key : {L"Year", L"Month", L"Day", L"Hour", L"Minute"}) Int(store, kLastChanged, key, 3000);

        const int64_t positions = Pick(4) == 0 ? 0 : static_cast<int64_t>(Below(Pick(8) == 0 ? 1200 : 40));
        Int(store, kSelected, L"Count", static_cast<int32_t>(positions + 5));
        const unsigned density = static_cast<unsigned>(Below(101));
        for (int64_t n = 1; n <= positions; ++n) {
            if (Below(100) >= density) continue;
            const std::wstring key = SelectedSkinKey(static_cast<size_t>(n));
            if (Pick(25) == 0) {
                store.push_back(Entry(kSelected, key, static_cast<int32_t>(rng_())));
            } else {
                store.push_back(Entry(kSelected, key, Text()));
            }
        }
        if (Pick(6) == 0) {  // a key far beyond the rest, behind a long gap
            store.push_back(Entry(kSelected, SelectedSkinKey(static_cast<size_t>(positions + 1 + Below(2500))), Text()));
        }
        if (Pick(8) == 0) {  // names the plug-in never builds
            for (const wchar_t* key : {L"Skin1", L"skin001", L"Skin0001", L"Skin-01", L""}) {
                if (Pick(2) == 0) store.push_back(Entry(kSelected, key, Text()));
            }
        }
        for (const wchar_t* key : {L"LightTheme", L"DarkTheme"}) {
            const unsigned kind = Pick(10);
            if (kind == 0) continue;
            store.push_back(kind == 1 ? Entry(kThemeSync, key, static_cast<int32_t>(rng_()))
                                      : Entry(kThemeSync, key, Text()));
        }
        if (Pick(10) == 0) store.push_back(Entry(kTimeMode, L"Unrelated", Text()));
        // The store's own order must not matter; Settings() sorts anyway.
        std::shuffle(store.begin(), store.end(), rng_);
        return store;
    }

private:
    unsigned Pick(unsigned n) { return static_cast<unsigned>(rng_() % n); }
    uint64_t Below(uint64_t n) { return n == 0 ? 0 : rng_() % n; }

    void Int(Store& store, const wchar_t* section, const wchar_t* key, int32_t plausible) {
        static const int32_t kExtremes[] = {INT32_MIN, INT32_MIN + 1, -65537, -65536, -65535, -2, -1, 0,
                                            1, 2, 3, 23, 24, 59, 60, 1601, 30827, 30828, 65535, 65536,
                                            65537, 131071, INT32_MAX - 1, INT32_MAX};
        switch (Pick(10)) {
        case 0:
        case 1:
            return;  // absent
        case 2:
            store.push_back(Entry(section, key, Text()));  // a string where a number belongs
            return;
        case 3:
        case 4:
        case 5:
            store.push_back(Entry(section, key, kExtremes[Pick(sizeof(kExtremes) / sizeof(kExtremes[0]))]));
            return;
        case 6:
        case 7:
            store.push_back(Entry(section, key, static_cast<int32_t>(rng_())));
            return;
        default:
            store.push_back(Entry(section, key, static_cast<int32_t>(Below(static_cast<uint64_t>(plausible) + 3) - 1)));
            return;
        }
    }

    std::wstring Text() {
        size_t length = 0;
        const unsigned kind = Pick(100);
        const unsigned tail = Pick(10);
        if (kind < 10) {
            length = 0;
        } else if (kind < 70) {
            length = 1 + Below(20);
        } else if (kind < 94) {
            length = 20 + Below(300);
        } else if (kind < 99 || tail != 0) {
            length = 300 + Below(4000);
        } else {
            length = 30000 + Below(2768);  // up to 32,767 units
        }
        std::wstring text;
        text.reserve(length);
        while (text.size() < length) {
            const unsigned what = Pick(100);
            if (what < 40) {
                text.push_back(static_cast<wchar_t>(0x20 + Pick(0x5F)));
            } else if (what < 60) {
                text.push_back(static_cast<wchar_t>(0x80 + Pick(0xD800 - 0x80)));
            } else if (what < 70) {
                text.push_back(static_cast<wchar_t>(0xD800 + Pick(0x800)));  // a lone surrogate
            } else if (what < 78 && text.size() + 1 < length) {
                text.push_back(static_cast<wchar_t>(0xD800 + Pick(0x400)));
                text.push_back(static_cast<wchar_t>(0xDC00 + Pick(0x400)));
            } else if (what < 88) {
                text.push_back(static_cast<wchar_t>(0xE000 + Pick(0x2000)));
            } else if (what < 95) {
                static const wchar_t kSpecial[] = L"\\/\"'%:*?<>\t\r\n\x1b\x7f\xfeff\xfffe\xffff";
                text.push_back(kSpecial[Pick(sizeof(kSpecial) / sizeof(wchar_t) - 1)]);
            } else if (what < 96) {
                text.push_back(L'\0');  // the plug-in sees the text up to here
            } else {
                text.push_back(static_cast<wchar_t>(1 + Pick(0x1F)));
            }
        }
        return text;
    }

    std::mt19937_64 rng_;
};

// Smaller stores that fail the same way: drop entries, then shorten strings.
Store Reduce(Store store, const std::string& failure) {
    auto stillFails = [&](const Store& candidate) { return !RunCase(candidate).failure.empty(); };
    (void)failure;
    bool progress = true;
    for (int round = 0; progress && round < 20; ++round) {
        progress = false;
        for (size_t i = 0; i < store.size();) {
            Store candidate = store;
            candidate.erase(candidate.begin() + static_cast<std::ptrdiff_t>(i));
            if (stillFails(candidate)) {
                store = std::move(candidate);
                progress = true;
            } else {
                ++i;
            }
        }
        for (SettingEntry& entry : store) {
            auto* text = std::get_if<std::wstring>(&entry.value);
            while (text != nullptr && text->size() > 1) {
                Store candidate = store;
                const size_t at = static_cast<size_t>(&entry - store.data());
                std::get<std::wstring>(candidate[at].value).resize(text->size() / 2);
                if (!stillFails(candidate)) break;
                store = std::move(candidate);
                text = std::get_if<std::wstring>(&store[at].value);
                progress = true;
            }
        }
    }
    return store;
}

// The store as C++ for the kept table.
std::string AsCode(const Store& store) {
    std::ostringstream out;
    out << "{\n";
    for (const SettingEntry& entry : store) {
        out << "    Entry(" << (entry.section ? "L\"" + devhost::Utf8(*entry.section) + "\"" : "nullptr")
            << ", L\"" << devhost::Utf8(entry.key) << "\", ";
        if (const auto* value = std::get_if<int32_t>(&entry.value)) {
            out << "int32_t{" << *value << "}";
        } else {
            out << "U({";
            const std::wstring& text = std::get<std::wstring>(entry.value);
            for (size_t i = 0; i < text.size(); ++i) out << (i ? ", " : "") << "0x" << std::hex << unsigned(text[i]) << std::dec;
            out << "})";
        }
        out << "),\n";
    }
    out << "}";
    return out.str();
}

class BadSettingsTest : public PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        reliability::fastclock::Install(1);
        reliability::fastclock::PinLocal(kNow);
    }
    void TearDown() override {
        PluginTest::TearDown();
        reliability::fastclock::Uninstall();
    }
};

TEST_F(BadSettingsTest, GeneratedStoresLoadNormalisedAndSaveStably) {
    const uint64_t seed = reliability::EnvNumber("VARNEL_FUZZ_SEED", GetTickCount64());
    const uint64_t cases = reliability::EnvNumber("VARNEL_FUZZ_CASES", kDefaultCases);
    std::printf("bad settings: %llu stores, seed %llu (VARNEL_FUZZ_SEED to replay)\n",
                static_cast<unsigned long long>(cases), static_cast<unsigned long long>(seed));

    std::atomic<uint64_t> caseStarted{GetTickCount64()};
    std::atomic<uint64_t> current{0};
    std::atomic<bool> done{false};
    // A case that never ends is reported by number before the process goes.
    std::thread monitor([&] {
        while (!done) {
            if (GetTickCount64() - caseStarted > kCaseHangMs) {
                reliability::Summary("fuzz", "hang", {{"seed", std::to_string(seed)}, {"case", std::to_string(current.load())}});
                TerminateProcess(GetCurrentProcess(), 3);
            }
            Sleep(200);
        }
    });

    Generator generator(seed);
    const uint64_t started = GetTickCount64();
    size_t failures = 0, maxCalls = 0, longStrings = 0, lists = 0, deletions = 0;
    for (uint64_t n = 1; n <= cases; ++n) {
        current = n;
        caseStarted = GetTickCount64();
        const Store store = generator.Next();
        for (const SettingEntry& entry : store) {
            const auto* text = std::get_if<std::wstring>(&entry.value);
            longStrings += text != nullptr && text->size() >= 30000 ? 1 : 0;
        }
        const Outcome outcome = RunCase(store);
        maxCalls = std::max(maxCalls, outcome.hostCalls);
        deletions += outcome.staleDeleted;
        lists += g_state.settings.selectedSkins.empty() ? 0 : 1;
        if (!outcome.failure.empty()) {
            ++failures;
            ADD_FAILURE() << "case " << n << " of seed " << seed << ": " << outcome.failure;
            if (failures <= 3) {
                const Store reduced = Reduce(store, outcome.failure);
                std::printf("reduced store of case %llu (%s):\n%s\n", static_cast<unsigned long long>(n),
                            RunCase(reduced).failure.c_str(), AsCode(reduced).c_str());
            }
        }
    }
    done = true;
    monitor.join();
    reliability::Summary("fuzz", "stores",
                         {{"cases", std::to_string(cases)},
                          {"seconds", std::to_string((GetTickCount64() - started) / 1000)},
                          {"threads", "1"},
                          {"seed", std::to_string(seed)},
                          {"failures", std::to_string(failures)},
                          {"with_selected_list", std::to_string(lists)},
                          {"strings_30000_plus", std::to_string(longStrings)},
                          {"stale_deletions", std::to_string(deletions)},
                          {"max_host_calls_per_case", std::to_string(maxCalls)}});
    EXPECT_EQ(0u, failures);
    EXPECT_EQ(0, devhost::UnexpectedCalls());
}

// Stores kept as regular cases: the corners the generator reaches only by chance.
TEST_F(BadSettingsTest, KeptStoresLoadNormalisedAndSaveStably) {
    const std::wstring lone = U({0xD800});
    const std::wstring reversed = U({0xDC00, 0xD800, 0x41});
    const std::wstring longest(32767, L'\x263A');
    const std::vector<std::pair<const char*, Store>> kept = {
        {"every integer at its lowest",
         {Entry(nullptr, L"ChangeMode", INT32_MIN), Entry(kTimeMode, L"TargetSkins", INT32_MIN),
          Entry(kTimeMode, L"TimeUnit", INT32_MIN), Entry(kTimeMode, L"Interval", INT32_MIN),
          Entry(kTimeMode, L"ChangeHour", INT32_MIN), Entry(kTimeMode, L"ChangeMinute", INT32_MIN),
          Entry(kTimeMode, L"Index", INT32_MIN), Entry(kLastChanged, L"Year", INT32_MIN),
          Entry(kLastChanged, L"Month", -1), Entry(kLastChanged, L"Day", -1), Entry(kSelected, L"Count", INT32_MIN)}},
        {"every integer at its highest, days mode with a date that is none",
         {Entry(nullptr, L"ChangeMode", 0), Entry(kTimeMode, L"TargetSkins", INT32_MAX),
          Entry(kTimeMode, L"TimeUnit", 2), Entry(kTimeMode, L"Interval", INT32_MAX),
          Entry(kTimeMode, L"ChangeHour", INT32_MAX), Entry(kTimeMode, L"ChangeMinute", 65536),
          Entry(kTimeMode, L"Index", INT32_MAX), Entry(kLastChanged, L"Year", 65535),
          Entry(kLastChanged, L"Month", 13), Entry(kLastChanged, L"Day", 32), Entry(kLastChanged, L"Hour", 25),
          Entry(kLastChanged, L"Minute", 61)}},
        {"huge Count over three keys, one far away",
         {Entry(kSelected, L"Count", INT32_MAX), Entry(kSelected, L"Skin001", lone),
          Entry(kSelected, L"Skin002", reversed), Entry(kSelected, L"Skin900", L"far"),
          Entry(kSelected, L"Skin2500", L"beyond the empty run"), Entry(kTimeMode, L"TargetSkins", 1)}},
        {"strings of the longest length and wrong types everywhere",
         {Entry(nullptr, L"ChangeMode", longest), Entry(kTimeMode, L"Interval", L"7"),
          Entry(kSelected, L"Count", L"3"), Entry(kSelected, L"Skin001", int32_t{5}),
          Entry(kThemeSync, L"LightTheme", longest), Entry(kThemeSync, L"DarkTheme", int32_t{1})}},
        {"gaps, empty values, a terminator inside a value and stale keys after a gap",
         {Entry(kSelected, L"Count", 4), Entry(kSelected, L"Skin001", L""),
          Entry(kSelected, L"Skin002", std::wstring(L"cut\0here", 8)), Entry(kSelected, L"Skin004", L"D"),
          Entry(kSelected, L"Skin005", L"stale"), Entry(kSelected, L"Skin007", L"behind a gap"),
          Entry(kSelected, L"", L"no name"), Entry(kSelected, L"Skin0001", L"wrong padding")}},
    };
    for (const auto& [name, store] : kept) {
        SCOPED_TRACE(name);
        const Outcome outcome = RunCase(store);
        EXPECT_EQ("", outcome.failure);
    }
}

}  // namespace
