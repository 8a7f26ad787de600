// The description line (event 1) and the About box (event 8), read back from the
// module's version resource.
#include <windows.h>

#include <string>
#include <vector>

#include "plugin/about.h"
#include "ui/dialogs.h"
#include "resource.h"
#include "support/plugin_fixture.h"
#include "varnel_version.h"

namespace {

const std::wstring kDescription = L"Tessera Varnel Plugin Ver. " VARNEL_VERSION_TEXT;

class AboutTest : public PluginTest {};

// Event 1 into a buffer prefilled with 'x', so that untouched units show.
std::wstring Describe(uint64_t capacity, size_t bufferUnits = 300) {
    std::vector<wchar_t> buffer(bufferUnits, L'x');
    EXPECT_EQ(static_cast<int32_t>(TS_REQUIRED_HOST_VERSION),
              TsPluginEventHandler(TS_EVENT_DESCRIBE, reinterpret_cast<uint64_t>(buffer.data()), capacity, 0));
    return std::wstring(buffer.data(), bufferUnits);
}

TEST_F(AboutTest, EventOneDeliversTheDescriptionLineWithinTheCapacity) {
    std::wstring full = Describe(300);
    EXPECT_EQ(kDescription, std::wstring(full.c_str()));

    std::wstring ten = Describe(10);
    EXPECT_EQ(kDescription.substr(0, 9), std::wstring(ten.c_str())) << "capacity 10";
    EXPECT_EQ(L'x', ten[10]) << "nothing written past the capacity";

    std::wstring one = Describe(1);
    EXPECT_EQ(L'\0', one[0]) << "capacity 1";
    EXPECT_EQ(L'x', one[1]);

    std::wstring zero = Describe(0);
    EXPECT_EQ(std::wstring(300, L'x'), zero) << "capacity 0 writes nothing";

    std::wstring huge = Describe(0x80000000ull);
    EXPECT_EQ(L'\0', huge[0]) << "capacity 0x80000000";
    EXPECT_EQ(L'x', huge[1]);

    // Only the low 32 bits count: 0x1'0000'000A is a capacity of 10.
    std::wstring high = Describe(0x10000000Aull);
    EXPECT_EQ(kDescription.substr(0, 9), std::wstring(high.c_str()));

    EXPECT_EQ(static_cast<int32_t>(TS_REQUIRED_HOST_VERSION), TsPluginEventHandler(TS_EVENT_DESCRIBE, 0, 300, 0)) << "null buffer";
}

TEST_F(AboutTest, DescriptionAndCopyrightComeFromTheVersionResource) {
    PluginDescription record;
    ASSERT_EQ(1, BuildPluginDescription(&record));
    EXPECT_EQ(kDescription, std::wstring(record.description));
    EXPECT_NE(L'\0', record.copyright[0]) << "copyright line";
    EXPECT_EQ(0, BuildPluginDescription(nullptr));
}

// Loads a fixture DLL's version block as GetFileVersionInfoW gives it.
std::vector<unsigned char> FixtureBlock(const wchar_t* name) {
    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring path(exe);
    path = path.substr(0, path.find_last_of(L'\\') + 1) + name;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), nullptr);
    EXPECT_NE(0u, size) << "no version resource in fixture";
    std::vector<unsigned char> block(size);
    if (size != 0) {
        EXPECT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));
    }
    return block;
}

TEST_F(AboutTest, LongDescriptionsLeaveNoRoomOrPartOfTheSuffix) {
    PluginDescription record{};
    auto full = FixtureBlock(L"fixture_desc255.dll");
    DescribeVersionBlock(full.data(), &record);
    EXPECT_EQ(255u, wcslen(record.description));
    EXPECT_EQ(L'E', record.description[254]) << "the text alone, no suffix";

    record = PluginDescription{};
    auto most = FixtureBlock(L"fixture_desc250.dll");
    DescribeVersionBlock(most.data(), &record);
    EXPECT_EQ(255u, wcslen(record.description));
    EXPECT_EQ(L"G Ver.", std::wstring(record.description + 249)) << "the first 5 units of the suffix";
}

