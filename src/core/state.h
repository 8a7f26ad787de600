// The plug-in's one process-wide state record.
//
// 1. Every operation reads and writes the fields of `g_state` directly.
// 2. The settings, the strings, the skin lists, and the schedule are guarded by
//    `g_state.lock` (GUARDED_BY, checked by clang's -Wthread-safety).
//    Whoever holds it copies what it needs and lets go: the lock is never held across
//    a call into the host or a window function.
// 3. Every other 32-bit word that crosses threads is an atomic, so the hand-overs
//    (`targetSkin` then `switchPending`; `themeDebounceTicks` then
//    `themeChangePending`; `workerRunning`) keep their order.
// 4. `workerRunning` holds the id of the one worker that may tick; a worker whose id
//    it no longer holds ends, even when a newer worker has started since.
// 5. The record is never destroyed: at process exit other threads may have been ended
//    in the middle of using it (see state.cpp).
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

// The holder of a turn kept across host calls (core/session.h).
struct TurnHolder {
    bool held = false;
    uint32_t session = 0;
    DWORD thread = 0;
    uintptr_t frame = 0;
    int hostCalls = 0;  // host calls of the holder's thread in progress
};
// One export call in progress: its thread and the address of its frame.
struct CallRecord {
    DWORD thread = 0;
    uintptr_t frame = 0;
};
constexpr size_t kMaxCallsInProgress = 16;

// The modes and units as they are stored. A stored number outside these names is kept as
// read; each user of the value says how it takes one.
enum class ChangeMode : int32_t { kPeriodic = 0, kThemeSync = 1 };
// The list periodic mode walks.
enum class RotationList : int32_t { kAllSkins = 0, kSelectedSkins = 1 };
enum class TimeUnit : int32_t { kMinutes = 0, kHours = 1, kDays = 2 };

// The user's settings as they are stored (config/settings.cpp), with the defaults of a
// plug-in that has loaded nothing yet. A change is made in one step under g_state.lock,
// so that nobody sees half of it.
struct Settings {
    ChangeMode changeMode = ChangeMode::kPeriodic;
    RotationList targetSkins = RotationList::kAllSkins;
    TimeUnit timeUnit = TimeUnit::kDays;
    int32_t interval = 0;
    uint16_t changeHour = 0;
    uint16_t changeMinute = 0;
    int32_t rotationIndex = 0;  // position in the active list of the skin requested last
    SYSTEMTIME lastChanged{};   // the last confirmed switch in days mode, local time
    SkinList selectedSkins;     // the user's rotation list; display names may be empty
    std::wstring lightThemeSkin;
    std::wstring darkThemeSkin;
};

struct PluginState {
    SrwLock lock;

    // Boundary
    HMODULE moduleHandle = nullptr;
    std::atomic<const HostServiceTable*> hostTable{nullptr};
    std::atomic<int32_t> pluginId{-1};
    std::atomic<HWND> hiddenWindow{nullptr};
    std::atomic<int32_t> windowAlive{0};
    std::atomic<HANDLE> workerHandle{nullptr};
    std::atomic<uint32_t> workerRunning{0};
    // Set once a host table has passed the version check, cleared when one fails it.
    std::atomic<int32_t> hostAccepted{0};
    // Host calls from before their session check until they return (core/host.cpp).
    std::atomic<int32_t> callsInFlight{0};
    // Moved on by every initialisation and every shut-down, under the lock (core/session.h).
    std::atomic<uint32_t> session{0};
    // The thread slot holding the session each thread acts for.
    std::atomic<DWORD> sessionSlot{TLS_OUT_OF_INDEXES};
    CallRecord calls[kMaxCallsInProgress] GUARDED_BY(lock);
    bool callsOverflowed GUARDED_BY(lock) = false;
    // Set once shut-down could not make sure that no code of the module runs after it
    // returned, and so kept the module loaded for the life of the process.
    std::atomic<int32_t> pinned{0};

    // Settings: one value, read and replaced whole under the lock.
    Settings settings GUARDED_BY(lock);

    // Engine
    std::wstring targetSkin GUARDED_BY(lock);
    std::atomic<int32_t> switchPending{0};
    std::atomic<int32_t> retryCountdown{0};
    SYSTEMTIME nextChangeTime GUARDED_BY(lock){};
    bool nextChangeValid GUARDED_BY(lock) = false;  // nextChangeTime was computed
    int64_t lastSwitchStamp GUARDED_BY(lock) = 0;
    std::atomic<int32_t> themeChangePending{0};
    std::atomic<int32_t> themeDebounceTicks{0};
    // The session plus one that asked for a save, 0 for none; whoever holds the save turn
    // saves again before letting go (config/settings.cpp).
    std::atomic<uint32_t> saveWanted{0};
    TurnHolder saving GUARDED_BY(lock);

    // Catalog
    SkinList allSkins GUARDED_BY(lock);
    TurnHolder enumerating GUARDED_BY(lock);
};

extern PluginState& g_state;

// Copies `text` into `buffer` of `capacity` units: truncates, always terminates.
void CopyBounded(wchar_t* buffer, size_t capacity, const wchar_t* text);

// Puts every field back to its load-time value. For tests and the development host only,
// while no plug-in thread runs.
void ResetPluginState();

// A copy of g_state.settings, taken under the lock.
Settings CopySettings();

#endif
