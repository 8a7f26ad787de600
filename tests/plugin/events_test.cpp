// The export's events, driven as the launcher drives them.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>

#include "config/settings.h"
#include "plugin/about.h"
#include "ui/dialogs.h"
#include "core/state.h"
#include "languages.h"
#include "resource.h"
#include "support/host_log.h"
#include "support/plugin_fixture.h"

namespace {

constexpr wchar_t kClass[] = L"TesseraVarnelPluginClass";

bool ClassRegistered() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    return GetClassInfoExW(TestModule(), kClass, &wc) != FALSE;
}

class EventTest : public PluginTest {};

TEST_F(EventTest, EveryEventCodeAnswersWithItsResult) {
    ASSERT_EQ(1, Initialize()) << "event 2";
    struct Case {
        uint32_t event;
        int32_t expected;
    };
    const Case cases[] = {
        {0, 0},        {4, 1},        {5, 1},        {6, 0},        {7, 1},
        {11, 0},       {12, 0},       {0xFFFF, 0},   {0x10000, 0},  {0x10001, 1},
        {0x10002, 1},  {0x10006, 1},  {0x10007, 1},  {0x10008, 1},  {0x1000B, 1},
        {0x1000C, 0},  {0x20000, 0},  {0xFFFFFFFF, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "event 0x" << std::hex << c.event);
        // Event 4 takes its id from param1; keep it at 1. Event 7 gets the odd flag so
        // that it stays silent.
        EXPECT_EQ(c.expected, Send(c.event, 1, 1));
    }
    EXPECT_EQ(static_cast<int32_t>(TS_REQUIRED_HOST_VERSION), Send(TS_EVENT_DESCRIBE, 0, 0))
        << "event 1 without a buffer";
    EXPECT_EQ(1, Shutdown()) << "event 3";
    EXPECT_EQ(0, devhost::UnexpectedCalls());
}

TEST_F(EventTest, VersionGateRefusesOlderHostsAndAcceptsTheRequiredOne) {
    devhost::SetHostVersion(0x040202FF);
    EXPECT_EQ(0, Initialize());
    EXPECT_EQ(-1, g_state.pluginId.load()) << "id kept after a refused host";
    EXPECT_FALSE(ClassRegistered());
    EXPECT_EQ(0u, devhost::CallCount(TS_SLOT_READ_SETTING_INT)) << "no settings read for a refused host";

    devhost::SetHostVersion(0x04020300);
    EXPECT_EQ(1, Initialize(3));
    EXPECT_EQ(3, g_state.pluginId.load());
    EXPECT_TRUE(ClassRegistered());
    Shutdown();

    devhost::SetHostVersion(0xFFFFFFFF);
    EXPECT_EQ(1, Initialize(3)) << "newer hosts are compared unsigned";
}

TEST_F(EventTest, NegativeIdStartsNothing) {
    EXPECT_EQ(1, Send(TS_EVENT_INITIALIZE, static_cast<uint32_t>(-1), reinterpret_cast<uint64_t>(devhost::Table())));
    EXPECT_EQ(-1, g_state.pluginId.load());
    EXPECT_EQ(nullptr, g_state.workerHandle);
    EXPECT_EQ(nullptr, g_state.hiddenWindow.load());
    EXPECT_EQ(0u, devhost::CallCount(TS_SLOT_READ_SETTING_INT)) << "no settings read";
    EXPECT_EQ(1, Shutdown());
    EXPECT_EQ(-1, g_state.pluginId.load());
    // Only the low 32 bits carry the id: 0xFFFFFFFF in the low half is -1 too.
    EXPECT_EQ(1, Send(TS_EVENT_INITIALIZE, 0x00000005FFFFFFFFull, reinterpret_cast<uint64_t>(devhost::Table())));
    EXPECT_EQ(-1, g_state.pluginId.load());
}

TEST_F(EventTest, EventFourChangesTheIdOfLaterSettingsAndCaptionCalls) {
    ASSERT_EQ(1, Initialize(1));
    EXPECT_EQ(L"Switch Skin", devhost::Caption(1).value_or(L"<none>")) << "caption at event 2";
    EXPECT_EQ(1, Send(TS_EVENT_SET_ID, 0xFFFFFFFF00000007ull));
    EXPECT_EQ(7, g_state.pluginId.load()) << "only the low 32 bits are the id";
    EXPECT_EQ(1, Send(TS_EVENT_REFRESH_CAPTION));
    EXPECT_EQ(L"Switch Skin", devhost::Caption(7).value_or(L"<none>"));
    SaveSettings();
    EXPECT_TRUE(devhost::GetSettingInt(7, nullptr, L"ChangeMode").has_value())
        << "a save after event 4 writes under the new id";
}

