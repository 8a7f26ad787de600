// The store's INI file: what the plug-in stores comes back as it was stored, in the
// layout a user reads; a file damaged by hand gives what can be read and the plug-in's
// defaults for the rest; the table's writes save to it once it is set.
#include <algorithm>
#include <climits>
#include <thread>

#include "devhost/app/store_file.h"
#include "test_util.h"

namespace {

const HostServiceTable& T() { return *devhost::Table(); }

std::string ShowValue(const devhost::SettingValue& value) {
    return value.index() == 0 ? "int " + std::to_string(std::get<int32_t>(value))
                              : "string " + Show(std::get<std::wstring>(value));
}

// The whole store, one line per entry, so a mismatch prints both sides in full.
std::vector<std::string> Render(const devhost::StoreSnapshot& image) {
    std::vector<std::string> lines;
    for (const auto& [key, value] : image.settings)
        lines.push_back(std::to_string(key.pluginId) + " " + (key.section ? Show(*key.section) : "top level") +
                        " / " + Show(key.key) + " = " + ShowValue(value));
    for (const auto& [key, value] : image.itemInts)
        lines.push_back("item " + std::to_string(key.first) + " int " + std::to_string(key.second) + " = " +
                        std::to_string(value));
    for (const auto& [key, value] : image.itemStrings)
        lines.push_back("item " + std::to_string(key.first) + " string " + std::to_string(key.second) + " = " +
                        Show(value));
    lines.push_back("skin " + (image.currentSkin ? Show(*image.currentSkin) : "none"));
    lines.push_back("language " + (image.language ? std::to_string(*image.language) : "none"));
    return lines;
}

// The first line where two renderings part, so a mismatch names it.
std::string FirstDifference(const std::vector<std::string>& expected, const std::vector<std::string>& got) {
    for (size_t i = 0; i < expected.size() || i < got.size(); ++i) {
        const std::string e = i < expected.size() ? expected[i] : "(nothing)", g = i < got.size() ? got[i] : "(nothing)";
        if (e != g) return "line " + std::to_string(i) + ": expected " + e + ", got " + g;
    }
    return "none";
}

bool WriteUtf16(const std::wstring& path, const std::wstring& text) {
    std::string bytes = "\xFF\xFE";
    bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    return devhost::WriteFileBytes(path, bytes);
}

// The file's text after its byte order mark; "no mark" when it has none.
std::wstring ReadUtf16(const std::wstring& path) {
    const std::string bytes = devhost::ReadFileBytes(path).value_or("");
    if (bytes.size() < 2 || bytes.compare(0, 2, "\xFF\xFE") != 0) return L"no mark";
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / sizeof(wchar_t));
}

bool Contains(const std::vector<std::wstring>& list, const std::wstring& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

}  // namespace

using StoreFile = HostTest;