TEST_F(AboutTest, StringsAreReadThroughTheTranslationsBlock) {
    wchar_t out[256] = L"unchanged";
    auto none = FixtureBlock(L"fixture_notranslation.dll");
    EXPECT_EQ(1, ReadVersionString(none.data(), L"FileDescription", out));
    EXPECT_EQ(std::wstring(L"No translation table"), out) << "block 000004B0 without a table";

    auto japanese = FixtureBlock(L"fixture_japanese.dll");
    EXPECT_EQ(1, ReadVersionString(japanese.data(), L"FileDescription", out));
    EXPECT_EQ(std::wstring(L"Japanese block"), out) << "block 041104b0";

    wcscpy(out, L"unchanged");
    EXPECT_EQ(0, ReadVersionString(japanese.data(), L"NoSuchString", out));
    EXPECT_EQ(std::wstring(L"unchanged"), out) << "a missing string leaves the output alone";
    EXPECT_EQ(0, ReadVersionString(nullptr, L"FileDescription", out));
}

TEST_F(AboutTest, AboutBoxShowsBothLinesAndClosesWithZero) {
    ASSERT_EQ(1, Initialize());
    PluginDescription record;
    ASSERT_EQ(1, BuildPluginDescription(&record));

    const struct {
        const char* how;
        bool (*close)(HWND);
    } closers[] = {{"OK", devhost::PressOk},
                   {"Esc", devhost::PressEscape},
                   {"close box", devhost::PressCloseBox}};
    for (const auto& c : closers) {
        SCOPED_TRACE(c.how);
        std::wstring description, copyright, title;
        std::vector<int> ids;
        devhost::PushDialogScript([&](HWND dlg) {
            description = devhost::GetText(dlg, IDC_ABOUT_DESCRIPTION);
            copyright = devhost::GetText(dlg, IDC_ABOUT_COPYRIGHT);
            title = devhost::DialogTitle(dlg);
            ids = devhost::ControlIds(dlg);
            EXPECT_TRUE(c.close(dlg));
        });
        devhost::ClearLog();
        EXPECT_EQ(1, Send(TS_EVENT_ABOUT, 0));
        EXPECT_EQ(std::wstring(record.description), description);
        EXPECT_EQ(std::wstring(record.copyright), copyright);
        EXPECT_EQ(L"About Tessera Varnel Plugin", title);
        EXPECT_EQ((std::vector<int>{IDC_ABOUT_DESCRIPTION, IDC_ABOUT_COPYRIGHT, IDOK}), ids);
        std::vector<devhost::LogValue> result;
        for (const auto& e : devhost::Log()) {
            if (e.name == L"DialogClosed") {
                result = e.result;
            }
        }
        EXPECT_EQ(std::vector<devhost::LogValue>{0}, result) << "dialog result";
    }
    EXPECT_EQ(0, devhost::DialogWatchdogFired());
}

// The box opens with the focus on OK, which the dialog manager sets only when the
// procedure leaves it to it, so the keys work at once.
TEST_F(AboutTest, AboutBoxOpensWithTheFocusOnOkAndClosesOnEnterOrSpace) {
    ASSERT_EQ(1, Initialize());
    devhost::SetDialogWatchdog(5000);
    for (const WPARAM key : {WPARAM{VK_RETURN}, WPARAM{VK_SPACE}}) {
        SCOPED_TRACE(key == VK_RETURN ? "Enter" : "Space");
        HWND focus = nullptr;
        HWND ok = nullptr;
        devhost::PushDialogScript([&](HWND dlg) {
            focus = GetFocus();
            ok = GetDlgItem(dlg, IDOK);
            PostMessageW(focus, WM_KEYDOWN, key, 0);
            PostMessageW(focus, WM_KEYUP, key, 0xC0000001);
        });
        EXPECT_EQ(1, Send(TS_EVENT_ABOUT, 0));
        EXPECT_EQ(ok, focus);
    }
    EXPECT_EQ(0, devhost::DialogWatchdogFired()) << "a key left the box open";
}

TEST_F(AboutTest, AboutBoxIsEnglishInEveryLanguage) {
    ASSERT_EQ(1, Initialize());
    for (LANGID language : {LANGID{0x0011}, LANGID{0x0019}, LANGID{0x0804}}) {
        SCOPED_TRACE(::testing::Message() << "language 0x" << std::hex << language);
        devhost::SetLanguage(language);
        std::wstring title;
        devhost::PushDialogScript([&](HWND dlg) {
            title = devhost::DialogTitle(dlg);
            devhost::PressOk(dlg);
        });
        Send(TS_EVENT_ABOUT, 0);
        EXPECT_EQ(L"About Tessera Varnel Plugin", title);
    }
}

}  // namespace
