// Hosts that misbehave: each case prints what was expected and what happened.
// Covered elsewhere and not repeated here: the tick-exact repeat rhythm
// (engine ConfirmTest), a worker or enumeration held inside a host call at unload
// (engine LifetimeTest), a Skins folder gone between two ticks (engine
// ScheduleTest.SkinsFolderGoneWhileRunningRequestsTheLastSkinAgain), and a theme
// value that is absent or a string (engine ThemeTest.RegistryValueDecidesTheSkin).
#include <gtest/gtest.h>

#include <aclapi.h>

#include "catalog/catalog.h"
#include "core/windows_theme.h"
#include "engine/theme.h"
#include "reliability/reliability_support.h"
#include "resource.h"
#include "ui/dialogs.h"

namespace {

using devhost::Utf8;
using reliability::Summary;

void Report(const std::string& name, const std::string& expected, const std::string& observed, bool held) {
    Summary("fault", name, {{"expected", expected}, {"observed", observed}, {"held", held ? "yes" : "NO"}});
}

class HostFaultTest : public PluginTest {
protected:
    void TearDown() override {
        devhost::SetCallDelay(0);
        devhost::SetCurrentSkinOverride(nullptr);
        if (plugin.module != nullptr) {
            plugin.handler(TS_EVENT_SHUTDOWN, 0, 0, 0);
            devhost::UnloadPlugin(&plugin);
        }
        PluginTest::TearDown();
        reliability::fastclock::Uninstall();
        devhost::SetAppsUseLightTheme(1);
    }

    bool LoadDll() {
        dll = reliability::PluginDllPath();
        return devhost::LoadPlugin(dll, &plugin);
    }
    bool DllLoaded() const { return GetModuleHandleW(dll.c_str()) != nullptr; }

    std::wstring dll;
    devhost::Plugin plugin{};
};

TEST_F(HostFaultTest, HostThatNeverAppliesGetsTheRequestAgainAndNothingIsSaved) {
    const std::wstring a = devhost::MakeFileSkin(skins_, L"Alder");
    const std::wstring b = devhost::MakeFileSkin(skins_, L"Beech");
    devhost::SetCurrentSkin(a);
    devhost::SetApplyMode(devhost::ApplyMode::Never);
    devhost::SetItemParam(1, 0, 1);
    devhost::SetItemParam(1, 0, b);
    ASSERT_EQ(1, Initialize());
    ASSERT_EQ(1, Send(TS_EVENT_RUN_ITEM, 1));
    // The request, the repeat at the first tick, and the one 31 ticks later.
    const bool repeated = devhost::PumpUntil([] { return devhost::ApplySkinCount() >= 3; }, 8000);
    const std::vector<std::wstring> applied = devhost::AppliedSkins();
    bool allB = true;
    for (const std::wstring& skin : applied) allB = allB && skin == b;
    const bool held = repeated && allB && g_state.switchPending.load() == 1 && devhost::CommitCount() == 0;
    Report("never_applies", "request sent again every 31 ticks, stays pending, no save",
           std::to_string(applied.size()) + " requests of the same skin, pending " +
               std::to_string(g_state.switchPending.load()) + ", saves " + std::to_string(devhost::CommitCount()),
           held);
    EXPECT_TRUE(repeated) << applied.size();
    EXPECT_TRUE(allB);
    EXPECT_EQ(1, g_state.switchPending.load());
    EXPECT_EQ(0, devhost::CommitCount());
}

TEST_F(HostFaultTest, CurrentSkinThatIsWrongEmptyOrHugeNeverConfirmsUntilTheHostIsRight) {
    const std::wstring a = devhost::MakeFileSkin(skins_, L"Alder");
    const std::wstring b = devhost::MakeFileSkin(skins_, L"Beech");
    devhost::SetCurrentSkin(a);
    devhost::SetItemParam(1, 0, 1);
    devhost::SetItemParam(1, 0, b);
    devhost::SetItemParam(2, 0, 1);
    devhost::SetItemParam(2, 0, a);
    ASSERT_EQ(1, Initialize());
    struct Case {
        const char* name;
        std::function<std::wstring(const std::wstring&)> answer;
    };
    const std::wstring huge(100000, L'\x4E00');
    const std::vector<Case> cases = {
        {"current_skin_other", [a, b](const std::wstring& real) { return real == a ? b : a; }},
        {"current_skin_empty", [](const std::wstring&) { return std::wstring(); }},
        {"current_skin_100000_units", [huge](const std::wstring&) { return huge; }},
        {"current_skin_target_then_more", [](const std::wstring& real) { return real + std::wstring(100000, L'x'); }},
    };
    uint32_t item = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        devhost::SetCurrentSkinOverride(c.answer);
        const int commits = devhost::CommitCount();
        const size_t asked = devhost::CallCount(TS_SLOT_GET_CURRENT_SKIN);
        ASSERT_EQ(1, Send(TS_EVENT_RUN_ITEM, item));
        const bool checked = devhost::PumpUntil([&] { return devhost::CallCount(TS_SLOT_GET_CURRENT_SKIN) >= asked + 5; }, 5000);
        const bool unconfirmed = g_state.switchPending.load() == 1 && devhost::CommitCount() == commits;
        devhost::SetCurrentSkinOverride(nullptr);
        const bool confirmed = devhost::PumpUntil([] { return g_state.switchPending.load() == 0; }, 5000) &&
                               devhost::PumpUntil([&] { return devhost::CommitCount() == commits + 1; }, 2000);
        Report(c.name, "no confirmation while the host names another skin; confirmed and saved once it is right",
               std::string(unconfirmed ? "stayed pending" : "CONFIRMED WRONGLY") + " over " +
                   std::to_string(devhost::CallCount(TS_SLOT_GET_CURRENT_SKIN) - asked) + " checks; " +
                   (confirmed ? "confirmed and saved after" : "never confirmed after"),
               checked && unconfirmed && confirmed);
        EXPECT_TRUE(checked);
        EXPECT_TRUE(unconfirmed);
        EXPECT_TRUE(confirmed);
        item = item == 1 ? 2 : 1;
    }
}