TEST_F(StoreFile, EveryKindOfValueRoundTripsInTheLayoutAUserReads) {
    // As the plug-in stores them, with a long list of skins named in several scripts.
    const std::vector<std::wstring> names = {L"\\Ночь", L"夜桜.tskin", L"Ελληνικά.tskin", L"\\한국어",
                                             L"Nebula \xD83C\xDF0C.tskin", L"\\العربية"};
    devhost::SetSetting(3, nullptr, L"ChangeMode", 1);
    devhost::SetSetting(3, L"TimeMode", L"Interval", 15);
    devhost::SetSetting(3, L"LastChanged", L"Year", 2026);
    devhost::SetSetting(3, L"SelectedSkins", L"Count", 1000);
    for (int n = 1; n <= 1000; ++n) {
        wchar_t key[16];
        swprintf(key, 16, L"Skin%03d", n);
        devhost::SetSetting(3, L"SelectedSkins", key, names[static_cast<size_t>(n) % names.size()]);
    }
    devhost::SetSetting(3, L"ThemeSync", L"LightTheme", L"\\Ночь");
    devhost::SetSetting(3, L"ThemeSync", L"DarkTheme", L"夜桜.tskin");
    // Strings and names a line cannot hold as they are, and names that differ in case only.
    const std::vector<std::wstring> strings = {
        L"", L"tab\there", L"line\nfeed\r", L"quote\" and back\\slash", L"\\x{41} literally", L"\\x{",
        std::wstring(1, wchar_t(0xD800)), std::wstring(L"end") + wchar_t(0xDBFF), L"  spaced  ", L"a=b;c",
        L"\x7F\x01", std::wstring(L"nul") + L'\0' + L"inside", L"\"quoted\"", L"[section]",
    };
    for (size_t i = 0; i < strings.size(); ++i) {
        devhost::SetSetting(-5, L"Odd", L"k" + std::to_wstring(i), strings[i]);
        devhost::SetSetting(-5, nullptr, strings[i], static_cast<int32_t>(i));
    }
    for (const wchar_t* key : {L"=", L";semi", L"[br", L" lead", L"trail ", L"Skin", L"skin", L"SKIN", L"a=b"})
        devhost::SetSetting(7, nullptr, key, key);
    for (const wchar_t* section : {L"", L"]", L"ThemeSync", L"themesync", L" spaced ", L"a\\b", L"x\nz"})
        devhost::SetSetting(7, section, L"Key", section);
    devhost::SetSetting(7, L"Ints", L"min", INT32_MIN);
    devhost::SetSetting(7, L"Ints", L"max", INT32_MAX);
    devhost::SetSetting(7, L"Ints", L"zero", 0);
    devhost::SetItemParam(1, 0, 1);
    devhost::SetItemParam(1, 0, L"\\Ночь");  // an int and a string under the same index
    devhost::SetItemParam(UINT32_MAX, INT32_MIN, INT32_MIN);
    devhost::SetItemParam(9, 2, std::wstring(L"cut \xD800 tab\t"));
    devhost::SetCurrentSkin(L"Nebula \xD83C\xDF0C.tskin");
    devhost::SetLanguage(0x0804);
    const std::vector<std::string> before = Render(devhost::SnapshotStore());

    TempFolder folder(L"roundtrip");
    const std::wstring file = folder.path() + L"\\tessera-devhost.ini";
    ASSERT_TRUE(WriteUtf16(file, L"[Plugin 99]\r\nStale=1\r\n"));  // a save replaces the file whole
    ASSERT_TRUE(devhost::SaveStoreToFile(file));
    const std::wstring text = ReadUtf16(file);
    for (const wchar_t* part : {L"[Plugin 3]\r\nChangeMode=1\r\n", L"[Plugin 3\\TimeMode]\r\nInterval=15\r\n",
                                L"[Plugin 3\\SelectedSkins]\r\nCount=1000\r\nSkin001=\"夜桜.tskin\"\r\n",
                                L"[Plugin 3\\ThemeSync]\r\nDarkTheme=\"夜桜.tskin\"\r\nLightTheme=\"\\Ночь\"\r\n",
                                L"[Item 1]\r\nInt 0=1\r\nString 0=\"\\Ночь\"\r\n",
                                L"[Launcher]\r\nCurrentSkin=\"Nebula \xD83C\xDF0C.tskin\"\r\nLanguage=2052\r\n"})
        EXPECT_NE(std::wstring::npos, text.find(part)) << "missing " << Show(part) << " in " << Show(text.substr(0, 600));
    EXPECT_EQ(std::wstring::npos, text.find(L"Stale")) << Show(text.substr(0, 200));

    devhost::Reset();
    devhost::SetSetting(1, nullptr, L"marker", 42);
    std::vector<std::wstring> passedOver = {L"left from before"};
    ASSERT_TRUE(devhost::LoadStoreFromFile(file, &passedOver));
    EXPECT_EQ("none", FirstDifference(before, Render(devhost::SnapshotStore())));
    EXPECT_EQ(0u, passedOver.size()) << (passedOver.empty() ? "" : Show(passedOver[0]));
}

