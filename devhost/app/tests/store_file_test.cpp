// The store's file: every string round-trips, hand-written files load, malformed ones
// are refused whole, and the table's writes save to it once it is set.
#include <climits>

#include "devhost/app/store_file.h"
#include "test_util.h"

namespace {

const HostServiceTable& T() { return *devhost::Table(); }

// One line per entry, so a mismatch prints both sides in full.
std::vector<std::string> Render(const std::vector<devhost::SettingEntry>& entries) {
    std::vector<std::string> lines;
    for (const devhost::SettingEntry& e : entries) {
        std::string value = e.value.index() == 0 ? "int " + std::to_string(std::get<int32_t>(e.value))
                                                  : "string " + Show(std::get<std::wstring>(e.value));
        lines.push_back((e.section ? Show(*e.section) : std::string("top level")) + " / " + Show(e.key) +
                        " = " + value);
    }
    return lines;
}

}  // namespace

using StoreFile = HostTest;

TEST_F(StoreFile, CommitSavesWhenAStoreFileIsSet) {
    TempFolder folder(L"commit");
    const std::wstring file = folder.path() + L"\\store.txt";
    devhost::SetStoreFile(file);
    T().WriteSettingString(3, L"ThemeSync", L"Light", L"夜桜.tskin");
    T().CommitSettings(3);
    devhost::ClearSettings();
    ASSERT_TRUE(devhost::LoadStoreFromFile(file));
    EXPECT_EQ(Show(L"夜桜.tskin"), Show(devhost::GetSettingString(3, L"ThemeSync", L"Light").value_or(L"?")));
}

TEST_F(StoreFile, EveryStringRoundTripsUnitForUnit) {
    const std::vector<std::wstring> strings = {
        L"", L"plain", L"tab\there", L"line\nfeed\r", L"quote\" and back\\slash", L"\\u0041 literally",
        std::wstring(1, wchar_t(0xD800)), std::wstring(1, wchar_t(0xDC00)),
        std::wstring(L"end") + wchar_t(0xDBFF), wchar_t(0xDC01) + std::wstring(L"start"),
        L"pair \xD83C\xDF0C", std::wstring(L"reversed ") + wchar_t(0xDF0C) + wchar_t(0xD83C),
        L"\x7F\x01", L"日本語 Ελληνικά кириллица", L"#not a comment", L"-",
    };
    for (size_t i = 0; i < strings.size(); ++i) {
        devhost::SetSetting(1, strings[i].c_str(), L"k" + std::to_wstring(i), strings[i]);
        devhost::SetSetting(-5, nullptr, strings[i], static_cast<int32_t>(i));
    }
    devhost::SetSetting(1, nullptr, L"min", INT32_MIN);
    devhost::SetSetting(1, nullptr, L"max", INT32_MAX);
    devhost::SetSetting(1, L"", L"min", L"empty section, not top level");
    const auto before1 = devhost::Settings(1), beforeNeg = devhost::Settings(-5);

    TempFolder folder(L"roundtrip");
    const std::wstring file = folder.path() + L"\\store.txt";
    ASSERT_TRUE(devhost::SaveStoreToFile(file));
    const std::string bytes = devhost::ReadFileBytes(file).value_or("");
    EXPECT_GT(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                                  nullptr, 0), 0) << "the file is valid UTF-8";
    EXPECT_NE(std::string::npos, bytes.find("日本語")) << "text stays readable";

    devhost::Reset();
    ASSERT_TRUE(devhost::LoadStoreFromFile(file));
    EXPECT_EQ(Render(before1), Render(devhost::Settings(1)));
    EXPECT_EQ(Render(beforeNeg), Render(devhost::Settings(-5)));
}

