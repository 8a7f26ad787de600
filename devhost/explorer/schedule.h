// A schedule of host behaviour, drawn from a seed: how the host marshals, which thread
// sends each event, what the host holds or pauses, when it frees the DLL and what it
// stored before.
//
// 1. Draw(seed) is a pure function of the seed (its own generator, no library one),
//    so a seed replays the same schedule on any build of the explorer.
// 2. A schedule is short: its dwell times add up to a few hundred milliseconds, and
//    holds of seconds are rare.
// 3. Steps() lists it for people, one step a line, in the order it is played.
#ifndef VARNEL_EXPLORER_SCHEDULE_H
#define VARNEL_EXPLORER_SCHEDULE_H

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "devhost/core/devhost.h"

namespace explorer {

// splitmix64: small, fast and the same everywhere.
class Rng {
public:
    explicit Rng(uint64_t seed) : state_(seed) {}
    uint64_t Next();
    uint32_t Below(uint32_t n);                  // 0 .. n-1
    int Between(int low, int high);              // low .. high
    bool Chance(uint32_t percent);

private:
    uint64_t state_;
};

// Which thread sends an event.
enum class EventThread {
    Ui,           // the UI thread itself
    Pumping,      // another thread, the UI thread reading messages meanwhile
    Unreachable,  // another thread, the UI thread in a plain wait for it (event 3 only)
    Nested,       // inside a dialog's script, on the dialog's thread (event 3 only)
    NestedThread  // inside a dialog's script, from another thread (event 3 only)
};

struct Action {
    enum class Kind { Dwell, RunItem, ThemeFlip, Dialog } kind = Kind::Dwell;
    EventThread thread = EventThread::Ui;
    DWORD ms = 0;             // Dwell: pumping time; Dialog: pumping before it closes
    uint32_t item = 9;        // RunItem
    bool oddParam = false;    // RunItem: param2 odd (the plug-in ignores it)
    uint32_t dialogEvent = 9; // Dialog: 8 About, 9 main settings, 10 item settings
    bool ok = true;           // Dialog: OK or Cancel
    int flipMode = -1;        // Dialog 9: click periodic (0) or theme sync (1) first; -1 none
    std::vector<Action> inside;  // Dialog: what happens while it is open
};

enum class FreeTiming { AtOnce, Late, WhileHeld };

struct Hold {
    int slot = -1;  // -1: none
    DWORD ms = 0;
    bool beforeInit = false;  // armed before event 2 (the start-up enumeration's calls)
};

struct Load {
    std::vector<Action> actions;
    EventThread shutdownThread = EventThread::Ui;
    Hold hold;
    FreeTiming free = FreeTiming::AtOnce;
    DWORD lateMs = 0;
    bool reloadAtOnce = false;  // the next load follows the FreeLibrary without pumping
};

struct SlotPause {
    int slot;
    uint32_t percent;  // chance that one call pauses
    DWORD maxMs;
};

struct StoredSetting {
    std::wstring section;  // L"" = top level
    std::wstring key;
    bool isText = false;
    int32_t number = 0;
    std::wstring text;
};

struct Schedule {
    uint64_t seed = 0;
    devhost::MarshalMode marshal = devhost::MarshalMode::Direct;
    bool copiedDll = false;
    devhost::ApplyMode apply = devhost::ApplyMode::Immediate;
    DWORD applyDelayMs = 0;
    int currentSkin = 0;  // index into the sample skins
    bool garbage = false;
    std::vector<StoredSetting> stored;
    int itemSkin = 1;  // item 9 switches to this sample skin; item 8 goes to the next
    std::vector<SlotPause> pauses;
    UINT pauseMessage = 0;  // 0: no window pause hook
    bool pauseAfter = false;
    DWORD pauseMs = 0;
    bool lightTheme = true;
    std::vector<Load> loads;
};

// The sample skins' count the schedules index (devhost::MakeSampleSkins makes twelve).
constexpr int kSampleSkins = 12;

Schedule Draw(uint64_t seed);
std::vector<std::string> Steps(const Schedule& schedule);
// The behaviours a schedule exercises, as short tags for the tallies.
std::vector<std::string> Behaviours(const Schedule& schedule);
const char* ThreadName(EventThread thread);

}  // namespace explorer

#endif