TEST_F(StoreFile, HandDamagedFileGivesWhatCanBeReadAndThePluginsDefaults) {
    const std::wstring huge(500000, L'h');
    const std::wstring text =
        L"; edited by hand\r\n"
        L"[Plugin 3]\r\n"
        L"  ChangeMode = 1  \r\n"
        L"a line without an equals sign\r\n"
        L"[Plugin 3\\TimeMode]\r\n"
        L"TimeUnit=\"2\"\r\n"             // a string where a number belongs
        L"Interval=99999999999\r\n"       // above int32
        L"ChangeHour=-2147483649\r\n"     // below int32
        L"Index=12a\r\n"
        L"ChangeMinute=30\r\n"
        L"ChangeMinute=45\r\n"            // a repeat: the first counts
        L"[Plugin 3\\ThemeSync]\r\n"
        L"LightTheme=Night.tskin\r\n"     // a string without its quotes
        L"DarkTheme=\"" + huge + L"\"\r\n"
        L"[Plugin 3\\SelectedSkins]\r\n"
        L"Count=2\r\n"
        L"Skin001=\"\\x{41C}ир\"\r\n"
        L"Skin002=\"unterminated\r\n"
        L"[Plugin x]\r\nA=1\r\n"
        L"[Item 4]\r\nInt 0=\"1\"\r\nString 0=5\r\nInt x=1\r\nInt 1=7\r\n"
        L"[Launcher]\r\nLanguage=70000\r\nCurrentSkin=5\r\n"
        L"[Other]\r\nK=1\r\n"
        L"[launcher]\r\nLanguage=17\r\n";  // the profile functions read the first of the two
    TempFolder folder(L"damaged");
    const std::wstring file = folder.path() + L"\\tessera-devhost.ini";
    ASSERT_TRUE(WriteUtf16(file, text));
    devhost::SetSetting(3, nullptr, L"marker", 42);
    devhost::SetCurrentSkin(L"Kept.tskin");
    devhost::SetLanguage(0x0011);

    std::vector<std::wstring> passedOver;
    ASSERT_TRUE(devhost::LoadStoreFromFile(file, &passedOver));
    EXPECT_EQ(1, T().ReadSettingInt(3, nullptr, L"ChangeMode", -1));
    EXPECT_EQ(-1, T().ReadSettingInt(3, nullptr, L"marker", -1)) << "the store was replaced";
    EXPECT_EQ(Show(L"2"), Show(devhost::GetSettingString(3, L"TimeMode", L"TimeUnit").value_or(L"?")));
    for (const wchar_t* key : {L"TimeUnit", L"Interval", L"ChangeHour", L"Index"})
        EXPECT_EQ(-1, T().ReadSettingInt(3, L"TimeMode", key, -1)) << "the plug-in's default for " << Show(key);
    EXPECT_EQ(30, T().ReadSettingInt(3, L"TimeMode", L"ChangeMinute", -1));
    EXPECT_EQ(-1, T().ReadSettingInt(3, L"LastChanged", L"Year", -1)) << "a section missing altogether";
    EXPECT_EQ(Show(L""), Show(T().ReadSettingString(3, L"ThemeSync", L"LightTheme")));
    EXPECT_EQ(huge.size(), std::wstring(T().ReadSettingString(3, L"ThemeSync", L"DarkTheme")).size());
    EXPECT_EQ(2, T().ReadSettingInt(3, L"SelectedSkins", L"Count", -1));
    EXPECT_EQ(Show(L"Мир"), Show(T().ReadSettingString(3, L"SelectedSkins", L"Skin001")));
    EXPECT_EQ(Show(L""), Show(T().ReadSettingString(3, L"SelectedSkins", L"Skin002")));
    EXPECT_FALSE(devhost::GetItemParamInt(4, 0).has_value());
    EXPECT_FALSE(devhost::GetItemParamString(4, 0).has_value());
    EXPECT_EQ(7, devhost::GetItemParamInt(4, 1).value_or(-1));
    EXPECT_EQ(Show(L"Kept.tskin"), Show(devhost::CurrentSkin()));
    EXPECT_EQ(0x0011, devhost::Language());

    const std::vector<std::wstring> expected = {
        L"[Plugin 3] a line without an equals sign", L"[Plugin 3\\TimeMode] Interval=99999999999",
        L"[Plugin 3\\TimeMode] ChangeHour=-2147483649", L"[Plugin 3\\TimeMode] Index=12a",
        L"[Plugin 3\\TimeMode] ChangeMinute=45", L"[Plugin 3\\ThemeSync] LightTheme=Night.tskin",
        L"[Plugin 3\\SelectedSkins] Skin002=\"unterminated", L"[Plugin x] A=1", L"[Item 4] Int 0=\"1\"",
        L"[Item 4] String 0=5", L"[Item 4] Int x=1", L"[Launcher] Language=70000", L"[Launcher] CurrentSkin=5",
        L"[Other] K=1", L"[launcher] (a second section of this name)",
    };
    for (const std::wstring& note : expected) EXPECT_TRUE(Contains(passedOver, note)) << "not named: " << Show(note);
    EXPECT_EQ(expected.size(), passedOver.size());
    for (const std::wstring& note : passedOver) EXPECT_LE(note.size(), 160u) << Show(note.substr(0, 200));
}

