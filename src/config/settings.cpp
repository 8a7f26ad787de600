// Settings in the host's store.
//
// 1. The host calls of a load and of a save come in one fixed order, and every save
//    ends with exactly one CommitSettings.
// 2. A save writes one copy of the settings, taken under g_state.lock at its start.
//    One save runs at a time, holding the save turn across its host calls (g_state.lock
//    never is), and nobody waits for the turn: a save asked for while another runs is
//    made by the one running, once more with the values of that moment, before it lets
//    go. A thread that waited could deadlock with a launcher that serves the running
//    save's calls on the waiting thread, by sending or by posting.
// 3. A save belongs to its caller's session: once that has ended, it calls nothing
//    more (no commit), and what it was asked for goes with the session.
// 4. Only timeUnit (negative -> days) and interval (below 1 -> 1) are corrected on
//    reading; everything else is kept as stored for the users of each value to judge.
// 5. The load replaces the settings whole and, in the same step, restarts the schedule
//    from the last change and, when the user's list is chosen, resynchronises the
//    rotation index with the skin showing.
// 6. A corrupt "Count" cannot keep the load reading: it stops after kMaxEmptyRun
//    absent or empty keys in a row.
#include "config/settings.h"

#include <cstdint>
#include <iterator>
#include <utility>
#include <vector>

#include "core/host.h"
#include "core/session.h"
#include "core/state.h"
#include "engine/rotation.h"
#include "engine/schedule.h"

namespace {

constexpr wchar_t kTimeMode[] = L"TimeMode";
constexpr wchar_t kLastChanged[] = L"LastChanged";
constexpr wchar_t kSelectedSkins[] = L"SelectedSkins";
constexpr wchar_t kThemeSync[] = L"ThemeSync";

constexpr int64_t kMaxEmptyRun = 1000;

}  // namespace

// Digits by hand: std::to_wstring would link the C runtime's whole printf engine into
// the DLL for this one number.
std::wstring SelectedSkinKey(size_t position) {
    wchar_t digits[24];  // 20 digits of the largest size_t, the least 3 of them padded
    size_t first = std::size(digits);
    do {
        digits[--first] = static_cast<wchar_t>(L'0' + position % 10);
        position /= 10;
    } while (position != 0 || std::size(digits) - first < 3);
    return L"Skin" + std::wstring(digits + first, std::size(digits) - first);
}

void LoadSettings() {
    if (!host::CanReadSettings()) {
        return;
    }
    const int32_t id = g_state.pluginId.load();
    auto readWord = [id](const wchar_t* section, const wchar_t* key) {
        const auto stored = static_cast<uint32_t>(host::ReadInt(id, section, key, 0));
        return static_cast<uint16_t>(stored & 0xFFFFu);
    };

    Settings loaded;
    loaded.changeMode = static_cast<ChangeMode>(host::ReadInt(id, nullptr, L"ChangeMode", 0));
    loaded.targetSkins =
        static_cast<RotationList>(host::ReadInt(id, kTimeMode, L"TargetSkins", 0));
    loaded.changeHour = readWord(kTimeMode, L"ChangeHour");
    loaded.changeMinute = readWord(kTimeMode, L"ChangeMinute");
    loaded.rotationIndex = host::ReadInt(id, kTimeMode, L"Index", 0);
    const int32_t unit = host::ReadInt(id, kTimeMode, L"TimeUnit", -1);
    loaded.timeUnit = unit < 0 ? TimeUnit::kDays : static_cast<TimeUnit>(unit);
    const int32_t interval = host::ReadInt(id, kTimeMode, L"Interval", -1);
    loaded.interval = interval < 1 ? 1 : interval;

    // Only these five are stored; the rest of the date stays as it was.
    SYSTEMTIME& last = loaded.lastChanged;
    last = CopySettings().lastChanged;
    last.wYear = readWord(kLastChanged, L"Year");
    last.wMonth = readWord(kLastChanged, L"Month");
    last.wDay = readWord(kLastChanged, L"Day");
    last.wHour = readWord(kLastChanged, L"Hour");
    last.wMinute = readWord(kLastChanged, L"Minute");

    const int64_t count = host::ReadInt(id, kSelectedSkins, L"Count", 0);
    int64_t emptyRun = 0;
    for (int64_t n = 1; n <= count && emptyRun < kMaxEmptyRun; ++n) {
        const std::wstring key = SelectedSkinKey(static_cast<size_t>(n));
        std::wstring value = host::ReadString(id, kSelectedSkins, key.c_str());
        if (value.empty()) {
            ++emptyRun;
            continue;
        }
        emptyRun = 0;
        loaded.selectedSkins.push_back(SkinEntry{std::move(value), std::wstring()});
    }

    loaded.lightThemeSkin = host::ReadString(id, kThemeSync, L"LightTheme");
    loaded.darkThemeSkin = host::ReadString(id, kThemeSync, L"DarkTheme");

    const ClockReading now = ReadClocks();
    ScopedLock guard(g_state.lock);
    std::swap(g_state.settings, loaded);  // the old settings are freed after the lock
    StampScheduleLocked(ScheduleStart::kLastChange, now);
    // Exactly the selected list: any other stored number leaves the index as stored until
    // the rotation next needs it.
    if (g_state.settings.targetSkins == RotationList::kSelectedSkins) {
        SyncRotationIndexLocked();
    }
}

