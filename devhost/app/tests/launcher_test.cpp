// The launcher stand-in's window: what its buttons and menu send, its pane, and the
// skin it shows.
#include <thread>

#include "devhost/app/launcher.h"
#include "devhost/app/store_file.h"
#include "test_util.h"

namespace {

struct Event {
    uint32_t code;
    uint64_t p1, p2;
};
std::vector<Event> g_events;

int32_t RecordingHandler(uint32_t event, uint64_t p1, uint64_t p2, uint64_t) {
    g_events.push_back({event, p1, p2});
    return 1;
}

class Launcher : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        g_events.clear();
        devhost::LauncherConfig config;
        config.handler = RecordingHandler;
        config.pluginId = 5;
        config.itemId = 77;
        window_ = devhost::CreateLauncherWindow(config);  // never shown: no X round trips
        ASSERT_NE(nullptr, window_);
    }
    void TearDown() override {
        if (window_ != nullptr) DestroyWindow(window_);
        HostTest::TearDown();
    }
    void Command(int id) { SendMessageW(window_, WM_COMMAND, MAKEWPARAM(id, 0), 0); }
    std::vector<std::wstring> Pane() {
        std::vector<std::wstring> lines;
        HWND pane = GetDlgItem(window_, devhost::kLauncherLog);
        for (LRESULT i = 0, n = SendMessageW(pane, LB_GETCOUNT, 0, 0); i < n; ++i) {
            std::wstring text(static_cast<size_t>(SendMessageW(pane, LB_GETTEXTLEN, i, 0)) + 1, L'\0');
            text.resize(static_cast<size_t>(
                SendMessageW(pane, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()))));
            lines.push_back(text);
        }
        return lines;
    }
    std::wstring Text(int id) {
        wchar_t text[512] = {};
        GetDlgItemTextW(window_, id, text, 512);
        return text;
    }
    HWND window_ = nullptr;
};

}  // namespace

