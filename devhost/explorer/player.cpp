#include "devhost/explorer/player.h"

#include <atomic>
#include <memory>

#include "devhost/core/devhost.h"
#include "devhost/core/save_checker.h"
#include "devhost/explorer/watchdog.h"
#include "plugin/plugin_api.h"
#include "resource.h"

namespace explorer {
namespace {

// How long an event may take before it counts as a hang, besides what the schedule
// itself makes the host spend (pauses, holds).
constexpr DWORD kEventBoundMs = 3000;
// Beyond its bound a step is given this long before the watchdog ends the process.
constexpr DWORD kKillSlackMs = 3000;
constexpr DWORD kUnmapWaitMs = 5000;
constexpr DWORD kBetweenLoadsWaitMs = 1000;
constexpr DWORD kHoldEntryWaitMs = 300;

struct EventCall {
    TsPluginEventHandlerFn handler;
    uint32_t event;
    uint64_t param1;
    uint64_t param2;
    std::atomic<int32_t> result{0};
};

int32_t Invoke(TsPluginEventHandlerFn handler, uint32_t event, uint64_t param1, uint64_t param2) {
    Monitor& m = TheMonitor();
    m.BeforeEvent(event);
    const int32_t result = handler(event, param1, param2, 0);
    m.AfterEvent(event, result);
    return result;
}

DWORD WINAPI EventThreadProc(LPVOID param) {
    auto* call = static_cast<EventCall*>(param);
    call->result = Invoke(call->handler, call->event, call->param1, call->param2);
    return 0;
}

class Player {
public:
    Player(const Schedule& s, const Context& c) : s_(s), c_(c), m_(TheMonitor()) {}
    Outcome Run();

private:
    void SetUpHost();
    int32_t CallEvent(uint32_t event, uint64_t param1, uint64_t param2, EventThread thread, DWORD bound);
    void PlayAction(const Action& a, const Load* shutdownInside);
    void Shutdown(const Load& load, EventThread thread);
    void ArmHold(const Hold& hold);
    void FinalChecks(HMODULE base, DWORD wait, Outcome* outcome);