TEST_F(StoreFile, HandWrittenFileWithCommentsCrlfAndFourByteUtf8) {
    TempFolder folder(L"handwritten");
    const std::wstring file = folder.path() + L"\\store.txt";
    ASSERT_TRUE(devhost::WriteFileBytes(file, "# comment\r\n\r\n7\t-\t\"ChangeMode\"\t-3\r\n"
                                 "7\t\"S\"\t\"Star\"\t\"\xF0\x9F\x8C\x8C\"\r\n"));
    ASSERT_TRUE(devhost::LoadStoreFromFile(file));
    EXPECT_EQ(-3, devhost::GetSettingInt(7, nullptr, L"ChangeMode").value_or(0));
    EXPECT_EQ(Show(L"\xD83C\xDF0C"), Show(devhost::GetSettingString(7, L"S", L"Star").value_or(L"?")));
}

TEST_F(StoreFile, MalformedFileIsRefusedAndLeavesTheStoreAlone) {
    const std::vector<std::string> bad = {
        "1\t-\t\"k\"\n",                       // three fields
        "1\t-\t\"k\"\t5\textra\n",             // five fields
        "x\t-\t\"k\"\t5\n",                    // id not a number
        "1\tnull\t\"k\"\t5\n",                 // section neither - nor quoted
        "1\t-\tk\t5\n",                        // key not quoted
        "1\t-\t\"k\"\t\"open\n",               // unterminated string
        "1\t-\t\"k\"\t2147483648\n",           // above int32
        "1\t-\t\"k\"\t-2147483649\n",          // below int32
        "1\t-\t\"k\"\t12a\n",                  // trailing garbage
        "1\t-\t\"bad\\q\"\t1\n",               // unknown escape
        "1\t-\t\"k\"\t\"\\u12G4\"\n",          // bad hex
        "1\t-\t\"k\"\t\"\\u12\"\n",            // short escape
        "1\t-\t\"k\"\t\"a\"b\"\n",             // raw quote inside
        "1\t-\t\"k\"\t\"\xC3\x28\"\n",         // broken UTF-8
        "1\t-\t\"k\"\t\"\xC0\xAF\"\n",         // overlong UTF-8
        "1\t-\t\"k\"\t\"\xED\xA0\x80\"\n",     // surrogate encoded in UTF-8
        "1\t-\t\"k\"\t\"\xE6\x97\"\n",         // cut sequence
        "1\t-\t\"k\"\t1\n1\t-\t\"k\"\t2\n",    // duplicate entry
    };
    TempFolder folder(L"malformed");
    const std::wstring file = folder.path() + L"\\store.txt";
    for (const std::string& text : bad) {
        SCOPED_TRACE("file: " + text);
        devhost::SetSetting(1, nullptr, L"marker", 42);
        ASSERT_TRUE(devhost::WriteFileBytes(file, "1\t-\t\"good\"\t1\n" + text));
        EXPECT_FALSE(devhost::LoadStoreFromFile(file));
        EXPECT_EQ(42, devhost::GetSettingInt(1, nullptr, L"marker").value_or(0));
        EXPECT_FALSE(devhost::GetSettingInt(1, nullptr, L"good").has_value());
    }
    EXPECT_FALSE(devhost::LoadStoreFromFile(folder.path() + L"\\missing.txt"));
}

TEST_F(StoreFile, ItemParametersSkinAndLanguageRoundTrip) {
    devhost::SetItemParam(1, 0, 1);
    devhost::SetItemParam(1, 0, L"\\Ночь");  // an int and a string under the same index
    devhost::SetItemParam(UINT32_MAX, -3, INT32_MIN);
    devhost::SetItemParam(9, 2, std::wstring(L"cut \xD800 tab\t"));
    devhost::SetCurrentSkin(L"Nebula \xD83C\xDF0C.tskin");
    devhost::SetLanguage(0x0804);
    TempFolder folder(L"items");
    const std::wstring file = folder.path() + L"\\store.txt";
    ASSERT_TRUE(devhost::SaveStoreToFile(file));

    devhost::Reset();
    devhost::SetItemParam(5, 0, 99);  // not in the file, so gone after loading
    ASSERT_TRUE(devhost::LoadStoreFromFile(file));
    EXPECT_EQ(1, devhost::GetItemParamInt(1, 0).value_or(-1));
    EXPECT_EQ(Show(L"\\Ночь"), Show(devhost::GetItemParamString(1, 0).value_or(L"?")));
    EXPECT_EQ(INT32_MIN, devhost::GetItemParamInt(UINT32_MAX, -3).value_or(0));
    EXPECT_EQ(Show(std::wstring(L"cut \xD800 tab\t")), Show(devhost::GetItemParamString(9, 2).value_or(L"?")));
    EXPECT_FALSE(devhost::GetItemParamInt(5, 0).has_value());
    EXPECT_EQ(Show(L"Nebula \xD83C\xDF0C.tskin"), Show(devhost::CurrentSkin()));
    EXPECT_EQ(0x0804, devhost::Language());
}

