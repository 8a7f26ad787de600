// Loading and saving the settings through the host's store.
#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <string>
#include <thread>
#include <vector>

#include "support/host_log.h"
#include "config/settings.h"
#include "engine/schedule.h"
#include "core/clock.h"
#include "devhost/core/devhost.h"
#include "support/plugin_fixture.h"
#include "support/time_util.h"

namespace {

using namespace testlog;

constexpr int32_t kPlugin = 1;
constexpr wchar_t kTime[] = L"TimeMode";
constexpr wchar_t kLast[] = L"LastChanged";
constexpr wchar_t kSel[] = L"SelectedSkins";
constexpr wchar_t kTheme[] = L"ThemeSync";



std::vector<std::wstring> Identifiers(const SkinList& list) {
    std::vector<std::wstring> ids;
    for (const SkinEntry& entry : list) ids.push_back(entry.identifier);
    return ids;
}

class SettingsTest : public PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        testclock::Install(5'000'000'000, LocalTime(2026, 3, 10, 21, 15, 42, 250));
        AttachHost(kPlugin);
    }
    void StoreList(const std::vector<std::wstring>& values, int32_t count) {
        devhost::SetSetting(kPlugin, kSel, L"Count", count);
        for (size_t i = 0; i < values.size(); ++i) {
            if (!values[i].empty()) devhost::SetSetting(kPlugin, kSel, SelectedSkinKey(i + 1), values[i]);
        }
    }
    void SetSelected(const std::vector<std::wstring>& ids) {
        ScopedLock guard(g_state.lock);
        g_state.settings.selectedSkins.clear();
        for (const std::wstring& id : ids) g_state.settings.selectedSkins.push_back(SkinEntry{id, L"shown " + id});
    }
    std::vector<std::wstring> Selected() {
        ScopedLock guard(g_state.lock);
        return Identifiers(g_state.settings.selectedSkins);
    }
};

TEST_F(SettingsTest, FirstStartLoadsDefaultsAndStartsTheDaySchedule) {
    LoadSettings();
    EXPECT_EQ(g_state.settings.changeMode, ChangeMode::kPeriodic);
    EXPECT_EQ(g_state.settings.targetSkins, RotationList::kAllSkins);
    EXPECT_EQ(g_state.settings.timeUnit, TimeUnit::kDays);
    EXPECT_EQ(g_state.settings.interval, 1);
    EXPECT_EQ(g_state.settings.changeHour, 0);
    EXPECT_EQ(g_state.settings.changeMinute, 0);
    EXPECT_EQ(g_state.settings.rotationIndex, 0);
    ScopedLock guard(g_state.lock);
    EXPECT_TRUE(g_state.settings.selectedSkins.empty()) << g_state.settings.selectedSkins.size();
    EXPECT_EQ(g_state.settings.lightThemeSkin, L"");
    EXPECT_EQ(g_state.settings.darkThemeSkin, L"");
    // No date stored: the load's own moment becomes the last change.
    EXPECT_EQ(g_state.settings.lastChanged.wYear, 2026);
    EXPECT_EQ(g_state.settings.lastChanged.wDay, 10);
    EXPECT_EQ(g_state.settings.lastChanged.wHour, 21);
    EXPECT_EQ(g_state.settings.lastChanged.wMilliseconds, 250);
    ASSERT_TRUE(g_state.nextChangeValid);
    EXPECT_EQ(g_state.nextChangeTime.wDay, 11);
    EXPECT_EQ(g_state.nextChangeTime.wHour, 0);
    EXPECT_EQ(g_state.nextChangeTime.wMinute, 0);
}

// A loaded field as the number it was stored as.
template <auto Field>
int32_t Loaded() {
    return static_cast<int32_t>(CopySettings().*Field);
}

struct StoredInt {
    const wchar_t* section;
    const wchar_t* key;
    int32_t stored;
    int32_t (*loaded)();
    int32_t expected;
};

