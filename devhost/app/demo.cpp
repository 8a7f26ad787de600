// The scripted demo: a session as the launcher would run it, told as a timeline.
//
// 1. Every step that the plug-in must take is checked; a step that did not happen as
//    expected prints "FAILED" with the reason, and the exit code is then 1 (2 when
//    Varnel.dll beside the program cannot be loaded at all).
// 2. Times are milliseconds since the host started, taken from the host's call log
//    where a call is shown, so they tell when the plug-in acted, not when we printed.
// 3. Waits are bounded pumps of this thread's messages, which is where the plug-in's
//    hidden window and the dialogs live.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>

#include "core/windows_theme.h"
#include "devhost/app/launcher.h"
#include "devhost/app/picture.h"
#include "devhost/app/program.h"
#include "devhost/core/devhost.h"
#include "devhost/core/text_file.h"
#include "res/resource.h"

namespace devhost {
namespace {

constexpr int32_t kPluginId = 3;
constexpr uint32_t kItemNext = 1;       // never configured: behaviour 0
constexpr uint32_t kItemSpecified = 2;  // behaviour 1 with a skin of its own
constexpr DWORD kSwitchWait = 4000;     // covers a repeat of the request (3.1 s)

std::wstring Quoted(const std::wstring& text) {
    return L"\"" + text + L"\"";
}

std::wstring Date(int year, int month, int day, int hour, int minute) {
    wchar_t text[32];
    swprintf(text, 32, L"%04d-%02d-%02d %02d:%02d", year, month, day, hour, minute);
    return text;
}

// Lines are kept until Flush() and then printed in order of time, as steps are often
// told after the fact from the log, and a step's details follow it.
class Timeline {
public:
    void At(uint64_t ms, const std::wstring& who, const std::wstring& text) {
        lines_.push_back({ms, who, text, {}});
    }
    void Now(const std::wstring& who, const std::wstring& text) { At(ElapsedMs(), who, text); }
    void More(const std::wstring& text) {
        if (lines_.empty()) At(ElapsedMs(), L"", L"");
        lines_.back().more.push_back(text);
    }
    void Fail(const std::wstring& reason) {
        failures_.push_back(reason);
        Now(L"FAILED", reason);
    }
    bool Check(bool ok, const std::wstring& reason) {
        if (!ok) Fail(reason);
        return ok;
    }
    void Flush() {
        std::stable_sort(lines_.begin(), lines_.end(),
                         [](const Line& a, const Line& b) { return a.ms < b.ms; });
        for (const Line& line : lines_) {
            std::wstring tag = line.who;
            tag.resize(std::max<size_t>(tag.size(), 9), L' ');
            std::printf("%6llu ms  %s%s\n", static_cast<unsigned long long>(line.ms), Utf8(tag).c_str(),
                        Utf8(line.text).c_str());
            for (const std::wstring& more : line.more)
                std::printf("                   %s\n", Utf8(more).c_str());
        }
        std::fflush(stdout);
        lines_.clear();
    }
    const std::vector<std::wstring>& failures() const { return failures_; }

private:
    struct Line {
        uint64_t ms;
        std::wstring who, text;
        std::vector<std::wstring> more;
    };
    std::vector<Line> lines_;
    std::vector<std::wstring> failures_;
};

std::wstring Hex8(uint32_t value) {
    wchar_t text[16];
    swprintf(text, 16, L"0x%08X", value);
    return text;
}

// "GetHostVersion x1, ReadSettingInt x13, ..." in order of first call.
std::wstring Summary(const std::vector<LogEntry>& log, size_t from,
                     std::function<bool(const LogEntry&)> keep) {
    std::vector<std::wstring> order;
    std::map<std::wstring, int> counts;
    for (size_t i = from; i < log.size(); ++i) {
        if (log[i].slot < 0 || !keep(log[i])) continue;
        if (counts[log[i].name]++ == 0) order.push_back(log[i].name);
    }
    std::wstring text;
    for (const std::wstring& name : order)
        text += (text.empty() ? L"" : L", ") + name + L" x" + std::to_wstring(counts[name]);
    return text.empty() ? L"none" : text;
}

class Demo {
public:
    int Run(const std::vector<std::wstring>& options);

private:
    bool SetUp();
    void StartSession(const wchar_t* why);
    void InitialThemeCheck(size_t mark, int commits);
    void FlipTheme();
    void RunItems();
    void DaysSession();
    void Dialogs();
    void OverlappingSaves();
    void Reloads();
    void StoredSettings();
    void ShutDown();
    void Screenshot();