TEST_F(HostFaultTest, HostCallsBlockingFiveSecondsDoNotHoldShutDownOrTheUnload) {
    ASSERT_TRUE(LoadDll()) << Utf8(dll);
    const std::wstring a = devhost::MakeFileSkin(skins_, L"Alder");
    const std::wstring b = devhost::MakeFileSkin(skins_, L"Beech");
    devhost::SetCurrentSkin(a);
    devhost::SetApplyMode(devhost::ApplyMode::Never);
    devhost::SetItemParam(1, 0, 1);
    devhost::SetItemParam(1, 0, b);
    ASSERT_EQ(1, plugin.handler(TS_EVENT_INITIALIZE, 1, reinterpret_cast<uint64_t>(reliability::CountingTable()), 0));
    ASSERT_EQ(1, plugin.handler(TS_EVENT_RUN_ITEM, 1, 0, 0));
    devhost::SetCallDelay(5000);
    ASSERT_TRUE(devhost::PumpUntil([] { return reliability::CallsInFlight(33) > 0; }, 3000))
        << "the worker never asked for the current skin";

    const ULONGLONG start = GetTickCount64();
    const int32_t result = plugin.handler(TS_EVENT_SHUTDOWN, 0, 0, 0);
    const ULONGLONG took = GetTickCount64() - start;
    const bool stillBlocked = reliability::CallsInFlight(33) > 0;
    devhost::UnloadPlugin(&plugin);
    const bool unloaded = devhost::PumpUntil([this] { return !DllLoaded() && reliability::CallsInFlight() == 0; }, 15000);
    Report("calls_block_5s", "event 3 returns after about 1 s while the worker's call still blocks; DLL then unloads",
           "event 3 returned " + std::to_string(result) + " after " + std::to_string(took) + " ms, call " +
               (stillBlocked ? "still blocked" : "already over") + "; " +
               (unloaded ? "DLL unloaded after the call ended" : "DLL STILL LOADED"),
           result == 1 && stillBlocked && unloaded);
    EXPECT_EQ(1, result);
    EXPECT_TRUE(stillBlocked) << "shut-down waited for the blocked host call (" << took << " ms)";
    EXPECT_TRUE(unloaded);
}

