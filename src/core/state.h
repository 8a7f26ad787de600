// The plug-in's one process-wide state record.
//
// 1. Every operation reads and writes the fields of `g_state` directly.
// 2. The strings, the skin lists, the two SYSTEMTIMEs and `lastSwitchStamp` are
//    guarded by `g_state.lock` (GUARDED_BY, checked by clang's -Wthread-safety).
//    Whoever holds it copies what it needs and lets go: the lock is never held across
//    a call into the host or a window function.
// 3. Every 32-bit word that crosses threads is an atomic, so the hand-overs
//    (`targetSkin` then `switchPending`; `themeDebounceTicks` then
//    `themeChangePending`; `workerRunning`) keep their order.
// 4. `workerRunning` holds the id of the one worker that may tick; a worker whose id
//    it no longer holds ends, even when a newer worker has started since.
#ifndef VARNEL_STATE_H
#define VARNEL_STATE_H

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "core/host_table.h"
#include "core/lock.h"

struct SkinEntry {
    std::wstring identifier;
    std::wstring displayName;
};
using SkinList = std::vector<SkinEntry>;

// The modes and units as they are stored. A stored number outside these names is kept as
// read; each user of the value says how it takes one.
enum class ChangeMode : int32_t { kPeriodic = 0, kThemeSync = 1 };
// The list periodic mode walks.
enum class RotationList : int32_t { kAllSkins = 0, kSelectedSkins = 1 };
enum class TimeUnit : int32_t { kMinutes = 0, kHours = 1, kDays = 2 };

struct PluginState {
    SrwLock lock;

    // Boundary
    HMODULE moduleHandle = nullptr;
    std::atomic<const HostServiceTable*> hostTable{nullptr};
    std::atomic<int32_t> pluginId{-1};
    std::atomic<HWND> hiddenWindow{nullptr};
    std::atomic<int32_t> windowAlive{0};
    HANDLE workerHandle = nullptr;
    std::atomic<uint32_t> workerRunning{0};
    // Set once a host table has passed the version check, cleared when one fails it.
    std::atomic<int32_t> hostAccepted{0};
    // Bumped by every initialisation and every shut-down. A thread started for one session
    // (the start-up enumeration) or a tick begun in it stops once the number moves on, so it
    // never calls a table the host may already have freed, nor the next session's.
    std::atomic<uint32_t> session{0};
    // The module reference the hidden window holds while it exists (see NotifyWindowProc).
    std::atomic<HMODULE> windowModule{nullptr};

    // Settings
    std::atomic<ChangeMode> changeMode{ChangeMode::kPeriodic};
    std::atomic<RotationList> targetSkins{RotationList::kAllSkins};
    std::atomic<TimeUnit> timeUnit{TimeUnit::kDays};
    std::atomic<int32_t> interval{0};
    std::atomic<uint16_t> changeHour{0};
    std::atomic<uint16_t> changeMinute{0};
    std::atomic<int32_t> rotationIndex{0};
    SYSTEMTIME lastChanged GUARDED_BY(lock){};
    SkinList selectedSkins GUARDED_BY(lock);
    std::wstring lightThemeSkin GUARDED_BY(lock);
    std::wstring darkThemeSkin GUARDED_BY(lock);

    // Engine
    std::wstring targetSkin GUARDED_BY(lock);
    std::atomic<int32_t> switchPending{0};
    std::atomic<int32_t> retryCountdown{0};
    SYSTEMTIME nextChangeTime GUARDED_BY(lock){};
    bool nextChangeValid GUARDED_BY(lock) = false;  // nextChangeTime was computed
    int64_t lastSwitchStamp GUARDED_BY(lock) = 0;
    std::atomic<int32_t> themeChangePending{0};
    std::atomic<int32_t> themeDebounceTicks{0};

    // Catalog
    SkinList allSkins GUARDED_BY(lock);
    std::atomic<int32_t> enumerating{0};
};

extern PluginState g_state;

// Copies `text` into `buffer` of `capacity` units: truncates, always terminates.
void CopyBounded(wchar_t* buffer, size_t capacity, const wchar_t* text);

// Puts every field back to its load-time value. For tests and the development host only,
// while no plug-in thread runs.
void ResetPluginState();

#endif