    std::wstring Name(const std::wstring& skin) const {
        std::wstring name = DefaultDisplayName(skin);
        return Quoted(skin) + (name.empty() || name == skin ? L"" : L" (" + name + L")");
    }
    std::wstring Thread(DWORD id) const {
        return id == GetCurrentThreadId() ? L"on the host's thread"
               : id == worker_            ? L"on the worker"
                                          : L"on thread " + std::to_wstring(id);
    }
    std::wstring NextInFolder(const std::wstring& skin) const;
    // Reports the switch to `skin` requested after log position `mark`: the request,
    // the confirmation and the save; false (with the failure told) when one is missing.
    bool ReportSwitch(size_t mark, const std::wstring& skin, uint64_t* requestedAt = nullptr);
    bool WaitForSwitch(int commitsBefore, const std::wstring& skin) {
        return PumpUntil([&] { return CommitCount() > commitsBefore && CurrentSkin() == skin; }, kSwitchWait);
    }
    int32_t Setting(const wchar_t* section, const wchar_t* key) const {
        return GetSettingInt(kPluginId, section, key).value_or(-1);
    }

    Timeline t_;
    std::wstring base_, skins_, screenshot_;
    std::vector<std::wstring> samples_, folderOrder_;
    Plugin plugin_{};
    HWND window_ = nullptr;
    DWORD worker_ = 0;
    bool loaded_ = false;
};

bool Demo::SetUp() {
    wchar_t temp[MAX_PATH];
    DWORD length = GetTempPathW(MAX_PATH, temp);
    base_ = (length > 0 && length < MAX_PATH ? std::wstring(temp) : L".\\") + L"tessera-devhost-" +
            std::to_wstring(GetCurrentProcessId());
    skins_ = base_ + L"\\Skins";
    RemoveTree(base_);
    CreateDirectoryW(base_.c_str(), nullptr);
    CreateDirectoryW(skins_.c_str(), nullptr);
    samples_ = MakeSampleSkins(skins_);
    SetSkinsFolder(skins_);
    SetCurrentSkin(samples_.front());
    int folders = 0;
    std::wstring names;
    for (const std::wstring& skin : samples_) {
        folders += !skin.empty() && skin[0] == L'\\' ? 1 : 0;
        names += (names.empty() ? L"" : L", ") + DefaultDisplayName(skin);
    }
    t_.Now(L"host", L"Skins folder " + skins_ + L": " + std::to_wstring(samples_.size()) + L" skins, " +
                        std::to_wstring(samples_.size() - static_cast<size_t>(folders)) + L" files and " +
                        std::to_wstring(folders) + L" folders");
    t_.More(names);
    if (!t_.Check(std::count(samples_.begin(), samples_.end(), L"") == 0, L"a sample skin could not be made"))
        return false;

    const std::wstring dll = ProgramFolder() + L"\\Varnel.dll";
    if (!LoadPlugin(dll, &plugin_)) {
        t_.Fail(L"cannot load " + dll + L" (error " + std::to_wstring(GetLastError()) + L")");
        return false;
    }
    loaded_ = true;
    t_.Now(L"host", L"loaded " + dll);

    LauncherConfig config;
    config.handler = plugin_.handler;
    config.pluginId = kPluginId;
    config.itemId = kItemSpecified;
    window_ = CreateLauncherWindow(config);
    if (t_.Check(window_ != nullptr, L"the launcher window could not be created (error " +
                                         std::to_wstring(GetLastError()) + L")")) {
        ShowWindow(window_, SW_SHOWNOACTIVATE);
        UpdateWindow(window_);
        t_.Now(L"host", L"launcher window shown; the skin it shows is " + Name(CurrentSkin()));
    }
    return true;
}

std::wstring Demo::NextInFolder(const std::wstring& skin) const {
    auto at = std::find(folderOrder_.begin(), folderOrder_.end(), skin);
    if (at == folderOrder_.end()) return L"";
    return ++at == folderOrder_.end() ? folderOrder_.front() : *at;
}

bool Demo::ReportSwitch(size_t mark, const std::wstring& skin, uint64_t* requestedAt) {
    const std::vector<LogEntry> log = Log();
    const std::vector<LogValue> asked{skin};
    size_t request = log.size(), confirm = log.size(), commit = log.size();
    for (size_t i = mark; i < log.size(); ++i) {
        if (log[i].slot == TS_SLOT_APPLY_SKIN && request == log.size()) {
            request = i;
            if (log[i].args != asked) {
                t_.Fail(L"ApplySkin(" + LogArgsText(log[i].args) + L") where " + Quoted(skin) + L" was expected");
                return false;
            }
        } else if (log[i].slot == TS_SLOT_COMMIT_SETTINGS && request < i) {
            commit = i;
            break;
        }
    }
    if (!t_.Check(request < log.size(), L"no ApplySkin of " + Quoted(skin)) ||
        !t_.Check(commit < log.size(), L"the switch to " + Quoted(skin) + L" was not saved"))
        return false;
    for (size_t i = commit; i-- > request;) {
        if (log[i].slot == TS_SLOT_GET_CURRENT_SKIN && log[i].threadId == log[commit].threadId) {
            confirm = i;
            break;
        }
    }
    if (!t_.Check(
            confirm < log.size() && log[confirm].result == asked,
            L"the save after the switch to " + Quoted(skin) + L" came without a confirming GetCurrentSkin"))
        return false;
    worker_ = log[confirm].threadId;
    int repeats = 0;
    for (size_t i = request + 1; i < confirm; ++i) repeats += log[i].slot == TS_SLOT_APPLY_SKIN ? 1 : 0;
    t_.At(log[request].ms, L"request",
          L"ApplySkin(" + Name(skin) + L") " + Thread(log[request].threadId) +
              (repeats > 0 ? L", repeated " + std::to_wstring(repeats) + L"x" : L""));
    t_.At(log[confirm].ms, L"confirm",
          L"GetCurrentSkin() = " + Quoted(skin) + L" " + Thread(log[confirm].threadId));
    t_.At(log[commit].ms, L"save",
          Summary(log, confirm + 1,
                  [&](const LogEntry& e) { return e.threadId == log[commit].threadId && e.slot != TS_SLOT_GET_CURRENT_SKIN; }) +
              L"; Index " + std::to_wstring(Setting(L"TimeMode", L"Index")));
    if (requestedAt != nullptr) *requestedAt = log[request].ms;
    return true;
}

void Demo::StartSession(const wchar_t* why) {
    wchar_t description[256] = {};
    const int32_t r1 = plugin_.handler(TS_EVENT_DESCRIBE, reinterpret_cast<uint64_t>(description), 256, 0);
    t_.Now(L"event 1", L"-> " + Hex8(static_cast<uint32_t>(r1)) + L", description " + Quoted(description));
    t_.Check(static_cast<uint32_t>(r1) == TS_REQUIRED_HOST_VERSION,
             L"event 1 did not return the required host version");
    if (window_ != nullptr)
        SetWindowTextW(window_, (L"Tessera (development host) - " + std::wstring(description)).c_str());

    const size_t mark = Log().size();
    const uint64_t start = ElapsedMs();
    const int32_t r2 =
        plugin_.handler(TS_EVENT_INITIALIZE, kPluginId, reinterpret_cast<uint64_t>(Table()), 0);
    const uint64_t took = ElapsedMs() - start;
    t_.At(
        start, L"event 2",
        L"(" + std::wstring(why) + L") -> " + std::to_wstring(r2) + L" in " + std::to_wstring(took) + L" ms");
    t_.More(L"host calls: " +
            Summary(Log(), mark, [](const LogEntry& e) { return e.threadId == GetCurrentThreadId(); }));
    t_.Check(r2 == 1, L"event 2 returned " + std::to_wstring(r2));

    // The folder is read on a thread of the plug-in's own, one display name per skin.
    auto names = [&] {
        std::vector<LogEntry> log = Log();
        return std::count_if(
            log.begin() + static_cast<std::ptrdiff_t>(mark), log.end(),
            [](const LogEntry& e) { return e.slot == TS_SLOT_GET_SKIN_DISPLAY_NAME && e.threadId != GetCurrentThreadId(); });
    };
    const bool enumerated = PumpUntil([&] { return static_cast<size_t>(names()) >= samples_.size(); }, 3000);
    uint64_t readAt = ElapsedMs();
    const std::vector<LogEntry> log = Log();
    for (size_t i = mark; i < log.size(); ++i)
        if (log[i].slot == TS_SLOT_GET_SKIN_DISPLAY_NAME && log[i].threadId != GetCurrentThreadId()) readAt = log[i].ms;
    t_.At(readAt, L"host",
          std::wstring(enumerated ? L"Skins folder read" : L"Skins folder not read within 3 s") +
              L" by a thread of the plug-in: " + Summary(log, mark, [](const LogEntry& e) {
                  return e.threadId != GetCurrentThreadId() && (e.slot == TS_SLOT_GET_SKINS_FOLDER || e.slot == TS_SLOT_GET_SKIN_DISPLAY_NAME);
              }));
    t_.Check(enumerated, L"the plug-in did not read the Skins folder");
    if (folderOrder_.empty()) {
        for (const LogEntry& e : Log()) {
            if (e.slot != TS_SLOT_GET_SKIN_DISPLAY_NAME || e.threadId == GetCurrentThreadId() || e.result == std::vector<LogValue>{L""})
                continue;
            auto skin = std::find_if(samples_.begin(), samples_.end(),
                                     [&](const std::wstring& s) { return e.args == std::vector<LogValue>{s}; });
            if (skin != samples_.end() &&
                std::find(folderOrder_.begin(), folderOrder_.end(), *skin) == folderOrder_.end())
                folderOrder_.push_back(*skin);
        }
    }
    const std::optional<std::wstring> caption = Caption(kPluginId);
    t_.Now(L"host", L"item caption " + (caption ? Quoted(*caption) : std::wstring(L"not set")));
    t_.Check(caption && !caption->empty(), L"no item caption was set");
}

void Demo::InitialThemeCheck(size_t mark, int commits) {
    const std::wstring light = samples_[9];
    if (WaitForSwitch(commits, light)) {
        ReportSwitch(mark, light);
    } else {
        t_.Fail(L"the initial theme check did not switch to " + Quoted(light));
    }
}

void Demo::FlipTheme() {
    const std::wstring dark = samples_[2];
    const size_t mark = Log().size();
    const int commits = CommitCount();
    t_.Check(SetAppsUseLightTheme(0), L"the app theme could not be written");
    t_.Now(L"Windows",
           std::wstring(L"HKCU\\...\\Themes\\Personalize ") + kLightThemeValue + L" = 0 (apps now dark)");
    const uint64_t broadcast = ElapsedMs();
    BroadcastColorSetChange();
    t_.At(broadcast, L"Windows",
          L"WM_SETTINGCHANGE \"ImmersiveColorSet\" sent to the launcher's top-level windows");
    if (!WaitForSwitch(commits, dark)) {
        t_.Fail(L"no switch to the dark skin " + Quoted(dark) + L" within " + std::to_wstring(kSwitchWait) +
                L" ms");
        return;
    }
    uint64_t requested = 0;
    if (!ReportSwitch(mark, dark, &requested)) return;
    const uint64_t after = requested - broadcast;
    t_.More(L"the worker acted " + std::to_wstring(after) +
            L" ms after the broadcast (two ticks of quiet: 100-200 ms)");
    t_.Check(after >= 90, L"the theme change was acted on without waiting for the notifications to settle");
    if (after > 250) t_.More(L"(later than 200 ms: the machine is busy)");
}

void Demo::RunItems() {
    // Behaviour 0: the skin after the current one in the folder's order.
    const std::wstring next = NextInFolder(CurrentSkin());
    size_t mark = Log().size();
    int commits = CommitCount();
    t_.Now(L"host",
           L"item " + std::to_wstring(kItemNext) + L" has no parameters: behaviour 0, the next skin");
    const uint64_t ran = ElapsedMs();
    const int32_t r7 = plugin_.handler(TS_EVENT_RUN_ITEM, kItemNext, 0, 0);
    t_.At(ran, L"event 7", L"item " + std::to_wstring(kItemNext) + L" run -> " + std::to_wstring(r7));
    if (t_.Check(!next.empty(), L"the folder's order is not known") &&
        t_.Check(WaitForSwitch(commits, next),
                 L"item " + std::to_wstring(kItemNext) + L" did not switch to " + Quoted(next)))
        ReportSwitch(mark, next);

    // Behaviour 1: the item's own skin.
    const std::wstring chosen = samples_[3];
    SetItemParam(kItemSpecified, 0, 1);
    SetItemParam(kItemSpecified, 0, chosen);
    t_.Now(L"host",
           L"item " + std::to_wstring(kItemSpecified) + L" stored with behaviour 1 and skin " + Name(chosen));
    mark = Log().size();
    commits = CommitCount();
    const uint64_t ranB = ElapsedMs();
    const int32_t r7b = plugin_.handler(TS_EVENT_RUN_ITEM, kItemSpecified, 0, 0);
    t_.At(ranB, L"event 7", L"item " + std::to_wstring(kItemSpecified) + L" run -> " + std::to_wstring(r7b));
    if (t_.Check(WaitForSwitch(commits, chosen),
                 L"item " + std::to_wstring(kItemSpecified) + L" did not switch to " + Quoted(chosen)))
        ReportSwitch(mark, chosen);
}

void Demo::ShutDown() {
    const uint64_t start = ElapsedMs();
    const int32_t r3 = plugin_.handler(TS_EVENT_SHUTDOWN, 0, 0, 0);
    const uint64_t took = ElapsedMs() - start;
    t_.At(start, L"event 3",
          L"-> " + std::to_wstring(r3) + L", shut down in " + std::to_wstring(took) + L" ms");
    t_.Check(r3 == 1, L"event 3 returned " + std::to_wstring(r3));
}

void Demo::DaysSession() {
    ShutDown();
    UnloadPlugin(&plugin_);
    loaded_ = false;
    const std::wstring dll = ProgramFolder() + L"\\Varnel.dll";
    t_.Now(L"host", L"Varnel.dll unloaded; the launcher starts again with the plug-in in days mode");
    SetSetting(kPluginId, nullptr, L"ChangeMode", 0);
    SetSetting(kPluginId, L"TimeMode", L"TargetSkins", 0);
    SetSetting(kPluginId, L"TimeMode", L"TimeUnit", 2);
    SetSetting(kPluginId, L"TimeMode", L"Interval", 1);
    SetSetting(kPluginId, L"TimeMode", L"ChangeHour", 6);
    SetSetting(kPluginId, L"TimeMode", L"ChangeMinute", 30);
    const int32_t date[5] = {2024, 3, 10, 6, 30};
    const wchar_t* keys[5] = {L"Year", L"Month", L"Day", L"Hour", L"Minute"};
    for (int i = 0; i < 5; ++i) SetSetting(kPluginId, L"LastChanged", keys[i], date[i]);
    t_.Now(L"host", L"stored ChangeMode 0, every 1 day at 06:30 over all skins, LastChanged " +
                        Date(2024, 3, 10, 6, 30) + L": due since " + Date(2024, 3, 11, 6, 30));
    if (!LoadPlugin(dll, &plugin_)) {
        t_.Fail(L"cannot load " + dll + L" again");
        return;
    }
    loaded_ = true;
    if (window_ != nullptr) SetLauncherHandler(window_, plugin_.handler);

    const std::wstring current = CurrentSkin();
    const std::wstring next = NextInFolder(current);
    t_.Now(L"host", L"the skin is " + Name(current) + L", stored Index " +
                        std::to_wstring(Setting(L"TimeMode", L"Index")) +
                        L": the worker is to ask for the next one, " + Name(next) + L", at its first tick");
    const size_t mark = Log().size();
    const int commits = CommitCount();
    StartSession(L"days mode");
    if (!t_.Check(WaitForSwitch(commits, next),
                  L"the due days-mode switch to " + Quoted(next) + L" did not happen"))
        return;
    if (!ReportSwitch(mark, next)) return;
    SYSTEMTIME now;
    GetLocalTime(&now);
    const int32_t year = Setting(L"LastChanged", L"Year");
    t_.More(L"LastChanged saved as " +
            Date(year, Setting(L"LastChanged", L"Month"), Setting(L"LastChanged", L"Day"),
                 Setting(L"LastChanged", L"Hour"), Setting(L"LastChanged", L"Minute")) +
            L"; the next switch falls tomorrow at 06:30");
    t_.Check(year == now.wYear && Setting(L"LastChanged", L"Day") == now.wDay,
             L"LastChanged was not set to today");
}

void Demo::Dialogs() {
    // The main settings dialog, its periodic sub-dialog opened from it, then OK.
    struct Seen {
        bool opened = false;
        std::wstring title, text;
    } main, periodic, item;
    PushDialogScript([&](HWND dlg) {
        main.opened = true;
        main.title = DialogTitle(dlg);
        main.text = std::wstring(IsChecked(dlg, IDC_MAIN_PERIODIC)     ? L"periodic"
                                 : IsChecked(dlg, IDC_MAIN_THEME_SYNC) ? L"theme sync"
                                                                       : L"no mode") +
                    L" checked; " + Quoted(GetText(dlg, IDC_MAIN_PERIODIC_SETTINGS)) +
                    (IsEnabled(dlg, IDC_MAIN_PERIODIC_SETTINGS) ? L" enabled, " : L" disabled, ") +
                    Quoted(GetText(dlg, IDC_MAIN_THEME_SETTINGS)) +
                    (IsEnabled(dlg, IDC_MAIN_THEME_SETTINGS) ? L" enabled" : L" disabled");
        Click(dlg, IDC_MAIN_PERIODIC_SETTINGS);
        PressOk(dlg);
    });
    PushDialogScript([&](HWND dlg) {
        periodic.opened = true;
        periodic.title = DialogTitle(dlg);
        const std::vector<std::wstring> units = ComboRows(dlg, IDC_PERIODIC_UNIT);
        const int unit = ComboSelection(dlg, IDC_PERIODIC_UNIT);
        const std::optional<SYSTEMTIME> at = GetDateTime(dlg, IDC_PERIODIC_TIME);
        wchar_t time[16] = L"?";
        if (at) swprintf(time, 16, L"%u:%02u", at->wHour, at->wMinute);
        periodic.text =
            std::wstring(IsChecked(dlg, IDC_PERIODIC_ALL) ? L"all skins" : L"selected skins") + L" (" +
            std::to_wstring(ListRows(dlg, IDC_PERIODIC_ALL_LIST).size()) + L" in the list), every " +
            GetText(dlg, IDC_PERIODIC_INTERVAL) + L" " +
            (unit >= 0 && static_cast<size_t>(unit) < units.size() ? units[static_cast<size_t>(unit)]
                                                                   : L"?") +
            L" at " + time;
        PressCancel(dlg);
    });
    int commits = CommitCount();
    const int32_t r9 = plugin_.handler(TS_EVENT_SETTINGS, reinterpret_cast<uint64_t>(window_), 0, 0);
    t_.Now(L"event 9", L"-> " + std::to_wstring(r9) + L", " +
                           (main.opened ? Quoted(main.title) + L" showed " + main.text
                                        : L"the main settings dialog did not open"));
    if (t_.Check(main.opened, L"the main settings dialog did not open") &&
        t_.Check(periodic.opened, L"the periodic settings dialog did not open from the main one"))
        t_.More(L"\"&Settings...\" opened " + Quoted(periodic.title) + L": " + periodic.text + L"; Cancel");
    t_.Check(main.text.rfind(L"periodic", 0) == 0, L"the main dialog did not show periodic mode");
    if (t_.Check(CommitCount() == commits + 1,
                 L"OK in the main dialog did not save the settings exactly once"))
        t_.More(L"OK: settings saved, ChangeMode " + std::to_wstring(Setting(nullptr, L"ChangeMode")));

    // The item dialog of the item with its own skin, then Cancel.
    PushDialogScript([&](HWND dlg) {
        item.opened = true;
        item.title = DialogTitle(dlg);
        const std::vector<std::wstring> rows = ComboRows(dlg, IDC_ITEM_SKIN);
        const int row = ComboSelection(dlg, IDC_ITEM_SKIN);
        item.text =
            std::wstring(IsChecked(dlg, IDC_ITEM_SPECIFIED) ? L"\"specified skin\"" : L"\"next skin\"") +
            L" checked, box " + (IsEnabled(dlg, IDC_ITEM_SKIN) ? L"enabled" : L"disabled") + L" with " +
            std::to_wstring(rows.size()) + L" skins showing " +
            (row >= 0 && static_cast<size_t>(row) < rows.size() ? Quoted(rows[static_cast<size_t>(row)])
                                                                : L"nothing");
        PressCancel(dlg);
    });
    const size_t sets = CallCount(TS_SLOT_SET_ITEM_PARAM_INT) + CallCount(TS_SLOT_SET_ITEM_PARAM_STRING);
    const int32_t r10 =
        plugin_.handler(TS_EVENT_ITEM_SETTINGS, reinterpret_cast<uint64_t>(window_), kItemSpecified, 0);
    t_.Now(L"event 10", L"-> " + std::to_wstring(r10) + L", " +
                            (item.opened ? Quoted(item.title) + L" for item " +
                                               std::to_wstring(kItemSpecified) + L" showed " + item.text
                                         : L"the item dialog did not open"));
    if (t_.Check(item.opened, L"the item dialog did not open")) {
        t_.Check(item.text.find(Quoted(DefaultDisplayName(samples_[3]))) != std::wstring::npos,
                 L"the item dialog did not show the item's own skin");
        if (t_.Check(CallCount(TS_SLOT_SET_ITEM_PARAM_INT) + CallCount(TS_SLOT_SET_ITEM_PARAM_STRING) == sets, L"Cancel in the item dialog stored parameters"))
            t_.More(L"Cancel: nothing stored");
    }
    t_.Check(DialogWatchdogFired() == 0, L"a dialog had to be closed by the watchdog");
    t_.Check(PendingDialogScripts() == 0, L"a dialog script was left unused");
}

// With calls served on the host's thread, the worker's save after a switch waits for
// that thread between its calls; here the user presses OK in the settings dialog just
// then. OK does not wait for the running save: that save writes once more, with OK's
// values, as this thread goes on serving it. Both saves must end whole, one after the
// other, and the launcher not hang.
void Demo::OverlappingSaves() {
    const std::wstring next = NextInFolder(CurrentSkin());
    const size_t mark = Log().size();
    const int commits = CommitCount();
    const DWORD host = GetCurrentThreadId();
    const auto workerWriting = [&] {
        const std::vector<LogEntry> log = Log();
        return std::any_of(log.begin() + static_cast<std::ptrdiff_t>(mark), log.end(),
                           [&](const LogEntry& e) { return e.slot == TS_SLOT_WRITE_SETTING_INT && e.threadId != host; });
    };
    uint64_t okAt = 0;
    int32_t r7 = 0;
    PushDialogScript([&](HWND dlg) {
        // The user runs the item while the dialog is open; this thread then serves the
        // worker's calls one at a time until its save has begun, and presses OK while
        // the worker waits for it in the middle of that save.
        SetMarshalledStepping(true);
        r7 = plugin_.handler(TS_EVENT_RUN_ITEM, kItemNext, 0, 0);
        while (!workerWriting() && ServeMarshalledCall(kSwitchWait)) {
        }
        WaitForMarshalledCall(2000);
        SetMarshalledStepping(false);
        okAt = ElapsedMs();
        PressOk(dlg);
    });
    t_.Now(L"event 9", L"the settings dialog is open; the user runs item " + std::to_wstring(kItemNext) +
                           L" (event 7) and presses OK soon after");
    plugin_.handler(TS_EVENT_SETTINGS, reinterpret_cast<uint64_t>(window_), 0, 0);
    t_.Check(r7 == 1, L"event 7 returned " + std::to_wstring(r7));
    t_.At(okAt, L"user", L"OK in the settings dialog while the worker's save waits for the host's thread");
    PumpUntil([&] { return CommitCount() >= commits + 2; }, kSwitchWait);
    if (!t_.Check(CommitCount() == commits + 2, L"expected two saves (the worker's and OK's), got " +
                                                    std::to_wstring(CommitCount() - commits)))
        return;
    // Each save runs from its first write to its commit with no call of the other between.
    const std::vector<LogEntry> log = Log();
    std::vector<std::pair<size_t, size_t>> saves;  // first write, commit
    size_t open = log.size();
    bool whole = true;
    for (size_t i = mark; i < log.size(); ++i) {
        const int slot = log[i].slot;
        if (slot < 65 || slot > 74 || slot == TS_SLOT_SET_ITEM_PARAM_INT || slot == TS_SLOT_SET_ITEM_PARAM_STRING || slot == TS_SLOT_GET_ITEM_PARAM_INT || slot == TS_SLOT_GET_ITEM_PARAM_STRING) continue;
        if (open == log.size()) {
            open = i;
        } else if (log[i].threadId != log[open].threadId) {
            whole = false;
        }
        if (slot == TS_SLOT_COMMIT_SETTINGS) {
            saves.emplace_back(open, i);
            open = log.size();
        }
    }
    if (!t_.Check(whole && saves.size() == 2, L"the two saves interleaved")) return;
    for (size_t n = 0; n < saves.size(); ++n) {
        const auto& save = saves[n];
        const LogEntry& first = log[save.first];
        const std::wstring who = first.threadId == host ? L"OK's save"
                                 : n == 0               ? L"the worker's save, after the switch to " + Name(next)
                                                        : L"the worker's save once more, with OK's values";
        t_.At(first.ms, L"save",
              who + L", ChangeMode " + std::to_wstring(AsNumber(first.args[3]).value_or(-1)) + L": " +
                  std::to_wstring(save.second - save.first + 1) + L" calls" +
                  (first.marshalled ? L", each served on the host's thread" : L"") + L", committed at " +
                  std::to_wstring(log[save.second].ms) + L" ms");
    }
}

// Launchers that reload their plug-ins: load, start, stop and unload, again and again.
void Demo::Reloads() {
    const std::wstring dll = ProgramFolder() + L"\\Varnel.dll";
    const int cycles = 20;
    const uint64_t start = ElapsedMs();
    const int done = Reload(dll, cycles, kPluginId, [](int) {});
    const uint64_t took = ElapsedMs() - start;
    t_.At(start, L"host", std::to_wstring(done) + L" reloads of Varnel.dll (load, event 2, event 3, unload) in " +
                              std::to_wstring(took) + L" ms; each time the module was gone before the next load");
    t_.Check(done == cycles, L"reload " + std::to_wstring(done + 1) + L" did not complete");
}

void Demo::StoredSettings() {
    const std::vector<SettingEntry> entries = Settings(kPluginId);
    t_.Now(L"store", L"settings of plug-in " + std::to_wstring(kPluginId) + L" as stored (" +
                         std::to_wstring(CommitCount()) + L" commits in all):");
    for (const SettingEntry& e : entries) {
        std::wstring value = e.value.index() == 0 ? std::to_wstring(std::get<int32_t>(e.value))
                                                  : Quoted(std::get<std::wstring>(e.value));
        t_.More((e.section ? *e.section + L"/" : L"") + e.key + L" = " + value);
    }
}

void Demo::Screenshot() {
    if (window_ == nullptr) return;
    PumpUntil([] { return false; }, 150);  // let the pane take the last calls
    Image image;
    if (!t_.Check(CaptureWindow(window_, &image), L"the window could not be captured")) return;
    const std::string png = EncodePng(image);
    if (t_.Check(WriteFileBytes(screenshot_, png), L"cannot write " + screenshot_))
        t_.Now(L"host", L"screenshot " + std::to_wstring(image.width) + L"x" + std::to_wstring(image.height) +
                            L" written to " + screenshot_ + L" (" + std::to_wstring(png.size() / 1024) +
                            L" KiB)");
}

// Beside the program, in the build: the committed picture changes only when
// scripts/refresh-demo-picture asks for it.
std::wstring DefaultScreenshotPath() { return ProgramFolder() + L"\\demo.png"; }

int Demo::Run(const std::vector<std::wstring>& options) {
    screenshot_ = DefaultScreenshotPath();
    for (size_t i = 0; i < options.size(); ++i) {
        if (options[i] == L"--screenshot" && i + 1 < options.size()) {
            screenshot_ = options[++i];
        } else {
            std::fprintf(stderr, "usage: tessera-devhost.exe demo [--screenshot FILE]\n");
            return 2;
        }
    }
    Init();
    // As a careful launcher serves calls from the plug-in's threads: on its own thread.
    SetMarshalling(true);
    SetApplyMode(ApplyMode::Immediate);
    if (!SetUp()) {
        t_.Flush();
        if (loaded_) UnloadPlugin(&plugin_);
        RemoveTree(base_);
        return 2;
    }

    // Session 1: theme sync, set up as the user would have left it.
    SetSetting(kPluginId, nullptr, L"ChangeMode", 1);
    SetSetting(kPluginId, L"ThemeSync", L"LightTheme", samples_[9]);
    SetSetting(kPluginId, L"ThemeSync", L"DarkTheme", samples_[2]);
    t_.Check(SetAppsUseLightTheme(1), L"the app theme could not be written");
    t_.Now(L"host",
           L"stored ChangeMode 1, light skin " + Name(samples_[9]) + L", dark skin " + Name(samples_[2]));
    t_.Now(L"Windows", kLightThemeValue + std::wstring(L" = 1 (apps light)"));
    const size_t mark = Log().size();
    const int commits = CommitCount();
    StartSession(L"theme sync mode: the initial check asks for the light skin");
    InitialThemeCheck(mark, commits);
    t_.Flush();
    FlipTheme();
    t_.Flush();
    RunItems();
    t_.Flush();

    // Session 2: days mode with a switch long due, then the dialogs.
    DaysSession();
    t_.Flush();
    if (loaded_) {
        Dialogs();
        t_.Flush();
        OverlappingSaves();
        t_.Flush();
        StoredSettings();
        ShutDown();
        if (window_ != nullptr) SetLauncherHandler(window_, nullptr);
        UnloadPlugin(&plugin_);
        loaded_ = false;
    }
    if (window_ != nullptr) {
        Screenshot();
        // The window is left to the end of the process: destroying a shown window
        // under Wine without a window manager waits two seconds for the X server.
        SetLogObserver(nullptr);
        SetLauncherHandler(window_, nullptr);
    }
    Reloads();
    t_.Flush();
    t_.Check(UnexpectedCalls() == 0,
             std::to_wstring(UnexpectedCalls()) + L" calls of slots the plug-in must not use");
    if (loaded_) UnloadPlugin(&plugin_);
    RemoveTree(base_);

    if (!t_.failures().empty()) {
        t_.Now(L"demo", std::to_wstring(t_.failures().size()) + L" step(s) did not happen as expected:");
        for (const std::wstring& failure : t_.failures()) t_.More(failure);
        t_.Flush();
        return 1;
    }
    t_.Now(L"demo", L"every step happened as expected");
    t_.Flush();
    return 0;
}

}  // namespace

int RunDemo(const std::vector<std::wstring>& options) {
    Demo demo;
    return demo.Run(options);
}

}  // namespace devhost