TEST_F(SettingsTest, OnlyTimeUnitAndIntervalAreCorrected) {
    const StoredInt cases[] = {
        {kTime, L"TimeUnit", -5, Loaded<&Settings::timeUnit>, 2},
        {kTime, L"TimeUnit", 7, Loaded<&Settings::timeUnit>, 7},
        {kTime, L"TimeUnit", 0, Loaded<&Settings::timeUnit>, 0},
        {kTime, L"Interval", 0, Loaded<&Settings::interval>, 1},
        {kTime, L"Interval", -3, Loaded<&Settings::interval>, 1},
        {kTime, L"Interval", INT32_MIN, Loaded<&Settings::interval>, 1},
        {kTime, L"Interval", INT32_MAX, Loaded<&Settings::interval>, INT32_MAX},
        {nullptr, L"ChangeMode", 5, Loaded<&Settings::changeMode>, 5},
        {kTime, L"TargetSkins", -2, Loaded<&Settings::targetSkins>, -2},
        {kTime, L"Index", -3, Loaded<&Settings::rotationIndex>, -3},
        {kTime, L"Index", INT32_MAX, Loaded<&Settings::rotationIndex>, INT32_MAX},
    };
    for (const StoredInt& c : cases) {
        SCOPED_TRACE(std::wstring(c.key) + L" = " + std::to_wstring(c.stored));
        devhost::ClearSettings();
        ResetPluginState();
        AttachHost(kPlugin);
        devhost::SetSetting(kPlugin, c.section, c.key, c.stored);
        LoadSettings();
        EXPECT_EQ(c.loaded(), c.expected);
    }
}

TEST_F(SettingsTest, SixteenBitFieldsKeepTheLowBits) {
    devhost::SetSetting(kPlugin, kTime, L"ChangeHour", 65537);
    devhost::SetSetting(kPlugin, kTime, L"ChangeMinute", -1);
    devhost::SetSetting(kPlugin, kLast, L"Year", 65536 + 2025);
    devhost::SetSetting(kPlugin, kLast, L"Month", 13);
    devhost::SetSetting(kPlugin, kLast, L"Day", 1);
    LoadSettings();
    EXPECT_EQ(g_state.settings.changeHour, 1);
    EXPECT_EQ(g_state.settings.changeMinute, 65535);
    ScopedLock guard(g_state.lock);
    EXPECT_EQ(g_state.settings.lastChanged.wYear, 2025);
    // Month 13 is no date: it is kept as read and the schedule has no due moment.
    EXPECT_EQ(g_state.settings.lastChanged.wMonth, 13);
    EXPECT_FALSE(g_state.nextChangeValid);
}