namespace {

// One whole save; false when the caller's session ended on the way.
bool WriteSettings() {
    const Settings s = CopySettings();
    const int32_t id = g_state.pluginId.load();

    host::WriteInt(id, nullptr, L"ChangeMode", static_cast<int32_t>(s.changeMode));
    host::WriteInt(id, kTimeMode, L"TargetSkins", static_cast<int32_t>(s.targetSkins));
    host::WriteInt(id, kTimeMode, L"TimeUnit", static_cast<int32_t>(s.timeUnit));
    host::WriteInt(id, kTimeMode, L"Interval", s.interval);
    host::WriteInt(id, kTimeMode, L"ChangeHour", s.changeHour);
    host::WriteInt(id, kTimeMode, L"ChangeMinute", s.changeMinute);
    host::WriteInt(id, kTimeMode, L"Index", s.rotationIndex);
    host::WriteInt(id, kLastChanged, L"Year", s.lastChanged.wYear);
    host::WriteInt(id, kLastChanged, L"Month", s.lastChanged.wMonth);
    host::WriteInt(id, kLastChanged, L"Day", s.lastChanged.wDay);
    host::WriteInt(id, kLastChanged, L"Hour", s.lastChanged.wHour);
    host::WriteInt(id, kLastChanged, L"Minute", s.lastChanged.wMinute);

    // Stored counts are 32-bit; a longer list could not be read back anyway.
    const size_t count = s.selectedSkins.size() > static_cast<size_t>(INT32_MAX)
                             ? static_cast<size_t>(INT32_MAX)
                             : s.selectedSkins.size();
    host::WriteInt(id, kSelectedSkins, L"Count", static_cast<int32_t>(count));
    for (size_t n = 1; n <= count; ++n) {
        const std::wstring key = SelectedSkinKey(n);
        host::WriteString(id, kSelectedSkins, key.c_str(), s.selectedSkins[n - 1].identifier.c_str());
    }
    // Keys left by a longer list saved earlier; the first empty one is deleted too.
    for (size_t n = count + 1;; ++n) {
        const std::wstring key = SelectedSkinKey(n);
        const bool stale = !host::ReadString(id, kSelectedSkins, key.c_str()).empty();
        host::DeleteSetting(id, kSelectedSkins, key.c_str());
        if (!stale) {
            break;
        }
    }

    host::WriteString(id, kThemeSync, L"LightTheme", s.lightThemeSkin.c_str());
    host::WriteString(id, kThemeSync, L"DarkTheme", s.darkThemeSkin.c_str());
    host::CommitSettings(id);
    return CallerSessionLive();
}

}  // namespace

void SaveSettings() {
    if (!host::CanWriteSettings()) {
        return;
    }
    // The request names its session, so that a save of an ended session, still running,
    // can neither make nor swallow a request of the live one.
    const uint32_t wanted = CallerSession() + 1;
    g_state.saveWanted = wanted;
    const int frame = 0;  // marks this call's frame as the turn's holder
    while (g_state.saveWanted.load() == wanted && TakeTurn(kSaveTurn, &frame)) {
        uint32_t expected = wanted;
        while (g_state.saveWanted.compare_exchange_strong(expected, 0)) {
            if (!WriteSettings()) {
                break;
            }
            expected = wanted;
        }
        GiveTurn(kSaveTurn, &frame);
    }
}