TEST_F(Launcher, ButtonsSendTheLauncherEvents) {
    const uint64_t self = reinterpret_cast<uint64_t>(window_);
    struct Case {
        int button;
        Event expected;
    };
    const Case cases[] = {
        {devhost::kLauncherSettings, {TS_EVENT_SETTINGS, self, 0}},
        {devhost::kLauncherAbout, {TS_EVENT_ABOUT, self, 0}},
        {devhost::kLauncherItemSettings, {TS_EVENT_ITEM_SETTINGS, self, 77}},
        {devhost::kLauncherRunItem, {TS_EVENT_RUN_ITEM, 77, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("button " + std::to_string(c.button));
        g_events.clear();
        Command(c.button);
        ASSERT_EQ(1u, g_events.size());
        EXPECT_EQ(c.expected.code, g_events[0].code);
        EXPECT_EQ(c.expected.p1, g_events[0].p1);
        EXPECT_EQ(c.expected.p2, g_events[0].p2);
    }
    g_events.clear();
    Command(devhost::kLauncherRestartElsewhere);
    ASSERT_EQ(2u, g_events.size()) << "the Host menu's restart";
    EXPECT_EQ(TS_EVENT_SHUTDOWN, g_events[0].code);
    EXPECT_EQ(TS_EVENT_INITIALIZE, g_events[1].code);
    EXPECT_EQ(5u, g_events[1].p1) << "the window's plug-in id";

    devhost::SetLauncherHandler(window_, nullptr);
    g_events.clear();
    Command(devhost::kLauncherRunItem);
    EXPECT_EQ(0u, g_events.size()) << "without a plug-in the buttons send nothing";
}

TEST_F(Launcher, LanguageMenuSwitchesTheHostRefreshesTheCaptionAndPersists) {
    TempFolder folder(L"language");
    const std::wstring file = folder.path() + L"\\tessera-devhost.ini";
    devhost::SetStoreFile(file);
    const auto& languages = devhost::Languages();
    ASSERT_EQ(8u, languages.size());
    HMENU menu = GetSubMenu(GetMenu(window_), 0);
    for (size_t i : {size_t{3}, size_t{7}, size_t{0}}) {
        SCOPED_TRACE("language " + std::to_string(languages[i].language));
        g_events.clear();
        Command(devhost::kLauncherLanguageFirst + static_cast<int>(i));
        EXPECT_EQ(languages[i].language, devhost::Language());
        ASSERT_EQ(1u, g_events.size());
        EXPECT_EQ(TS_EVENT_REFRESH_CAPTION, g_events[0].code);
        for (size_t k = 0; k < languages.size(); ++k) {
            const UINT state = GetMenuState(
                menu, static_cast<UINT>(devhost::kLauncherLanguageFirst + static_cast<int>(k)), MF_BYCOMMAND);
            EXPECT_EQ(k == i, (state & MF_CHECKED) != 0) << "menu item " << k;
        }
    }
    Command(devhost::kLauncherLanguageFirst + 5);
    devhost::Reset();
    ASSERT_TRUE(devhost::LoadStoreFromFile(file));
    EXPECT_EQ(0x0019, devhost::Language()) << "the choice is kept in the store file";
}

TEST_F(Launcher, PaneShowsCallsFromEveryThreadAndTheSkinFollows) {
    TempFolder folder(L"pane");
    devhost::SetSkinsFolder(folder.path());
    const std::wstring skin = devhost::MakeFolderSkin(folder.path(), L"Ночь");
    std::thread([&] { devhost::Table()->ApplySkin(skin.c_str()); }).join();
    devhost::Table()->GetCurrentSkin();
    devhost::Table()->SetPluginCaption(5, L"Cambia skin");
    ASSERT_TRUE(devhost::PumpUntil([&] { return Pane().size() >= 3; }, 5000)) << "lines: " << Pane().size();
    const std::vector<std::wstring> lines = Pane();
    EXPECT_NE(std::wstring::npos, lines[0].find(L"ApplySkin(\"\\Ночь\") = 1")) << Show(lines[0]);
    EXPECT_EQ(std::wstring::npos, lines[0].find(L"  ui  ")) << "another thread's call: " << Show(lines[0]);
    EXPECT_NE(std::wstring::npos, lines[1].find(L"  ui    GetCurrentSkin()")) << Show(lines[1]);
    EXPECT_EQ(Show(L"Ночь"), Show(Text(devhost::kLauncherSkinName)));
    EXPECT_NE(std::wstring::npos, Text(devhost::kLauncherCaption).find(L"Cambia skin"))
        << Show(Text(devhost::kLauncherCaption));

    DestroyWindow(window_);
    window_ = nullptr;
    std::thread([] { devhost::Table()->GetCurrentSkin(); }).join();  // no window to post to any more
    EXPECT_EQ(4u, devhost::CallCount(TS_SLOT_GET_CURRENT_SKIN) + devhost::CallCount(TS_SLOT_APPLY_SKIN) + devhost::CallCount(TS_SLOT_SET_PLUGIN_CAPTION));
}

TEST(LauncherParts, PreviewColoursAreStableAndTellSkinsApart) {
    TempFolder folder(L"preview");
    const std::vector<std::wstring> skins = devhost::MakeSampleSkins(folder.path());
    for (size_t i = 0; i < skins.size(); ++i) {
        EXPECT_EQ(devhost::PreviewColours(skins[i]), devhost::PreviewColours(std::wstring(skins[i])));
        for (size_t k = 0; k < i; ++k)
            EXPECT_NE(devhost::PreviewColours(skins[i]), devhost::PreviewColours(skins[k]))
                << Show(skins[i]) << " vs " << Show(skins[k]);
    }
}

TEST(LauncherParts, ThemeToggleFlipsTheValueAbsentCountingAsLight) {
    ASSERT_TRUE(devhost::DeleteAppsUseLightTheme());
    EXPECT_EQ(0, devhost::ToggleAppsTheme()) << "absent is light, so the toggle goes dark";
    EXPECT_EQ(1, devhost::ToggleAppsTheme());
    ASSERT_TRUE(devhost::SetAppsUseLightTheme(7));
    EXPECT_EQ(0, devhost::ToggleAppsTheme()) << "any non-zero value counts as light";
    ASSERT_TRUE(devhost::SetAppsUseLightThemeString(L"0"));
    EXPECT_EQ(0, devhost::ToggleAppsTheme()) << "a value of the wrong type counts as light";
    devhost::DeleteAppsUseLightTheme();
}

TEST(LauncherParts, LogLinesTellTheThreadAndUndoTheBackslashEscape) {
    const DWORD ui = 0x10;
    struct Case {
        devhost::LogEntry entry;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {{35, L"ApplySkin", {L"\\Night"}, {1}, ui, 42, false}, L"    42 ms  ui    ApplySkin(\"\\Night\") = 1"},
        {{69, L"CommitSettings", {3}, {}, 0x2a, 1234567, false}, L"1234567 ms  t002a CommitSettings(3)"},
        {{-1, L"SkinTookEffect", {L"a\\\\b"}, {}, ui, 5, false}, L"     5 ms  host  SkinTookEffect(\"a\\\\b\")"},
        {{48, L"LoadLocalizedString", {devhost::LogHex{0x400000}, 120, 64}, {5, L"Sk\"in"}, ui, 7, false},
         L"     7 ms  ui    LoadLocalizedString(0x400000, 120, 64) = 5 \"Sk\\x22in\""},
        {{33, L"GetCurrentSkin", {}, {nullptr}, ui, 8, false}, L"     8 ms  ui    GetCurrentSkin() = null"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Show(c.expected));
        EXPECT_EQ(Show(c.expected), Show(devhost::FormatLogEntry(c.entry, ui)));
    }
}