TEST_F(SettingsTest, ListsWithGapsAndCounts) {
    struct Case {
        const char* name;
        std::vector<std::wstring> stored;  // empty string: key absent
        int32_t count;
        std::vector<std::wstring> expected;
    };
    const Case cases[] = {
        {"gap closes up", {L"P", L"", L"R"}, 3, {L"P", L"R"}},
        {"count shorter than keys", {L"P", L"Q", L"R"}, 2, {L"P", L"Q"}},
        {"count longer than keys", {L"P"}, 40, {L"P"}},
        {"count zero", {L"P", L"Q"}, 0, {}},
        {"count negative", {L"P", L"Q"}, -4, {}},
        {"duplicates stay", {L"P", L"Q", L"P"}, 3, {L"P", L"Q", L"P"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        devhost::ClearSettings();
        StoreList(c.stored, c.count);
        LoadSettings();
        EXPECT_EQ(Selected(), c.expected);
        ScopedLock guard(g_state.lock);
        for (const SkinEntry& entry : g_state.settings.selectedSkins) EXPECT_EQ(entry.displayName, L"");
    }
    // An empty string value counts like an absent key.
    devhost::ClearSettings();
    StoreList({L"P", L"", L"R"}, 3);
    devhost::SetSetting(kPlugin, kSel, L"Skin002", std::wstring());
    LoadSettings();
    EXPECT_EQ(Selected(), (std::vector<std::wstring>{L"P", L"R"}));
}

TEST_F(SettingsTest, HugeCountStopsAfterAThousandEmptyKeysInARow) {
    devhost::SetSetting(kPlugin, kSel, L"Count", 2'000'000'000);
    devhost::ClearLog();
    LoadSettings();
    EXPECT_EQ(StringKeysRead(devhost::Log(), kSel).size(), 1000u);
    EXPECT_TRUE(Selected().empty());

    // A run of 999 empty keys is still a gap; the entry after it is found.
    devhost::ClearSettings();
    devhost::SetSetting(kPlugin, kSel, L"Count", INT32_MAX);
    devhost::SetSetting(kPlugin, kSel, SelectedSkinKey(1), std::wstring(L"A"));
    devhost::SetSetting(kPlugin, kSel, SelectedSkinKey(1001), std::wstring(L"B"));
    devhost::SetSetting(kPlugin, kSel, SelectedSkinKey(2002), std::wstring(L"C"));
    LoadSettings();
    EXPECT_EQ(Selected(), (std::vector<std::wstring>{L"A", L"B"}));
}

TEST_F(SettingsTest, SelectedSkinKeysAreZeroPaddedToThreeDigits) {
    const std::pair<size_t, const wchar_t*> cases[] = {
        {1, L"Skin001"},   {10, L"Skin010"},     {12, L"Skin012"},
        {999, L"Skin999"}, {1000, L"Skin1000"}, {123456, L"Skin123456"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        EXPECT_EQ(SelectedSkinKey(c.first), c.second);
    }
}

// A save as the launcher sees it, made by OK in the settings dialog (event 9) after a
// start that loaded a list shorter than the keys stored.
TEST_F(SettingsTest, SaveWritesEverythingInOrderAndDeletesStaleKeys) {
    const std::pair<const wchar_t*, int32_t> ints[] = {
        {L"TargetSkins", 1}, {L"TimeUnit", 0}, {L"Interval", 5},
        {L"ChangeHour", 6},  {L"ChangeMinute", 30}, {L"Index", 1}};
    for (const auto& [key, value] : ints) devhost::SetSetting(kPlugin, kTime, key, value);
    devhost::SetSetting(kPlugin, nullptr, L"ChangeMode", 0);
    const std::pair<const wchar_t*, int32_t> date[] = {
        {L"Year", 2026}, {L"Month", 3}, {L"Day", 10}, {L"Hour", 21}, {L"Minute", 15}};
    for (const auto& [key, value] : date) devhost::SetSetting(kPlugin, kLast, key, value);
    StoreList({L"P", L"Q", L"c", L"d", L"e"}, 2);
    devhost::SetSetting(kPlugin, kTheme, L"LightTheme", std::wstring(L"\\Light"));
    devhost::SetSetting(kPlugin, kTheme, L"DarkTheme", std::wstring(L"Dark.tskin"));
    devhost::SetCurrentSkin(L"Q");  // the load puts the index on it
    g_state.hostTable = nullptr;
    g_state.hostAccepted = 0;
    ASSERT_EQ(1, Send(TS_EVENT_INITIALIZE, kPlugin, reinterpret_cast<uint64_t>(devhost::Table())));
    devhost::ClearLog();
    devhost::PushDialogScript([](HWND dlg) { devhost::PressOk(dlg); });
    ASSERT_EQ(1, Send(TS_EVENT_SETTINGS, 0, 0));
    const std::vector<Call> expected = {
        WriteInt(nullptr, L"ChangeMode", 0),
        WriteInt(kTime, L"TargetSkins", 1),
        WriteInt(kTime, L"TimeUnit", 0),
        WriteInt(kTime, L"Interval", 5),
        WriteInt(kTime, L"ChangeHour", 6),
        WriteInt(kTime, L"ChangeMinute", 30),
        WriteInt(kTime, L"Index", 1),
        WriteInt(kLast, L"Year", 2026),
        WriteInt(kLast, L"Month", 3),
        WriteInt(kLast, L"Day", 10),
        WriteInt(kLast, L"Hour", 21),
        WriteInt(kLast, L"Minute", 15),
        WriteInt(kSel, L"Count", 2),
        WriteString(kSel, L"Skin001", L"P"),
        WriteString(kSel, L"Skin002", L"Q"),
        ReadString(kSel, L"Skin003"),
        Delete(kSel, L"Skin003"),
        ReadString(kSel, L"Skin004"),
        Delete(kSel, L"Skin004"),
        ReadString(kSel, L"Skin005"),
        Delete(kSel, L"Skin005"),
        ReadString(kSel, L"Skin006"),
        Delete(kSel, L"Skin006"),
        WriteString(kTheme, L"LightTheme", L"\\Light"),
        WriteString(kTheme, L"DarkTheme", L"Dark.tskin"),
        Commit(),
    };
    EXPECT_EQ("", CompareSequence(CallsNamed(devhost::Log(), GetCurrentThreadId(),
                                             {L"ReadSettingInt", L"ReadSettingString", L"WriteSettingInt",
                                              L"WriteSettingString", L"DeleteSetting", L"CommitSettings"}),
                                  std::vector<Expected>(expected.begin(), expected.end())));
    EXPECT_EQ(devhost::CommitCount(), 1);
    EXPECT_FALSE(devhost::GetSettingString(kPlugin, kSel, L"Skin003").has_value());
    EXPECT_EQ(devhost::GetSettingString(kPlugin, kSel, L"Skin002").value_or(L"?"), L"Q");
}

TEST_F(SettingsTest, StalePassOfAnEmptyListAndOfAListWithAGap) {
    devhost::ClearLog();
    SaveSettings();
    std::vector<Call> calls = SettingsCalls();
    ASSERT_EQ(calls.size(), 18u);
    EXPECT_EQ(calls[12], WriteInt(kSel, L"Count", 0));
    EXPECT_EQ(calls[13], ReadString(kSel, L"Skin001"));
    EXPECT_EQ(calls[14], Delete(kSel, L"Skin001"));
    EXPECT_EQ(calls[15], WriteString(kTheme, L"LightTheme", L""));
    EXPECT_EQ(calls[17], Commit());

    // Skin004 absent, Skin005 present, a list of three saved: Skin004 ends the pass.
    devhost::ClearSettings();
    StoreList({L"a", L"b", L"c", L"", L"e"}, 5);
    SetSelected({L"P", L"Q", L"R"});
    devhost::ClearLog();
    SaveSettings();
    calls = SettingsCalls();
    ASSERT_EQ(calls.size(), 21u);
    EXPECT_EQ(calls[16], ReadString(kSel, L"Skin004"));
    EXPECT_EQ(calls[17], Delete(kSel, L"Skin004"));
    EXPECT_EQ(calls[18], WriteString(kTheme, L"LightTheme", L""));
    EXPECT_EQ(devhost::GetSettingString(kPlugin, kSel, L"Skin005").value_or(L"gone"), L"e");
}

TEST_F(SettingsTest, LongListsUseWiderKeysAndRoundTrip) {
    for (size_t length : {size_t{12}, size_t{1000}}) {
        SCOPED_TRACE(length);
        devhost::ClearSettings();
        std::vector<std::wstring> ids;
        for (size_t i = 1; i <= length; ++i) ids.push_back(L"skin " + std::to_wstring(i));
        SetSelected(ids);
        devhost::ClearLog();
        SaveSettings();
        EXPECT_EQ(devhost::CallCount(TS_SLOT_WRITE_SETTING_STRING), length + 2);  // the list and both theme skins
        EXPECT_EQ(devhost::GetSettingInt(kPlugin, kSel, L"Count").value_or(-1),
                  static_cast<int32_t>(length));
        EXPECT_EQ(devhost::GetSettingString(kPlugin, kSel, SelectedSkinKey(length)).value_or(L""),
                  ids.back());
        EXPECT_EQ(devhost::GetSettingString(kPlugin, kSel, L"Skin012").value_or(L""), L"skin 12");
        if (length == 1000) {
            EXPECT_EQ(devhost::GetSettingString(kPlugin, kSel, L"Skin999").value_or(L""), L"skin 999");
            EXPECT_EQ(devhost::GetSettingString(kPlugin, kSel, L"Skin1000").value_or(L""), L"skin 1000");
            EXPECT_FALSE(devhost::GetSettingString(kPlugin, kSel, L"Skin0999").has_value());
        } else {
            EXPECT_FALSE(devhost::GetSettingString(kPlugin, kSel, L"Skin013").has_value());
        }
        SetSelected({});
        LoadSettings();
        EXPECT_EQ(Selected(), ids);
    }
}

TEST_F(SettingsTest, UnusualIdentifiersRoundTripUnchanged) {
    const std::vector<std::wstring> ids = {
        L"My Skin v1.2.tskin",
        L"\\Folder with  two spaces",
        L"\\\x041D\x043E\x0447\x044C",        // Cyrillic
        L"\x591C\x7A7A.tskin",                // CJK
        L"\xD83C\xDF19 moon.tskin",           // a surrogate pair
        L"...dots...",
        std::wstring(255, L'x'),
        L"\\" + std::wstring(255, L'\x00E9'),
        L"Case.tskin",
        L"case.tskin",
        L"Case.tskin",
    };
    SetSelected(ids);
    {
        ScopedLock guard(g_state.lock);
        g_state.settings.lightThemeSkin = ids[2];
        g_state.settings.darkThemeSkin = ids[6];
    }
    SaveSettings();
    ResetPluginState();
    AttachHost(kPlugin);
    LoadSettings();
    EXPECT_EQ(Selected(), ids);
    ScopedLock guard(g_state.lock);
    EXPECT_EQ(g_state.settings.lightThemeSkin, ids[2]);
    EXPECT_EQ(g_state.settings.darkThemeSkin, ids[6]);
}

TEST_F(SettingsTest, SavedValuesLoadBackAndTheDateSurvives) {
    g_state.settings.timeUnit = TimeUnit::kHours;
    g_state.settings.interval = 3;
    g_state.settings.changeHour = 23;
    g_state.settings.changeMinute = 59;
    g_state.settings.rotationIndex = -3;
    {
        ScopedLock guard(g_state.lock);
        g_state.settings.lastChanged = LocalTime(2024, 2, 29, 8, 7, 6, 5);
    }
    SaveSettings();
    ResetPluginState();
    AttachHost(kPlugin);
    LoadSettings();
    EXPECT_EQ(g_state.settings.timeUnit, TimeUnit::kHours);
    EXPECT_EQ(g_state.settings.interval, 3);
    EXPECT_EQ(g_state.settings.changeHour, 23);
    EXPECT_EQ(g_state.settings.changeMinute, 59);
    EXPECT_EQ(g_state.settings.rotationIndex, -3);
    ScopedLock guard(g_state.lock);
    // Hours mode leaves the date alone; seconds are not stored.
    EXPECT_EQ(g_state.settings.lastChanged.wYear, 2024);
    EXPECT_EQ(g_state.settings.lastChanged.wDay, 29);
    EXPECT_EQ(g_state.settings.lastChanged.wMinute, 7);
    EXPECT_EQ(g_state.settings.lastChanged.wSecond, 0);
    EXPECT_EQ(g_state.lastSwitchStamp, testclock::MonotonicNs());
}

TEST_F(SettingsTest, LoadResynchronisesOnlyForTheSelectedList) {
    // Periodic mode with the user's list: targetSkin R sits at position 2.
    StoreList({L"P", L"Q", L"R"}, 3);
    devhost::SetSetting(kPlugin, kTime, L"TargetSkins", 1);
    {
        ScopedLock guard(g_state.lock);
        g_state.targetSkin = L"R";
    }
    LoadSettings();
    EXPECT_EQ(g_state.settings.rotationIndex, 2);

    // Theme sync mode walks allSkins, still empty at load: the index goes to 0.
    devhost::SetSetting(kPlugin, nullptr, L"ChangeMode", 1);
    devhost::SetSetting(kPlugin, kTime, L"Index", 2);
    LoadSettings();
    EXPECT_EQ(g_state.settings.rotationIndex, 0);

    // All skins chosen: no resynchronisation, the stored index stays.
    devhost::SetSetting(kPlugin, nullptr, L"ChangeMode", 0);
    devhost::SetSetting(kPlugin, kTime, L"TargetSkins", 0);
    devhost::SetSetting(kPlugin, kTime, L"Index", 7);
    LoadSettings();
    EXPECT_EQ(g_state.settings.rotationIndex, 7);
}

TEST_F(SettingsTest, NoHostCallIsMadeWithTheStateLockHeld) {
    SetSelected({L"P", L"Q"});
    StoreList({L"a", L"b", L"c"}, 3);
    int locked = 0;
    int seen = 0;
    devhost::SetLogObserver([&](const devhost::LogEntry& entry) {
        if (!IsSettingsSlot(entry.slot)) return;
        ++seen;
        if (!StateLockIsFree()) ++locked;
    });
    SaveSettings();
    LoadSettings();
    devhost::SetLogObserver(nullptr);
    EXPECT_EQ(seen, 39);  // 22 calls of the save, 17 of the load
    EXPECT_EQ(locked, 0);
}

TEST_F(SettingsTest, ConcurrentSavesDoNotInterleaveAndNoneIsLost) {
    SetSelected({L"P", L"Q", L"R", L"S"});
    StoreList({L"a", L"b", L"c", L"d", L"e", L"f", L"g", L"h"}, 8);
    devhost::ClearLog();
    std::vector<std::thread> savers;
    for (int t = 0; t < 4; ++t) {
        savers.emplace_back([] {
            for (int i = 0; i < 25; ++i) SaveSettings();
        });
    }
    for (std::thread& saver : savers) saver.join();
    const std::vector<devhost::LogEntry> log = devhost::Log();
    // A save asked for while another runs is made by that one, once more: fewer saves,
    // but each whole, and the last one after the last request.
    ASSERT_GE(devhost::CommitCount(), 1);
    ASSERT_LE(devhost::CommitCount(), 100);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(TS_SLOT_COMMIT_SETTINGS, log.back().slot) << "the last request was not saved";
    EXPECT_EQ(0u, g_state.saveWanted.load());
    DWORD thread = 0;
    bool inSave = false;
    for (size_t i = 0; i < log.size(); ++i) {
        if (!IsSettingsSlot(log[i].slot)) continue;
        SCOPED_TRACE(i);
        if (!inSave) {
            thread = log[i].threadId;
            inSave = true;
        }
        EXPECT_EQ(log[i].threadId, thread) << "save interleaved at entry " << i;
        if (log[i].slot == TS_SLOT_COMMIT_SETTINGS) inSave = false;
    }
}

TEST_F(SettingsTest, NullStringsFromTheHostReadAsEmpty) {
    // A host whose string slot answers null: nothing is loaded, nothing crashes.
    static HostServiceTable table;
    table = *devhost::Table();
    table.ReadSettingString = [](int32_t, const wchar_t*, const wchar_t*) -> const wchar_t* {
        return nullptr;
    };
    g_state.hostTable = &table;
    devhost::SetSetting(kPlugin, kSel, L"Count", 5);
    SetSelected({L"P"});
    LoadSettings();
    EXPECT_TRUE(Selected().empty());
    devhost::ClearLog();
    SaveSettings();
    EXPECT_EQ(devhost::CommitCount(), 1);
}

}  // namespace