TEST_F(StoreFile, UnreadableFileLeavesTheStoreAlone) {
    TempFolder folder(L"unreadable");
    const std::wstring large = folder.path() + L"\\large.ini";
    ASSERT_TRUE(devhost::WriteFileBytes(large, "\xFF\xFE" + std::string(4u << 20, ' ')));
    const std::wstring held = folder.path() + L"\\held.ini";
    ASSERT_TRUE(WriteUtf16(held, L"[Plugin 1]\r\nChangeMode=1\r\n"));
    // Another program holds it open for itself, so nobody can read it.
    HANDLE holder = CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder) << GetLastError();
    devhost::SetSetting(1, nullptr, L"marker", 42);
    for (const std::wstring& path : {folder.path() + L"\\missing.ini", folder.path(), large, held}) {
        SCOPED_TRACE(Show(path));
        EXPECT_FALSE(devhost::LoadStoreFromFile(path));
        EXPECT_EQ(42, devhost::GetSettingInt(1, nullptr, L"marker").value_or(0));
    }
    CloseHandle(holder);
}

TEST_F(StoreFile, FileWithoutTheLauncherSectionLeavesSkinAndLanguageAlone) {
    TempFolder folder(L"nolauncher");
    const std::wstring file = folder.path() + L"\\tessera-devhost.ini";
    ASSERT_TRUE(WriteUtf16(file, L"[Plugin 1]\r\nChangeMode=1\r\n"));
    devhost::SetCurrentSkin(L"Kept.tskin");
    devhost::SetLanguage(0x0011);
    ASSERT_TRUE(devhost::LoadStoreFromFile(file));
    EXPECT_EQ(1, devhost::GetSettingInt(1, nullptr, L"ChangeMode").value_or(0));
    EXPECT_EQ(Show(L"Kept.tskin"), Show(devhost::CurrentSkin()));
    EXPECT_EQ(0x0011, devhost::Language());
}

TEST_F(StoreFile, CommitAndItemSlotsSaveAtOnceWhenAFileIsSet) {
    TempFolder folder(L"commit");
    const std::wstring file = folder.path() + L"\\tessera-devhost.ini";
    devhost::SetStoreFile(file);
    T().WriteSettingString(3, L"ThemeSync", L"Light", L"夜桜.tskin");
    EXPECT_EQ(1, T().CommitSettings(3));
    devhost::ClearSettings();
    ASSERT_TRUE(devhost::LoadStoreFromFile(file));
    EXPECT_EQ(Show(L"夜桜.tskin"), Show(devhost::GetSettingString(3, L"ThemeSync", L"Light").value_or(L"?")));

    T().SetItemParamInt(4, 0, 1);
    T().SetItemParamString(4, 0, L"\\Ночь");
    EXPECT_EQ(0, T().SetItemParamString(4, 1, nullptr));
    devhost::Reset();
    ASSERT_TRUE(devhost::LoadStoreFromFile(file)) << "no file was written";
    EXPECT_EQ(1, devhost::GetItemParamInt(4, 0).value_or(-1));
    EXPECT_EQ(Show(L"\\Ночь"), Show(devhost::GetItemParamString(4, 0).value_or(L"?")));
    EXPECT_FALSE(devhost::GetItemParamString(4, 1).has_value());
}

TEST_F(StoreFile, SavesFromTwoThreadsEachLeaveAWholeFile) {
    TempFolder folder(L"threads");
    const std::wstring file = folder.path() + L"\\tessera-devhost.ini";
    int failed[2] = {};
    auto saver = [&](int who) {
        for (int32_t i = 0; i < 20; ++i) {
            devhost::SetSetting(who, nullptr, L"Count", i);
            if (!devhost::SaveStoreToFile(file)) ++failed[who];
        }
    };
    std::thread other(saver, 1);
    saver(0);
    other.join();
    EXPECT_EQ(0, failed[0]);
    EXPECT_EQ(0, failed[1]);
    ASSERT_TRUE(devhost::SaveStoreToFile(file));
    const std::vector<std::string> before = Render(devhost::SnapshotStore());
    devhost::Reset();
    ASSERT_TRUE(devhost::LoadStoreFromFile(file));
    EXPECT_EQ("none", FirstDifference(before, Render(devhost::SnapshotStore())));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((file + L".new").c_str())) << "the new file was left";
}