// Making 10,000 files through Wine takes about a minute and removing them longer, so
// the folder is kept in the prefix's temp directory and only completed when short.
class EnumerationUnloadTest : public HostFaultTest {
protected:
    static constexpr int kEntries = 10000;
    static void SetUpTestSuite() {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        folder_ = new std::wstring(std::wstring(temp) + L"varnel-reliability-10000-entries");
        CreateDirectoryW(folder_->c_str(), nullptr);
        const ULONGLONG start = GetTickCount64();
        int made = 0;
        for (int i = 0; i < kEntries; ++i) {
            wchar_t name[32];
            swprintf(name, 32, i % 2 ? L"\\e%05d.tskin" : L"\\e%05d.txt", i);
            HANDLE file = CreateFileW((*folder_ + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file != INVALID_HANDLE_VALUE) {
                CloseHandle(file);
                ++made;
            }
        }
        std::printf("%d of %d entries made in %llu ms\n", made, kEntries, GetTickCount64() - start);
    }
    static void TearDownTestSuite() { delete folder_; }
    static std::wstring* folder_;
};
std::wstring* EnumerationUnloadTest::folder_ = nullptr;

TEST_F(EnumerationUnloadTest, FreeLibraryRightAfterShutDownWhileTenThousandEntriesAreWalked) {
    for (const size_t examinedFirst : {size_t{0}, size_t{2000}}) {
        SCOPED_TRACE(examinedFirst);
        devhost::Reset();
        devhost::SetSkinsFolder(*folder_);
        ASSERT_TRUE(LoadDll()) << Utf8(dll);
        ASSERT_EQ(1, plugin.handler(TS_EVENT_INITIALIZE, 1, reinterpret_cast<uint64_t>(devhost::Table()), 0));
        if (examinedFirst > 0) {
            ASSERT_TRUE(devhost::PumpUntil([&] { return devhost::CallCount(TS_SLOT_GET_SKIN_DISPLAY_NAME) >= examinedFirst; }, 20000));
        }
        ASSERT_EQ(1, plugin.handler(TS_EVENT_SHUTDOWN, 0, 0, 0));
        const size_t atShutdown = devhost::CallCount(TS_SLOT_GET_SKIN_DISPLAY_NAME);
        devhost::UnloadPlugin(&plugin);
        const bool unloaded = devhost::PumpUntil([this] { return !DllLoaded(); }, 20000);
        const size_t after = devhost::CallCount(TS_SLOT_GET_SKIN_DISPLAY_NAME) - atShutdown;
        Report(examinedFirst ? "unload_mid_enumeration" : "unload_right_after_start",
               "enumeration of 10000 entries stops at its next entry; DLL unloads; no crash",
               std::to_string(atShutdown) + " entries examined before event 3, " + std::to_string(after) +
                   " after; " + (unloaded ? "DLL unloaded" : "DLL STILL LOADED"),
               unloaded && after <= 1);
        EXPECT_TRUE(unloaded);
        EXPECT_LE(after, 1u) << "display names asked after the shut-down";
        EXPECT_EQ(0, devhost::UnexpectedCalls());
    }
}

TEST_F(HostFaultTest, SkinsFolderRemovedAndRestoredWhileSwitching) {
    const std::vector<std::wstring> names = {L"Alder", L"Beech", L"Cedar", L"Dogwood"};
    for (const std::wstring& name : names) devhost::MakeFileSkin(skins_, name);
    devhost::SetCurrentSkin(L"Alder.tskin");
    devhost::SetSetting(1, L"TimeMode", L"TimeUnit", 0);
    devhost::SetSetting(1, L"TimeMode", L"Interval", 1);
    reliability::fastclock::Install(120);
    ASSERT_EQ(1, Initialize());
    const bool switching = devhost::PumpUntil([] { return devhost::CommitCount() >= 2; }, 10000);

    RemoveTree(skins_);
    auto rebuild = [this] {
        devhost::PushDialogScript([](HWND dlg) {
            devhost::PushDialogScript([](HWND sub) { devhost::PressCancel(sub); });
            devhost::Click(dlg, IDC_MAIN_PERIODIC_SETTINGS);
            devhost::PressCancel(dlg);
        });
        Send(TS_EVENT_SETTINGS);
    };
    rebuild();
    size_t listed = 0;
    {
        ScopedLock guard(g_state.lock);
        listed = g_state.allSkins.size();
    }
    devhost::PumpUntil([] { return g_state.switchPending.load() == 0; }, 5000);
    const int requestsBefore = devhost::ApplySkinCount();
    devhost::PumpUntil([] { return false; }, 2000);  // four scheduled minutes with nothing to show
    const int requestsWhileGone = devhost::ApplySkinCount() - requestsBefore;

    ASSERT_TRUE(CreateDirectoryW(skins_.c_str(), nullptr));
    for (const std::wstring& name : names) devhost::MakeFileSkin(skins_, name);
    rebuild();
    const int commits = devhost::CommitCount();
    const bool resumed = devhost::PumpUntil([&] { return devhost::CommitCount() >= commits + 2; }, 10000);
    const bool alive = WaitForSingleObject(g_state.workerHandle, 0) == WAIT_TIMEOUT;
    Report("skins_folder_removed_restored",
           "while gone: empty skin list, nothing requested; restored: switching resumes and saves",
           std::string(switching ? "switching before; " : "NOT SWITCHING before; ") + std::to_string(listed) +
               " skins listed and " + std::to_string(requestsWhileGone) + " requests while gone; " +
               (resumed ? "resumed after restore" : "DID NOT RESUME"),
           switching && listed == 0 && requestsWhileGone == 0 && resumed && alive);
    EXPECT_TRUE(switching);
    EXPECT_EQ(0u, listed);
    EXPECT_EQ(0, requestsWhileGone);
    EXPECT_TRUE(resumed);
    EXPECT_TRUE(alive);
    EXPECT_EQ(0u, devhost::PendingDialogScripts());
}

// A DACL on the theme key that denies reading values to everyone.
class DeniedKey {
public:
    DeniedKey() {
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kPersonalizeKey, 0, READ_CONTROL | WRITE_DAC, &key_) !=
            ERROR_SUCCESS) {
            key_ = nullptr;
            return;
        }
        DWORD size = 0;
        RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, nullptr, &size);
        original_.resize(size);
        if (size == 0 || RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, original_.data(), &size) != ERROR_SUCCESS) {
            original_.clear();
        }
        SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
        PSID everyone = nullptr;
        AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
        std::vector<BYTE> acl(256);
        auto* list = reinterpret_cast<PACL>(acl.data());
        InitializeAcl(list, static_cast<DWORD>(acl.size()), ACL_REVISION);
        AddAccessDeniedAce(list, ACL_REVISION, KEY_QUERY_VALUE, everyone);
        AddAccessAllowedAce(list, ACL_REVISION, KEY_ALL_ACCESS & ~KEY_QUERY_VALUE, everyone);
        SECURITY_DESCRIPTOR sd;
        InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
        SetSecurityDescriptorDacl(&sd, TRUE, list, FALSE);
        applied_ = RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, &sd) == ERROR_SUCCESS;
        FreeSid(everyone);
    }
    ~DeniedKey() {
        if (key_ == nullptr) return;
        if (!original_.empty()) {
            RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, original_.data());
        } else {
            SECURITY_DESCRIPTOR sd;
            InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
            SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE);
            RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, &sd);
        }
        RegCloseKey(key_);
    }
    DeniedKey(const DeniedKey&) = delete;
    DeniedKey& operator=(const DeniedKey&) = delete;

    bool Applied() const { return applied_; }
    // Whether a reader is really refused.
    static bool Honoured() {
        HKEY probe = nullptr;
        const LSTATUS status = RegOpenKeyExW(HKEY_CURRENT_USER, kPersonalizeKey, 0, KEY_QUERY_VALUE, &probe);
        if (status == ERROR_SUCCESS) RegCloseKey(probe);
        return status == ERROR_ACCESS_DENIED;
    }