TEST_F(EventTest, CaptionRefreshFollowsTheHostsLanguage) {
    ASSERT_EQ(1, Initialize(2));
    const struct {
        LANGID language;
        const wchar_t* caption;
    } cases[] = {
        {0x0000, L"Switch Skin"},       {0x000A, L"Cambiar skin"}, {0x0010, L"Cambia skin"},
        {0x0011, L"スキン変更"},        {0x0012, L"스킨 변경"},    {0x0019, L"Смена скина"},
        {0x0404, L"切換皮膚"},          {0x0804, L"切换皮肤"},
    };
    ASSERT_EQ(kResourceLanguageCount, std::size(cases)) << "languages built against captions stated here";
    for (const ResourceLanguage& built : kResourceLanguages) {
        SCOPED_TRACE(::testing::Message() << "language " << built.tag << " (0x" << std::hex << built.id << ")");
        const auto c = std::find_if(std::begin(cases), std::end(cases),
                                    [&](const auto& stated) { return stated.language == built.id; });
        ASSERT_NE(std::end(cases), c) << "no caption stated for this language";
        devhost::SetLanguage(c->language);
        EXPECT_EQ(1, Send(TS_EVENT_REFRESH_CAPTION));
        EXPECT_EQ(c->caption, devhost::Caption(2).value_or(L"<none>"));
    }
}

TEST_F(EventTest, EventsThatNeedAHostCallNothingBeforeOneIsAccepted) {
    // Before any event 2.
    for (uint32_t event : {TS_EVENT_RUN_ITEM, TS_EVENT_ABOUT, TS_EVENT_SETTINGS, TS_EVENT_ITEM_SETTINGS,
                           TS_EVENT_REFRESH_CAPTION}) {
        SCOPED_TRACE(::testing::Message() << "event 0x" << std::hex << event);
        EXPECT_EQ(1, Send(event, 0, 0));
    }
    EXPECT_TRUE(devhost::Log().empty()) << devhost::Log().size() << " host calls";

    // After an event 2 that refused a too old host.
    devhost::SetHostVersion(0x04020200);
    EXPECT_EQ(0, Initialize());
    devhost::ClearLog();
    for (uint32_t event : {TS_EVENT_RUN_ITEM, TS_EVENT_ABOUT, TS_EVENT_SETTINGS, TS_EVENT_ITEM_SETTINGS,
                           TS_EVENT_REFRESH_CAPTION}) {
        SCOPED_TRACE(::testing::Message() << "event 0x" << std::hex << event);
        EXPECT_EQ(1, Send(event, 0, 0));
    }
    EXPECT_TRUE(devhost::Log().empty()) << devhost::Log().size() << " host calls";

    // A null table is refused as well, without a crash.
    EXPECT_EQ(0, Send(TS_EVENT_INITIALIZE, 1, 0));
    EXPECT_EQ(1, Send(TS_EVENT_SETTINGS, 0, 0));
}

TEST_F(EventTest, HiddenWindowAndClassLiveFromInitialisationToShutdown) {
    EXPECT_FALSE(ClassRegistered());
    ASSERT_EQ(1, Initialize());
    HWND window = FindWindowW(kClass, nullptr);
    ASSERT_NE(nullptr, window) << "hidden window";
    EXPECT_EQ(window, g_state.hiddenWindow.load());
    EXPECT_FALSE(IsWindowVisible(window));
    // A top-level window that never shows and never takes the focus from the launcher.
    const LONG style = GetWindowLongW(window, GWL_STYLE);
    EXPECT_EQ(0, style & (WS_CHILD | WS_VISIBLE)) << std::hex << "style 0x" << style;
    EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_NOACTIVATE);
    EXPECT_EQ(nullptr, GetParent(window));
    EXPECT_TRUE(ClassRegistered());
    EXPECT_NE(0u, g_state.workerRunning.load()) << "worker id stored before it runs";
    EXPECT_NE(nullptr, g_state.workerHandle);

    EXPECT_EQ(1, Shutdown());
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(nullptr, FindWindowW(kClass, nullptr));
    EXPECT_FALSE(ClassRegistered());
    EXPECT_EQ(0, g_state.windowAlive.load());
    EXPECT_EQ(nullptr, g_state.workerHandle);
    EXPECT_EQ(0u, g_state.workerRunning.load());
    EXPECT_EQ(-1, g_state.pluginId.load());

    EXPECT_EQ(1, Shutdown()) << "a second event 3 finds nothing and still answers 1";
    EXPECT_EQ(-1, g_state.pluginId.load());
}

// A worker that cannot start fails event 2 and leaves nothing behind for a host that
// then frees the DLL; the next event 2 starts afresh.
TEST_F(EventTest, InitialisationFailsWhenTheWorkerCannotStart) {
    ArmFault(Fault::kThreadStart, true);
    EXPECT_EQ(0, Initialize());
    ArmFault(Fault::kThreadStart, false);
    EXPECT_EQ(nullptr, FindWindowW(kClass, nullptr));
    EXPECT_FALSE(ClassRegistered());
    EXPECT_EQ(nullptr, g_state.workerHandle.load());
    EXPECT_EQ(0u, g_state.workerRunning.load());
    EXPECT_EQ(1, Initialize());
    EXPECT_NE(nullptr, g_state.workerHandle.load());
}