    const Schedule& s_;
    const Context& c_;
    Monitor& m_;
    devhost::SaveChecker* checker_ = nullptr;
    TsPluginEventHandlerFn handler_ = nullptr;
    DWORD allowance_ = 0;  // what pauses may add to one event
    bool pinAllowed_ = false;
    // Event 3 came from another thread while the UI thread waited for it without reading
    // messages: a save whose calls the host serves on the UI thread cannot go on until
    // event 3 has returned, after which it may make none, so it ends uncommitted.
    bool saveMayBeCut_ = false;
    bool light_ = true;
};

void Player::SetUpHost() {
    devhost::Reset();
    devhost::SetDialogWatchdog(4000);
    devhost::SetSkinsFolder(c_.skinsFolder);
    devhost::SetCurrentSkin(c_.skins[static_cast<size_t>(s_.currentSkin)]);
    devhost::SetApplyMode(s_.apply, s_.applyDelayMs);
    for (const StoredSetting& st : s_.stored) {
        const wchar_t* section = st.section.empty() ? nullptr : st.section.c_str();
        if (!st.isText) {
            devhost::SetSetting(1, section, st.key, st.number);
        } else if (st.text.size() > 1 && st.text[0] == L'#') {
            devhost::SetSetting(1, section, st.key, c_.skins[std::stoul(st.text.substr(1)) % c_.skins.size()]);
        } else {
            devhost::SetSetting(1, section, st.key, st.text);
        }
    }
    devhost::SetItemParam(9, 0, 1);
    devhost::SetItemParam(9, 0, c_.skins[static_cast<size_t>(s_.itemSkin)]);
    devhost::SetItemParam(8, 0, 0);
    light_ = s_.lightTheme;
    devhost::SetAppsUseLightTheme(light_ ? 1 : 0);

    // One checker per schedule, never freed: a pinned plug-in's thread may still be
    // logging into it after the schedule.
    checker_ = new devhost::SaveChecker(1);
    devhost::SaveChecker* checker = checker_;
    Monitor* m = &m_;
    devhost::SetLogObserver([checker, m](const devhost::LogEntry& e) {
        if (e.threadId != m->InitThread()) checker->OnCall(e);  // the load of event 2 is no save
    });
    devhost::SetCallEntryObserver([m](int slot, DWORD thread) { m->OnEntry(slot, thread); });
    for (const SlotPause& p : s_.pauses) {
        auto counter = std::make_shared<std::atomic<uint64_t>>(s_.seed * 131 + static_cast<uint64_t>(p.slot));
        devhost::SetSlotPause(p.slot, [p, counter](DWORD) -> DWORD {
            Rng rng(counter->fetch_add(1));
            return rng.Chance(p.percent) ? static_cast<DWORD>(rng.Between(1, static_cast<int>(p.maxMs))) : 0;
        });
        allowance_ += p.maxMs * 3;
    }
    if (s_.pauseMessage != 0) {
        auto left = std::make_shared<std::atomic<int>>(6);
        const UINT message = s_.pauseMessage;
        const bool after = s_.pauseAfter;
        const DWORD ms = s_.pauseMs;
        devhost::SetWindowPauseHook(kPluginClass, [=](UINT m2, bool a2) -> DWORD {
            return m2 == message && a2 == after && left->fetch_sub(1) > 0 ? ms : 0;
        });
        allowance_ += ms * 6;
    }
    devhost::SetMarshalMode(s_.marshal);
}

int32_t Player::CallEvent(uint32_t event, uint64_t param1, uint64_t param2, EventThread thread, DWORD bound) {
    const std::string name = "event " + std::to_string(event) + " on " + ThreadName(thread);
    StepGuard guard(name, bound + kKillSlackMs);
    m_.Trace("-> " + name);
    const uint64_t start = NowMs();
    int32_t result = 0;
    if (thread == EventThread::Ui || thread == EventThread::Nested) {
        result = Invoke(handler_, event, param1, param2);
    } else {
        // Left to leak should the thread never end: it may still use it.
        auto* call = new EventCall{handler_, event, param1, param2};
        DWORD id = 0;
        HANDLE t = CreateThread(nullptr, 0, EventThreadProc, call, CREATE_SUSPENDED, &id);
        if (t == nullptr) {
            m_.Trace("could not start a thread for " + name);
            delete call;
            return 0;
        }
        m_.AddOwnThread(id);
        ResumeThread(t);
        const DWORD limit = bound + kKillSlackMs + 1000;
        bool done;
        if (thread == EventThread::Unreachable) {
            done = WaitForSingleObject(t, limit) == WAIT_OBJECT_0;  // reads no messages meanwhile
        } else {
            done = devhost::PumpUntil([t] { return WaitForSingleObject(t, 0) == WAIT_OBJECT_0; }, limit);
        }
        CloseHandle(t);
        if (!done) {
            m_.Add(kNoHang, name + " never returned");
            return 0;
        }
        result = call->result.load();
        delete call;
    }
    const uint64_t took = NowMs() - start;
    m_.Trace("<- " + name + " = " + std::to_string(result) + " after " + std::to_string(took) + " ms");
    if (took > bound) {
        m_.Add(kNoHang, name + " took " + std::to_string(took) + " ms (bound " + std::to_string(bound) + " ms)");
    }
    return result;
}

void Player::ArmHold(const Hold& hold) {
    Monitor* m = &m_;
    devhost::HoldSlot(hold.slot, hold.ms, [m](DWORD thread) { return !m->IsOwnThread(thread); });
    m_.Trace("hold armed on slot " + std::to_string(hold.slot));
}

void Player::Shutdown(const Load& load, EventThread thread) {
    if (load.hold.slot >= 0 && !devhost::HoldEntered()) {
        devhost::PumpUntil([] { return devhost::HoldEntered(); }, kHoldEntryWaitMs);
    }
    const bool held = load.hold.slot >= 0 && devhost::HoldEntered();  // this load's hold
    if (held) m_.Trace("event 3 while thread " + std::to_string(devhost::HeldThread()) + " may be held");
    // The fixed plug-in may pin itself when its window's thread cannot be reached, or
    // when another call of the export is still running.
    if (thread == EventThread::Unreachable || thread == EventThread::Nested ||
        thread == EventThread::NestedThread || m_.EventsInFlight() > 0) {
        pinAllowed_ = true;
    }
    if (thread == EventThread::Unreachable && s_.marshal != devhost::MarshalMode::Direct) {
        saveMayBeCut_ = true;
    }
    const DWORD bound = kEventBoundMs + (held ? load.hold.ms : 0) + allowance_;
    CallEvent(TS_EVENT_SHUTDOWN, 0, 0, thread, bound);
}

void Player::PlayAction(const Action& a, const Load* shutdownInside) {
    switch (a.kind) {
    case Action::Kind::Dwell:
        devhost::PumpUntil([] { return false; }, a.ms);
        return;
    case Action::Kind::RunItem:
        CallEvent(TS_EVENT_RUN_ITEM, a.item, a.oddParam ? 1 : 2, a.thread, kEventBoundMs + allowance_);
        return;
    case Action::Kind::ThemeFlip: {
        StepGuard guard("theme flip broadcast", kEventBoundMs + allowance_ + kKillSlackMs);
        light_ = !light_;
        devhost::SetAppsUseLightTheme(light_ ? 1 : 0);
        m_.Trace(std::string("theme flipped to ") + (light_ ? "light" : "dark"));
        devhost::BroadcastColorSetChange();
        devhost::PumpUntil([] { return false; }, a.ms);
        return;
    }
    case Action::Kind::Dialog:
        break;
    }
    // Each event sent from the script has a bound of its own.
    DWORD bound = kEventBoundMs + a.ms + allowance_;
    for (const Action& in : a.inside) bound += in.ms + allowance_;
    if (shutdownInside != nullptr) bound += kEventBoundMs + shutdownInside->hold.ms + kHoldEntryWaitMs;
    devhost::PushDialogScript([this, &a, shutdownInside](HWND dlg) {
        m_.Trace("dialog open");
        if (a.flipMode >= 0) devhost::Click(dlg, a.flipMode == 0 ? IDC_MAIN_PERIODIC : IDC_MAIN_THEME_SYNC);
        for (const Action& in : a.inside) PlayAction(in, nullptr);
        devhost::PumpUntil([] { return false; }, a.ms);
        if (shutdownInside != nullptr) {
            Shutdown(*shutdownInside, shutdownInside->shutdownThread);
        }
        // The About box has only OK.
        const bool ok = a.ok || a.dialogEvent == TS_EVENT_ABOUT;
        m_.Trace(ok ? "press OK" : "press Cancel");
        if (ok) devhost::PressOk(dlg);
        // OK refused, or no Cancel button: the user cancels as he can.
        if (!ok || IsWindowVisible(dlg)) devhost::PressCancel(dlg);
        if (IsWindowVisible(dlg)) devhost::PressEscape(dlg);
    });
    const size_t pending = devhost::PendingDialogScripts();
    CallEvent(a.dialogEvent, 0, a.dialogEvent == TS_EVENT_ITEM_SETTINGS ? 9 : 0, a.thread, bound);
    if (devhost::PendingDialogScripts() >= pending) {
        m_.Trace("the dialog never opened");
        if (shutdownInside != nullptr) Shutdown(*shutdownInside, EventThread::Ui);
    }
}

Outcome Player::Run() {
    Outcome outcome;
    m_.Reset();
    m_.AddOwnThread(GetCurrentThreadId());
    SetUpHost();
    DWORD budget = 10000;
    for (const Load& load : s_.loads) {
        budget += 8000 + load.hold.ms + allowance_ * 4;
        for (const Action& a : load.actions) budget += kEventBoundMs + a.ms + static_cast<DWORD>(a.inside.size()) * 4000;
    }
    GuardSchedule(budget);
    const std::wstring& path = s_.copiedDll && !c_.copy.empty() ? c_.copy : c_.dll;
    HMODULE base = nullptr;
    for (size_t i = 0; i < s_.loads.size(); ++i) {
        const Load& load = s_.loads[i];
        if (load.hold.slot >= 0 && load.hold.beforeInit) ArmHold(load.hold);
        HMODULE module = nullptr;
        {
            StepGuard guard("LoadLibrary", 10000);
            module = LoadLibraryW(path.c_str());
        }
        FARPROC proc = module != nullptr ? GetProcAddress(module, "TsPluginEventHandler") : nullptr;
        if (proc == nullptr) {
            m_.Trace("the DLL did not load");
            outcome.dirty = true;  // not the plug-in's fault, but nothing more can run here
            if (module != nullptr) FreeLibrary(module);
            break;
        }
        base = module;
        handler_ = reinterpret_cast<TsPluginEventHandlerFn>(reinterpret_cast<void (*)()>(proc));
        m_.Trace("load " + std::to_string(i + 1));
        CallEvent(TS_EVENT_INITIALIZE, 1, reinterpret_cast<uint64_t>(devhost::Table()), EventThread::Ui,
                  kEventBoundMs + allowance_ * 4 + (load.hold.beforeInit ? load.hold.ms : 0));
        if (load.hold.slot >= 0 && !load.hold.beforeInit) ArmHold(load.hold);
        const bool nested = load.shutdownThread == EventThread::Nested || load.shutdownThread == EventThread::NestedThread;
        for (size_t a = 0; a < load.actions.size(); ++a) {
            const bool last = a + 1 == load.actions.size();
            PlayAction(load.actions[a], nested && last ? &load : nullptr);
        }
        if (!nested) Shutdown(load, load.shutdownThread);
        if (load.free == FreeTiming::Late) devhost::PumpUntil([] { return false; }, load.lateMs);
        if (load.free == FreeTiming::WhileHeld) {
            m_.Trace(std::string("FreeLibrary, hold ") + (devhost::HoldEntered() ? "entered" : "never entered"));
        } else {
            m_.Trace("FreeLibrary");
        }
        FreeLibrary(module);
        handler_ = nullptr;
        if (i + 1 < s_.loads.size() && !load.reloadAtOnce) {
            devhost::PumpUntil([module] { return !devhost::ModuleMapped(module); }, kBetweenLoadsWaitMs);
        }
    }
    if (base != nullptr) FinalChecks(base, kUnmapWaitMs + s_.loads.back().hold.ms, &outcome);
    devhost::SetLogObserver(nullptr);
    devhost::SetCallEntryObserver(nullptr);
    devhost::SetWindowPauseHook(L"", nullptr);
    GuardSchedule(0);
    const std::vector<Violation> found = m_.Violations();
    outcome.violations.insert(outcome.violations.end(), found.begin(), found.end());
    return outcome;
}

void Player::FinalChecks(HMODULE base, DWORD wait, Outcome* outcome) {
    StepGuard guard("the wait for the module to unmap", wait + kKillSlackMs);
    const uint64_t start = NowMs();
    DWORD windowThread = 0;
    devhost::PumpUntil([&] { return !devhost::ModuleMapped(base) && !PluginWindowLeft(&windowThread); }, wait);
    const bool mapped = devhost::ModuleMapped(base);
    m_.Trace(mapped ? "module still mapped after " + std::to_string(NowMs() - start) + " ms"
                    : "module unmapped after " + std::to_string(NowMs() - start) + " ms");
    if (PluginWindowLeft(&windowThread)) {
        m_.Add(kNothingLeft, "a window of the plug-in's class is left (thread " + std::to_string(windowThread) + ")" +
                                 (mapped ? "" : " on unmapped code"));
        outcome->dirty = true;
    }
    if (PluginClassRegistered(base) && (!mapped || !pinAllowed_)) {
        m_.Add(kNothingLeft, std::string("the window class is still registered to the ") +
                                 (mapped ? "module" : "unmapped module"));
        UnregisterClassW(kPluginClass, base);  // so that later schedules start clean
    }
    if (mapped) {
        if (pinAllowed_) {
            outcome->pinned = true;
            m_.Trace("module pinned where allowed");
        } else {
            m_.Add(kUnmapped, "module still mapped " + std::to_string(wait) + " ms after the last FreeLibrary");
            outcome->dirty = true;
        }
    }
    if (!saveMayBeCut_) {
        checker_->CheckNoneOpen();
    }
    if (checker_->Faults() != 0) {
        const std::vector<std::string> faults = checker_->FirstFaults();
        std::string text = std::to_string(checker_->Faults()) + " fault(s):";
        for (size_t i = 0; i < faults.size() && i < 2; ++i) text += " " + faults[i] + ";";
        m_.Add(kSavesWhole, text);
    }
    if (devhost::DialogWatchdogFired() != 0) m_.Add(kNoHang, "a dialog stayed open until the host cancelled it");
}

}  // namespace

Outcome Play(const Schedule& schedule, const Context& context, bool verbose) {
    if (verbose) PrintSteps(schedule);
    Player player(schedule, context);
    Outcome outcome = player.Run();
    if (verbose) PrintRun();
    return outcome;
}

}  // namespace explorer
