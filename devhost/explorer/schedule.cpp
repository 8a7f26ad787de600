#include "devhost/explorer/schedule.h"

#include <set>

#include "plugin/plugin_api.h"

namespace explorer {

uint64_t Rng::Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

uint32_t Rng::Below(uint32_t n) { return n == 0 ? 0 : static_cast<uint32_t>(Next() % n); }

int Rng::Between(int low, int high) {
    return low + static_cast<int>(Below(static_cast<uint32_t>(high - low + 1)));
}

bool Rng::Chance(uint32_t percent) { return Below(100) < percent; }

const char* ThreadName(EventThread thread) {
    switch (thread) {
    case EventThread::Ui: return "ui";
    case EventThread::Pumping: return "thread+pumping";
    case EventThread::Unreachable: return "thread+unreachable-ui";
    case EventThread::Nested: return "nested-in-dialog";
    case EventThread::NestedThread: return "thread-while-dialog";
    }
    return "?";
}

namespace {

void AddInt(Schedule& s, const wchar_t* section, const wchar_t* key, int32_t value) {
    s.stored.push_back(StoredSetting{section, key, false, value, {}});
}

void AddText(Schedule& s, const wchar_t* section, const wchar_t* key, const std::wstring& value) {
    s.stored.push_back(StoredSetting{section, key, true, 0, value});
}

// Skin references are "#n" here and become the n-th sample skin's identifier when
// played; anything else is stored as it is.
std::wstring SkinRef(Rng& rng, bool garbage) {
    if (garbage && rng.Chance(25)) {
        static const wchar_t* const kJunk[] = {L"", L"missing.tskin", L"\\", L"..\\x.tskin", L"\\nofolder"};
        return kJunk[rng.Below(5)];
    }
    return L"#" + std::to_wstring(rng.Below(kSampleSkins));
}

void DrawSettings(Rng& rng, Schedule& s) {
    s.garbage = rng.Chance(15);
    const bool g = s.garbage;
    AddInt(s, L"", L"ChangeMode", g && rng.Chance(30) ? rng.Between(-3, 9) : rng.Between(0, 1));
    if (rng.Chance(80)) {
        AddInt(s, L"TimeMode", L"TimeUnit", g && rng.Chance(30) ? rng.Between(-5, 7) : rng.Between(0, 2));
    }
    if (rng.Chance(80)) {
        AddInt(s, L"TimeMode", L"Interval", g && rng.Chance(30) ? rng.Between(-100, 0) : rng.Between(1, 3));
    }
    AddInt(s, L"TimeMode", L"TargetSkins", rng.Between(0, 1));
    if (g && rng.Chance(30)) AddText(s, L"TimeMode", L"Index", L"not a number");
    const int selected = rng.Between(0, 4);
    for (int n = 1; n <= selected; ++n) {
        wchar_t key[16];
        swprintf(key, 16, L"Skin%03d", n);
        AddText(s, L"SelectedSkins", key, SkinRef(rng, g));
    }
    AddInt(s, L"SelectedSkins", L"Count", g && rng.Chance(30) ? rng.Between(-2, 40) : selected);
    if (rng.Chance(90)) AddText(s, L"ThemeSync", L"LightTheme", SkinRef(rng, g));
    if (rng.Chance(90)) AddText(s, L"ThemeSync", L"DarkTheme", SkinRef(rng, g));
    if (rng.Chance(20)) {
        // Days mode with a switch long overdue: the first tick switches and saves.
        AddInt(s, L"LastChanged", L"Year", 2001);
        AddInt(s, L"LastChanged", L"Month", 1);
        AddInt(s, L"LastChanged", L"Day", 1);
    }
}

Action DrawSimple(Rng& rng, bool allowThread) {
    Action a;
    const uint32_t pick = rng.Below(10);
    a.kind = pick < 4 ? Action::Kind::RunItem : pick < 7 ? Action::Kind::ThemeFlip : Action::Kind::Dwell;
    a.thread = allowThread && rng.Chance(25) ? EventThread::Pumping : EventThread::Ui;
    a.item = rng.Chance(70) ? 9 : 8;
    a.oddParam = rng.Chance(10);
    a.ms = static_cast<DWORD>(rng.Between(0, 60));
    return a;
}

Action DrawDialog(Rng& rng) {
    Action a;
    a.kind = Action::Kind::Dialog;
    const uint32_t pick = rng.Below(10);
    a.dialogEvent = pick < 6 ? TS_EVENT_SETTINGS : pick < 8 ? TS_EVENT_ITEM_SETTINGS : TS_EVENT_ABOUT;
    a.thread = rng.Chance(15) ? EventThread::Pumping : EventThread::Ui;
    a.ok = rng.Chance(65);
    a.flipMode = a.dialogEvent == TS_EVENT_SETTINGS && rng.Chance(50) ? rng.Between(0, 1) : -1;
    a.ms = static_cast<DWORD>(rng.Between(0, 80));
    const int inside = rng.Between(0, 3);
    for (int i = 0; i < inside; ++i) a.inside.push_back(DrawSimple(rng, false));
    return a;
}

Load DrawLoad(Rng& rng, bool last) {
    Load load;
    const int actions = rng.Between(0, 4);
    for (int i = 0; i < actions; ++i) {
        load.actions.push_back(rng.Chance(30) ? DrawDialog(rng) : DrawSimple(rng, true));
    }
    const uint32_t pick = rng.Below(100);
    load.shutdownThread = pick < 45   ? EventThread::Ui
                          : pick < 70 ? EventThread::Pumping
                          : pick < 85 ? EventThread::Unreachable
                          : pick < 93 ? EventThread::Nested
                                      : EventThread::NestedThread;
    if (load.shutdownThread == EventThread::Nested || load.shutdownThread == EventThread::NestedThread) {
        // Event 3 comes from inside the last dialog, which is then cancelled.
        Action dialog = DrawDialog(rng);
        dialog.ok = false;
        load.actions.push_back(dialog);
    }
    if (rng.Chance(30)) {
        static const int kHeld[] = {TS_SLOT_GET_CURRENT_SKIN, TS_SLOT_WRITE_SETTING_INT, TS_SLOT_WRITE_SETTING_STRING,
                                    TS_SLOT_COMMIT_SETTINGS, TS_SLOT_GET_SKIN_DISPLAY_NAME, TS_SLOT_APPLY_SKIN};
        load.hold.slot = kHeld[rng.Below(6)];
        load.hold.beforeInit = load.hold.slot == TS_SLOT_GET_SKIN_DISPLAY_NAME;
        load.hold.ms = rng.Chance(5) ? static_cast<DWORD>(rng.Between(1500, 3500))
                                     : static_cast<DWORD>(rng.Between(50, 600));
        if (!load.hold.beforeInit) {
            // Something for the worker to do: a switch to confirm, then a save.
            Action run;
            run.kind = Action::Kind::RunItem;
            run.item = 9;
            load.actions.insert(load.actions.begin(), run);
        }
    }
    const uint32_t free = rng.Below(100);
    load.free = load.hold.slot >= 0 && free < 50 ? FreeTiming::WhileHeld
                : free < 75                      ? FreeTiming::AtOnce
                                                 : FreeTiming::Late;
    load.lateMs = static_cast<DWORD>(rng.Between(10, 150));
    load.reloadAtOnce = !last && rng.Chance(40);
    return load;
}

}  // namespace

Schedule Draw(uint64_t seed) {
    Rng rng(seed * 0x2545F4914F6CDD1DULL + 1);
    Schedule s;
    s.seed = seed;
    const uint32_t marshal = rng.Below(3);
    s.marshal = marshal == 0 ? devhost::MarshalMode::Direct
                : marshal == 1 ? devhost::MarshalMode::Send
                               : devhost::MarshalMode::PostAndWait;
    s.copiedDll = rng.Chance(15);
    const uint32_t apply = rng.Below(10);
    s.apply = apply < 7 ? devhost::ApplyMode::Immediate : apply < 9 ? devhost::ApplyMode::Delayed : devhost::ApplyMode::Never;
    s.applyDelayMs = static_cast<DWORD>(rng.Between(10, 80));
    s.currentSkin = static_cast<int>(rng.Below(kSampleSkins));
    s.itemSkin = static_cast<int>(rng.Below(kSampleSkins));
    s.lightTheme = rng.Chance(50);
    DrawSettings(rng, s);
    if (rng.Chance(40)) {
        static const int kPaused[] = {TS_SLOT_GET_CURRENT_SKIN, TS_SLOT_WRITE_SETTING_INT, TS_SLOT_WRITE_SETTING_STRING,
                                      TS_SLOT_COMMIT_SETTINGS, TS_SLOT_GET_SKIN_DISPLAY_NAME, TS_SLOT_APPLY_SKIN,
                                      TS_SLOT_READ_SETTING_STRING};
        const int count = rng.Between(1, 3);
        for (int i = 0; i < count; ++i) {
            s.pauses.push_back(SlotPause{kPaused[rng.Below(7)], static_cast<uint32_t>(rng.Between(5, 40)),
                                         static_cast<DWORD>(rng.Chance(10) ? rng.Between(100, 400) : rng.Between(1, 25))});
        }
    }
    if (rng.Chance(25)) {
        static const UINT kMessages[] = {WM_NCDESTROY, WM_DESTROY, WM_SETTINGCHANGE, WM_WINDOWPOSCHANGED, WM_CREATE};
        s.pauseMessage = kMessages[rng.Below(5)];
        s.pauseAfter = rng.Chance(60);
        s.pauseMs = static_cast<DWORD>(rng.Between(1, 60));
    }
    const int loads = rng.Chance(60) ? 1 : rng.Between(2, 3);
    for (int i = 0; i < loads; ++i) s.loads.push_back(DrawLoad(rng, i + 1 == loads));
    return s;
}

namespace {

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

const char* MarshalName(devhost::MarshalMode mode) {
    switch (mode) {
    case devhost::MarshalMode::Direct: return "direct";
    case devhost::MarshalMode::Send: return "send";
    case devhost::MarshalMode::PostAndWait: return "post-and-wait";
    }
    return "?";
}

std::string ActionText(const Action& a) {
    switch (a.kind) {
    case Action::Kind::Dwell: return "pump " + std::to_string(a.ms) + " ms";
    case Action::Kind::RunItem:
        return std::string("event 7 item ") + std::to_string(a.item) + (a.oddParam ? " param2 odd" : "") + " on " +
               ThreadName(a.thread);
    case Action::Kind::ThemeFlip: return "theme flip and broadcast, then pump " + std::to_string(a.ms) + " ms";
    case Action::Kind::Dialog: {
        std::string text = "event " + std::to_string(a.dialogEvent) + " dialog on " + ThreadName(a.thread) + ": ";
        if (a.flipMode >= 0) text += a.flipMode == 0 ? "click periodic; " : "click theme sync; ";
        for (const Action& inside : a.inside) text += ActionText(inside) + "; ";
        return text + "pump " + std::to_string(a.ms) + " ms; " + (a.ok ? "OK" : "Cancel");
    }
    }
    return "?";
}

}  // namespace

std::vector<std::string> Steps(const Schedule& s) {
    std::vector<std::string> steps;
    steps.push_back(std::string("marshalling ") + MarshalName(s.marshal) + (s.copiedDll ? ", DLL copied to a temp folder" : "") +
                    ", apply " + (s.apply == devhost::ApplyMode::Immediate ? "at once"
                                  : s.apply == devhost::ApplyMode::Delayed ? "after " + std::to_string(s.applyDelayMs) + " ms"
                                                                           : "never") +
                    ", current skin #" + std::to_string(s.currentSkin) + ", Windows " + (s.lightTheme ? "light" : "dark"));
    std::string stored = "stored" + std::string(s.garbage ? " (with garbage):" : ":");
    for (const StoredSetting& st : s.stored) {
        stored += " " + (st.section.empty() ? std::string() : Narrow(st.section) + "/") + Narrow(st.key) + "=" +
                  (st.isText ? "\"" + Narrow(st.text) + "\"" : std::to_string(st.number));
    }
    steps.push_back(stored);
    for (const SlotPause& p : s.pauses) {
        steps.push_back("slot " + std::to_string(p.slot) + " pauses " + std::to_string(p.percent) + "% of calls up to " +
                        std::to_string(p.maxMs) + " ms");
    }
    if (s.pauseMessage != 0) {
        steps.push_back("UI thread pauses " + std::to_string(s.pauseMs) + " ms " + (s.pauseAfter ? "after" : "before") +
                        " message 0x" + std::to_string(s.pauseMessage) + " of the plug-in's window class");
    }
    for (size_t i = 0; i < s.loads.size(); ++i) {
        const Load& load = s.loads[i];
        const std::string n = "load " + std::to_string(i + 1) + ": ";
        if (load.hold.slot >= 0) {
            steps.push_back(n + "hold the next plug-in-thread call of slot " + std::to_string(load.hold.slot) + " for " +
                            std::to_string(load.hold.ms) + " ms" + (load.hold.beforeInit ? " (armed before event 2)" : ""));
        }
        steps.push_back(n + "LoadLibrary, event 2 on ui");
        for (const Action& a : load.actions) steps.push_back(n + ActionText(a));
        steps.push_back(n + "event 3 on " + ThreadName(load.shutdownThread));
        steps.push_back(n + (load.free == FreeTiming::AtOnce    ? std::string("FreeLibrary at once")
                             : load.free == FreeTiming::WhileHeld ? std::string("FreeLibrary while the call is held")
                                                                  : "FreeLibrary after " + std::to_string(load.lateMs) + " ms") +
                        (load.reloadAtOnce ? ", next load at once" : ""));
    }
    steps.push_back("wait up to 5 s (pumping) for the module to unmap; check windows and class");
    return steps;
}

std::vector<std::string> Behaviours(const Schedule& s) {
    std::set<std::string> tags;
    tags.insert(std::string("marshal:") + MarshalName(s.marshal));
    if (s.copiedDll) tags.insert("dll-copy");
    if (s.garbage) tags.insert("garbage-settings");
    if (!s.pauses.empty()) tags.insert("slot-pauses");
    if (s.pauseMessage != 0) tags.insert("window-pause-hook");
    if (s.loads.size() > 1) tags.insert("several-loads");
    for (const Load& load : s.loads) {
        tags.insert(std::string("event3:") + ThreadName(load.shutdownThread));
        tags.insert(load.free == FreeTiming::AtOnce ? "free:at-once" : load.free == FreeTiming::Late ? "free:late" : "free:while-held");
        if (load.reloadAtOnce) tags.insert("reload-at-once");
        if (load.hold.slot >= 0) tags.insert("hold:slot-" + std::to_string(load.hold.slot));
        for (const Action& a : load.actions) {
            if (a.kind == Action::Kind::RunItem) tags.insert("item-run");
            if (a.kind == Action::Kind::ThemeFlip) tags.insert("theme-flip");
            if (a.kind == Action::Kind::Dialog) {
                tags.insert("dialog:event-" + std::to_string(a.dialogEvent));
                for (const Action& in : a.inside) {
                    if (in.kind != Action::Kind::Dwell) tags.insert("event-while-dialog");
                }
            }
            if (a.thread == EventThread::Pumping) tags.insert("event-from-thread");
        }
    }
    return {tags.begin(), tags.end()};
}

}  // namespace explorer