private:
    HKEY key_ = nullptr;
    std::vector<BYTE> original_;
    bool applied_ = false;
};

TEST_F(HostFaultTest, ThemeKeyAbsentOfAnotherTypeOrDeniedCountsAsLight) {
    AttachHost();
    const std::wstring light = devhost::MakeFileSkin(skins_, L"Light");
    const std::wstring dark = devhost::MakeFileSkin(skins_, L"Dark");
    g_state.settings.changeMode = ChangeMode::kThemeSync;
    {
        ScopedLock guard(g_state.lock);
        g_state.settings.lightThemeSkin = light;
        g_state.settings.darkThemeSkin = dark;
    }
    // From a target that is neither skin, the theme check asks for the one it decides on.
    auto decided = [] {
        {
            ScopedLock guard(g_state.lock);
            g_state.targetSkin = L"Neither.tskin";
        }
        const int before = devhost::ApplySkinCount();
        SyncWithWindowsTheme();
        const std::vector<std::wstring> applied = devhost::AppliedSkins();
        return devhost::ApplySkinCount() == before + 1 ? applied.back() : std::wstring(L"(nothing)");
    };
    auto setRaw = [](DWORD type, const std::vector<BYTE>& data) {
        HKEY key;
        RegCreateKeyExW(HKEY_CURRENT_USER, kPersonalizeKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr);
        RegSetValueExW(key, kLightThemeValue, 0, type, data.data(), static_cast<DWORD>(data.size()));
        RegCloseKey(key);
    };

    ASSERT_TRUE(devhost::SetAppsUseLightTheme(0));
    ASSERT_EQ(dark, decided()) << "the dark value itself must be read as dark";

    struct Case {
        const char* name;
        std::function<void()> arrange;
    };
    const std::vector<Case> cases = {
        {"theme_key_absent", [] { RegDeleteKeyW(HKEY_CURRENT_USER, kPersonalizeKey); }},
        {"theme_value_qword_0", [&] { setRaw(REG_QWORD, std::vector<BYTE>(8, 0)); }},
        {"theme_value_binary_4_bytes_0", [&] { setRaw(REG_BINARY, std::vector<BYTE>(4, 0)); }},
        {"theme_value_dword_too_short", [&] { setRaw(REG_DWORD, std::vector<BYTE>(2, 0)); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        devhost::SetAppsUseLightTheme(0);
        c.arrange();
        const std::wstring got = decided();
        Report(c.name, "read fails, counts as light: light skin requested", "requested " + Utf8(got), got == light);
        EXPECT_EQ(light, got);
    }

    devhost::SetAppsUseLightTheme(0);
    std::wstring got;
    bool applied = false, honoured = false;
    {
        DeniedKey denied;
        applied = denied.Applied();
        honoured = DeniedKey::Honoured();
        got = decided();
    }
    const bool restored = devhost::SetAppsUseLightTheme(1);
    if (honoured) {
        Report("theme_key_denied", "read refused, counts as light: light skin requested", "requested " + Utf8(got),
               got == light);
        EXPECT_EQ(light, got);
    } else {
        Report("theme_key_denied", "read refused, counts as light",
               std::string("Wine ") + (applied ? "took the denying DACL but did not enforce it" : "refused the DACL") +
                   "; the value was read (requested " + Utf8(got) + "); untestable here",
               got == dark);
        EXPECT_EQ(dark, got) << "an unenforced DACL leaves the dark value readable";
    }
    EXPECT_TRUE(restored) << "the theme key could not be written again after the test";
}

}  // namespace
