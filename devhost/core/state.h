// The development host's inner state, shared by its source files.
//
// 1. Everything in State is guarded by Lock(); nothing is called out (hooks, the log
//    observer, window functions) while it is held.
// 2. Record() appends to the log and then tells the observer, outside the lock.
#ifndef VARNEL_DEVHOST_STATE_H
#define VARNEL_DEVHOST_STATE_H

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>

#include "devhost/core/devhost.h"

namespace devhost::detail {

struct PendingApply {
    std::chrono::steady_clock::time_point due;
    std::wstring skin;
    uint64_t generation;
};

struct State {
    uint32_t hostVersion = TS_REQUIRED_HOST_VERSION;
    DWORD callDelay = 0;

    std::vector<LogEntry> log;
    std::function<void(const LogEntry&)> observer;
    int unexpectedCalls = 0;

    std::map<StoreKey, SettingValue> store;
    int commits = 0;
    std::function<bool()> persist;

    std::map<ItemKey, int32_t> itemInts;
    std::map<ItemKey, std::wstring> itemStrings;
    std::map<int32_t, std::wstring> captions;

    std::wstring skinsFolder;
    std::function<std::wstring(const std::wstring&)> displayRule;
    std::wstring currentSkin;
    std::function<std::wstring(const std::wstring&)> currentSkinOverride;
    ApplyMode applyMode = ApplyMode::Immediate;
    DWORD applyDelay = 0;
    std::vector<std::wstring> applied;
    std::vector<PendingApply> pendingApplies;
    uint64_t applyGeneration = 0;  // bumped by Reset, so timers queued before it do nothing

    LANGID language = 0;
    std::deque<std::function<void(HWND)>> scripts;
    bool interactive = false;
    DWORD watchdogMs = 15000;
    int watchdogFired = 0;
};

std::mutex& Lock();
State& Host();  // only under Lock()
std::condition_variable& ApplyWake();  // the delayed-apply thread waits on it with Lock()

// The calling thread's buffer for the strings one slot returns (as the launcher's own
// buffers, it holds until that thread calls the slot again); `owner` is any address
// that is the slot's own. Freed when the thread ends.
std::wstring& ThreadBuffer(const void* owner);

// Marks the calling thread as inside a slot for as long as it lives (InHostCall()).
class HostCallScope {
public:
    HostCallScope();
    ~HostCallScope();
    HostCallScope(const HostCallScope&) = delete;
    HostCallScope& operator=(const HostCallScope&) = delete;
};
// The opposite, for the host calling back into the plug-in (a dialog procedure): the
// thread counts as outside the host until it returns.
class PluginCallScope {
public:
    PluginCallScope();
    ~PluginCallScope();
    PluginCallScope(const PluginCallScope&) = delete;
    PluginCallScope& operator=(const PluginCallScope&) = delete;

private:
    int saved_;
};
// Runs `call` on the UI thread and returns true when marshalling is on and this is
// another thread; false (nothing run) otherwise. While `call` runs, MarshalledCaller()
// on the UI thread names the thread that made the call.
bool RunOnUiThread(const std::function<void()>& call);
DWORD MarshalledCaller();  // 0 when this thread serves no marshalled call
// At the entry of a slot, on the calling thread: the entry observer, pause and hold
// (holds.cpp). ResetHolds removes them all and lets a held call go.
void EnterSlot(int slot);
void ResetHolds();
void ResetWindowPauseHook();

// The store's key for a setting; a null section is the top level.
inline StoreKey KeyOf(int32_t pluginId, const wchar_t* section, std::wstring key) {
    StoreKey k{pluginId, std::nullopt, std::move(key)};
    if (section != nullptr) k.section = std::wstring(section);
    return k;
}
void Record(int slot, const wchar_t* name, std::vector<LogValue> args, std::vector<LogValue> result);
void BlockForCallDelay();
LogValue Text(const wchar_t* text);  // nullptr for null
LogHex Hex(const void* handle);

// Slot bodies living next to their data (logging and delay are done by the table).
const wchar_t* SkinsFolderSlot();
const wchar_t* CurrentSkinSlot();
const wchar_t* DisplayNameSlot(const wchar_t* skin);
int ApplySkinSlot(const wchar_t* skin);
int LoadStringSlot(HMODULE module, UINT id, wchar_t* buffer, int capacity);
INT_PTR ShowDialogSlot(HMODULE module, UINT dialogId, HWND owner, DLGPROC proc, LPARAM param);

}  // namespace devhost::detail

#endif