TEST_F(EventTest, WorkerStopsAtShutdown) {
    ASSERT_EQ(1, Initialize());
    HANDLE worker = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), g_state.workerHandle, GetCurrentProcess(), &worker,
                                SYNCHRONIZE, FALSE, 0));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(worker, 0)) << "worker runs";
    EXPECT_EQ(1, Shutdown());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(worker, 2000)) << "worker ended";
    CloseHandle(worker);
}

// Event 2 as the launcher sees it from its UI thread: the version check, the skin
// showing, the load in its order, then the caption.
TEST_F(EventTest, InitialisationCallsTheHostInOrder) {
    using namespace testlog;
    constexpr wchar_t kTime[] = L"TimeMode";
    constexpr wchar_t kLast[] = L"LastChanged";
    constexpr wchar_t kSel[] = L"SelectedSkins";
    constexpr wchar_t kTheme[] = L"ThemeSync";
    devhost::SetCurrentSkin(L"Current.tskin");
    devhost::SetSetting(4, kSel, L"Count", 2);
    devhost::SetSetting(4, kSel, L"Skin002", std::wstring(L"Q.tskin"));
    ASSERT_EQ(1, Initialize(4));
    const std::vector<Expected> expected = {
        Call{L"GetHostVersion", {}},
        Call{L"GetCurrentSkin", {}},
        ReadInt(nullptr, L"ChangeMode", 0, 4),
        ReadInt(kTime, L"TargetSkins", 0, 4),
        ReadInt(kTime, L"ChangeHour", 0, 4),
        ReadInt(kTime, L"ChangeMinute", 0, 4),
        ReadInt(kTime, L"Index", 0, 4),
        ReadInt(kTime, L"TimeUnit", -1, 4),
        ReadInt(kTime, L"Interval", -1, 4),
        ReadInt(kLast, L"Year", 0, 4),
        ReadInt(kLast, L"Month", 0, 4),
        ReadInt(kLast, L"Day", 0, 4),
        ReadInt(kLast, L"Hour", 0, 4),
        ReadInt(kLast, L"Minute", 0, 4),
        ReadInt(kSel, L"Count", 0, 4),
        ReadString(kSel, L"Skin001", 4),
        ReadString(kSel, L"Skin002", 4),
        ReadString(kTheme, L"LightTheme", 4),
        ReadString(kTheme, L"DarkTheme", 4),
        Call{L"LoadLocalizedString",
             {devhost::LogHex{reinterpret_cast<uintptr_t>(TestModule())}, int64_t{IDS_CAPTION}, int64_t{256}}},
        Call{L"SetPluginCaption", {int64_t{4}, std::wstring(L"Switch Skin")}},
    };
    // The enumeration and the worker call from threads of their own.
    EXPECT_EQ("", CompareSequence(CallsNamed(devhost::Log(), GetCurrentThreadId()), expected));
    ScopedLock guard(g_state.lock);
    EXPECT_EQ(L"Current.tskin", g_state.targetSkin);
}

// A start restarts the schedule from that moment and puts the rotation on the skin
// showing: the first ticks switch nothing, and the next switch follows the skin in use.
TEST_F(EventTest, StartRestartsTheScheduleAndFollowsTheSkinShowing) {
    const std::wstring skins[] = {devhost::MakeFileSkin(skins_, L"Aurora"),
                                  devhost::MakeFileSkin(skins_, L"Basalt"),
                                  devhost::MakeFileSkin(skins_, L"Cobalt")};
    for (int32_t unit : {0, 1}) {
        SCOPED_TRACE(unit == 0 ? "minutes" : "hours");
        devhost::ClearSettings();
        devhost::SetSetting(1, L"TimeMode", L"TimeUnit", unit);
        devhost::SetSetting(1, L"TimeMode", L"Interval", 1);
        devhost::SetSetting(1, L"TimeMode", L"TargetSkins", 1);
        devhost::SetSetting(1, L"TimeMode", L"Index", 0);
        devhost::SetSetting(1, L"SelectedSkins", L"Count", 3);
        for (int i = 0; i < 3; ++i) {
            devhost::SetSetting(1, L"SelectedSkins", SelectedSkinKey(static_cast<size_t>(i) + 1), skins[i]);
        }
        devhost::SetCurrentSkin(skins[2]);
        const int applied = devhost::ApplySkinCount();
        ASSERT_EQ(1, Initialize());
        EXPECT_EQ(2, CopySettings().rotationIndex) << "the index follows the skin showing";
        // Three ticks of the worker.
        EXPECT_FALSE(devhost::PumpUntil([&] { return devhost::ApplySkinCount() != applied; }, 400))
            << "switched at once after the start";
        EXPECT_EQ(1, Shutdown());
    }
}

}  // namespace