TEST_F(StoreFile, OlderFileLeavesSkinAndLanguageAlone) {
    TempFolder folder(L"older");
    const std::wstring file = folder.path() + L"\\store.txt";
    ASSERT_TRUE(devhost::WriteFileBytes(file, "1\t-\t\"ChangeMode\"\t1\n"));
    devhost::SetCurrentSkin(L"Kept.tskin");
    devhost::SetLanguage(0x0011);
    ASSERT_TRUE(devhost::LoadStoreFromFile(file));
    EXPECT_EQ(Show(L"Kept.tskin"), Show(devhost::CurrentSkin()));
    EXPECT_EQ(0x0011, devhost::Language());
}

TEST_F(StoreFile, ItemSlotsSaveAtOnceWhenAFileIsSet) {
    TempFolder folder(L"itemslots");
    const std::wstring file = folder.path() + L"\\store.txt";
    devhost::SetStoreFile(file);
    T().SetItemParamInt(4, 0, 1);
    T().SetItemParamString(4, 0, L"夜桜.tskin");
    EXPECT_EQ(0, T().SetItemParamString(4, 1, nullptr));
    devhost::Reset();
    ASSERT_TRUE(devhost::LoadStoreFromFile(file)) << "no file was written";
    EXPECT_EQ(1, devhost::GetItemParamInt(4, 0).value_or(-1));
    EXPECT_EQ(Show(L"夜桜.tskin"), Show(devhost::GetItemParamString(4, 0).value_or(L"?")));
    EXPECT_FALSE(devhost::GetItemParamString(4, 1).has_value());
}

TEST_F(StoreFile, MalformedItemOrHostLinesAreRefused) {
    const std::vector<std::string> bad = {
        "item\t-1\t0\t5\n",                              // negative item id
        "item\t4294967296\t0\t5\n",                      // above uint32
        "item\t1\t0\n",                                   // three fields
        "item\t1\tx\t5\n",                               // index not a number
        "item\t1\t0\t1\nitem\t1\t0\t2\n",                // duplicate int
        "item\t1\t0\t\"a\"\nitem\t1\t0\t\"b\"\n",          // duplicate string
        "host\t\"Language\"\t65536\n",                    // not a LANGID
        "host\t\"Language\"\t-1\n",
        "host\t\"Language\"\t\"17\"\n",                   // wrong type
        "host\t\"CurrentSkin\"\t5\n",
        "host\t\"Theme\"\t1\n",                           // unknown key
        "host\t\"CurrentSkin\"\t\"a\"\nhost\t\"CurrentSkin\"\t\"b\"\n",  // repeated
        "host\tLanguage\t1\n",                            // key not quoted
    };
    TempFolder folder(L"badlines");
    const std::wstring file = folder.path() + L"\\store.txt";
    for (const std::string& text : bad) {
        SCOPED_TRACE("file: " + text);
        devhost::SetItemParam(8, 0, 42);
        devhost::SetCurrentSkin(L"Before.tskin");
        devhost::SetLanguage(0x0010);
        ASSERT_TRUE(devhost::WriteFileBytes(file, "item\t3\t0\t1\nhost\t\"Language\"\t25\n" + text));
        EXPECT_FALSE(devhost::LoadStoreFromFile(file));
        EXPECT_EQ(42, devhost::GetItemParamInt(8, 0).value_or(0));
        EXPECT_FALSE(devhost::GetItemParamInt(3, 0).has_value());
        EXPECT_EQ(Show(L"Before.tskin"), Show(devhost::CurrentSkin()));
        EXPECT_EQ(0x0010, devhost::Language());
    }
}
