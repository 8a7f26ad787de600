// Development host: a stand-in for the launcher that loads the plug-in, used by the
// tests, the demo program and the benchmarks.
//
// 1. Table() is the full 75-slot service table. The 18 slots the plug-in uses are
//    served here; every other slot records an unexpected call and returns 0.
// 2. Every slot may be called from any thread at the same time. A string a slot
//    returns stays valid until the same thread calls the same slot again.
// 3. The functions below the table are for the test or program that plays the
//    launcher: they set the host up, inspect what the plug-in did and inject faults.
//    They are thread-safe as well, except the dialog helpers, which belong on the
//    thread that runs the dialog.
// 4. Hooks (std::function) are called without the host's lock held, so a hook may
//    call back into the host.
#ifndef VARNEL_DEVHOST_H
#define VARNEL_DEVHOST_H

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <variant>
#include <vector>

#include "core/host_table.h"
#include "plugin/plugin_api.h"

namespace devhost {

// Set-up. Init() is what the launcher does once at start (registers the up-down and
// date-time picker classes) followed by Reset(). Reset() returns every piece of host
// state to its default: store, items, captions, log, counters, hooks, scripts, skins
// folder, current skin, apply mode, language, call delay, watchdog. The interactive
// flag survives Reset().
void Init();
void Reset();
const HostServiceTable* Table();

// Milliseconds since the host started, on the clock the log uses.
uint64_t ElapsedMs();

// Host version reported by slot 0 (default 0x04020300).
void SetHostVersion(uint32_t version);

// Call log: every call of a slot, with its arguments and result as values. Slot is -1
// for the host's own events (a dialog closing, a delayed skin taking effect).
struct LogHex {  // a handle or the host version, which people read in hex
    uint64_t value;
    bool operator==(const LogHex& other) const { return value == other.value; }
    bool operator!=(const LogHex& other) const { return value != other.value; }
};
struct LogNote {  // words of the host's own, shown as they are
    std::wstring text;
    bool operator==(const LogNote& other) const { return text == other.text; }
    bool operator!=(const LogNote& other) const { return text != other.text; }
};
// A null string argument or result is nullptr.
using LogValue = std::variant<std::nullptr_t, int64_t, LogHex, std::wstring, LogNote>;
struct LogEntry {
    int slot;
    std::wstring name;             // e.g. L"ApplySkin", or L"unexpected" for an unused slot
    std::vector<LogValue> args;    // in the slot's order
    std::vector<LogValue> result;  // one value; none while a dialog is open; LoadLocalizedString
                                   // gives its count and the text loaded
    DWORD threadId;                // the thread that made the call
    uint64_t ms;                   // ElapsedMs() at the call
    bool marshalled;               // served on the UI thread for a caller on another one
};
std::vector<LogEntry> Log();
// The entries of one slot, in order.
std::vector<LogEntry> CallsOf(int slot, const std::vector<LogEntry>& log);
// A value as a string or as a number; nullopt when it is of another kind.
std::optional<std::wstring> AsText(const LogValue& value);
std::optional<int64_t> AsNumber(const LogValue& value);
// The log for people (the launcher's pane, demo and test messages): values joined by
// ", " (arguments) or " " (result); strings as LogQuote writes them, null as null,
// numbers in decimal, LogHex as 0x..., notes as they are.
std::wstring LogArgsText(const std::vector<LogValue>& args);
std::wstring LogResultText(const std::vector<LogValue>& result);
// How the log writes a string for people: in double quotes, with controls, quotes and
// backslashes as \xNN.
std::wstring LogQuote(const std::wstring& text);
void ClearLog();
size_t CallCount(int slot);  // entries of that slot in the current log
// Called after every new entry, on the thread that made it; null removes it.
void SetLogObserver(std::function<void(const LogEntry&)> observer);
// Calls of the 57 slots the plug-in must never use.
int UnexpectedCalls();
// Makes every slot block this long before it does anything (0 = off).
void SetCallDelay(DWORD ms);

// Settings store, keyed by (pluginId, section, key). A null section is the top level,
// distinct from the section L"". Values are int32 or UTF-16 strings.
using SettingValue = std::variant<int32_t, std::wstring>;
struct SettingEntry {
    std::optional<std::wstring> section;  // nullopt = top level
    std::wstring key;
    SettingValue value;
};
void SetSetting(int32_t pluginId, const wchar_t* section, const std::wstring& key, int32_t value);
void SetSetting(int32_t pluginId, const wchar_t* section, const std::wstring& key,
                const std::wstring& value);
std::optional<int32_t> GetSettingInt(int32_t pluginId, const wchar_t* section,
                                     const std::wstring& key);  // nullopt also for a string
std::optional<std::wstring> GetSettingString(int32_t pluginId, const wchar_t* section,
                                             const std::wstring& key);  // nullopt also for an int
bool EraseSetting(int32_t pluginId, const wchar_t* section, const std::wstring& key);
std::vector<SettingEntry> Settings(int32_t pluginId);  // top level first, then by section, key
void ClearSettings();
int CommitCount();  // CommitSettings calls since Reset()
// What the launcher keeps between runs: the settings of every plug-in id, every item
// parameter, its skin and its language. RestoreStore replaces the settings and item
// parameters, and the skin and language when the snapshot has them.
struct StoreKey {
    int32_t pluginId;
    std::optional<std::wstring> section;  // nullopt = top level
    std::wstring key;
    bool operator<(const StoreKey& other) const {
        return std::tie(pluginId, section, key) < std::tie(other.pluginId, other.section, other.key);
    }
};
using ItemKey = std::pair<uint32_t, int32_t>;  // item id, parameter index
struct StoreSnapshot {
    std::map<StoreKey, SettingValue> settings;
    std::map<ItemKey, int32_t> itemInts;
    std::map<ItemKey, std::wstring> itemStrings;
    std::optional<std::wstring> currentSkin;
    std::optional<LANGID> language;
};
StoreSnapshot SnapshotStore();
void RestoreStore(StoreSnapshot snapshot);
// When set, every CommitSettings and every item parameter written through the table
// calls `save` on the calling thread, without the host's lock; CommitSettings returns 1
// only when it returns true. Persist() calls it too (true when none is set). Reset()
// removes it.
void SetPersistence(std::function<bool()> save);
bool Persist();

// Item parameters per (itemId, paramIndex), int and string kept apart.
void SetItemParam(uint32_t itemId, int32_t paramIndex, int32_t value);
void SetItemParam(uint32_t itemId, int32_t paramIndex, const std::wstring& value);
std::optional<int32_t> GetItemParamInt(uint32_t itemId, int32_t paramIndex);
std::optional<std::wstring> GetItemParamString(uint32_t itemId, int32_t paramIndex);
void ClearItemParams(uint32_t itemId);
void ClearAllItemParams();

// Skins. Default display-name rule: a file skin is a file of the Skins folder whose
// name ends in ".tskin" (any case), named by its file name without that extension; a
// folder skin "\Name" is a subfolder holding a file "skin.ini", named Name; every other
// identifier (also "\." and "\..") gets L"".
void SetSkinsFolder(const std::wstring& path);  // give it without a trailing backslash
std::wstring SkinsFolder();
std::wstring DefaultDisplayName(const std::wstring& identifier);
void SetDisplayNameRule(std::function<std::wstring(const std::wstring& identifier)> rule);
// Creators return the skin identifier (L"Name.tskin", L"\\Name").
std::wstring MakeFileSkin(const std::wstring& folder, const std::wstring& name);
std::wstring MakeFolderSkin(const std::wstring& folder, const std::wstring& name);
// Twelve skins, file and folder ones, named in several scripts; returns their
// identifiers in creation order.
std::vector<std::wstring> MakeSampleSkins(const std::wstring& folder);
// Removes a folder with everything in it, only when it lies inside the temp folder
// (an absolute path without ".."); returns false, touching nothing, otherwise.
bool RemoveTree(const std::wstring& path);
bool IsInsideTempFolder(const std::wstring& path);

// Applying skins.
enum class ApplyMode { Immediate, Delayed, Never };
void SetApplyMode(ApplyMode mode, DWORD delayMs = 0);  // delayMs only for Delayed
void SetCurrentSkin(const std::wstring& identifier);
std::wstring CurrentSkin();  // the real one, without the override
// What slot 33 returns instead of the real skin (null removes the hook).
void SetCurrentSkinOverride(std::function<std::wstring(const std::wstring& real)> hook);
int ApplySkinCount();
std::vector<std::wstring> AppliedSkins();  // arguments of every ApplySkin, in order

// Captions set through slot 64.
std::optional<std::wstring> Caption(int32_t pluginId);

// Language the host picks for resources (default 0x0000, neutral). A resource is taken
// in exactly that language if present, else neutral, else the first one listed.
void SetLanguage(LANGID language);
LANGID Language();
HRSRC FindResourceInLanguage(HMODULE module, LPCWSTR type, LPCWSTR name, LANGID language);

// Dialogs. Each dialog that opens through slot 49 takes the next script (FIFO), which
// runs inside the dialog's own modal loop after WM_INITDIALOG. In headless mode (the
// default) a dialog still open a watchdog period after it opened (or after its script
// returned) is cancelled and counted as a failure; in interactive mode it just runs.
void PushDialogScript(std::function<void(HWND dlg)> script);
size_t PendingDialogScripts();
void SetInteractive(bool interactive);
void SetDialogWatchdog(DWORD ms);  // default 15000
int DialogWatchdogFired();

// Script helpers: each acts as the user's mouse or keyboard would and returns false
// when the control is missing or (for clicks) disabled.
bool Click(HWND dlg, int id);                    // BM_CLICK (button) or WM_COMMAND
bool SelectListRow(HWND dlg, int id, int row);   // LB_SETCURSEL + LBN_SELCHANGE
bool SelectComboRow(HWND dlg, int id, int row);  // CB_SETCURSEL + CBN_SELCHANGE
bool SetText(HWND dlg, int id, const std::wstring& text);
bool SetDateTime(HWND dlg, int id, const SYSTEMTIME& time);  // DTM_SETSYSTEMTIME + DTN_DATETIMECHANGE
std::wstring GetText(HWND dlg, int id);
std::wstring DialogTitle(HWND dlg);
std::optional<SYSTEMTIME> GetDateTime(HWND dlg, int id);
std::vector<std::wstring> ListRows(HWND dlg, int id);
std::vector<std::wstring> ComboRows(HWND dlg, int id);
int ListSelection(HWND dlg, int id);   // LB_GETCURSEL (-1 none or missing)
int ComboSelection(HWND dlg, int id);  // CB_GETCURSEL (-1 none or missing)
std::vector<int> ControlIds(HWND dlg);  // the dialog's direct children, in Z order
bool IsEnabled(HWND dlg, int id);
bool IsChecked(HWND dlg, int id);
bool PressOk(HWND dlg);
bool PressCancel(HWND dlg);
bool PressEscape(HWND dlg);    // what the dialog manager makes of the Esc key
bool PressCloseBox(HWND dlg);  // the caption's close box

// Windows app theme, as Windows stores and announces it.
bool SetAppsUseLightTheme(DWORD value);
bool SetAppsUseLightThemeString(const std::wstring& text);  // a value of the wrong type
bool DeleteAppsUseLightTheme();
void BroadcastColorSetChange();  // to this process's top-level windows

// The plug-in library.
struct Plugin {
    HMODULE module;
    TsPluginEventHandlerFn handler;
};
bool LoadPlugin(const std::wstring& dllPath, Plugin* plugin);
void UnloadPlugin(Plugin* plugin);
// Whether the module loaded at `module` is still mapped (its last reference not yet gone).
bool ModuleMapped(HMODULE module);

// Real launchers. Marshalling: while on, a call of any slot from a thread other than
// the one that turned it on (the UI thread) is sent to the UI thread and served there
// whenever it reads messages; the caller waits. Reset() turns it off.
void SetMarshalling(bool on);
bool Marshalling();
// How calls from other threads reach the UI thread. Send is SetMarshalling(true).
// PostAndWait posts the call to the UI thread's marshal window and waits on an event,
// as invoke-style frameworks do: the UI thread serves it only when it dispatches posted
// messages in a message loop, not while it waits serving sent messages only. A call
// never served within 30 s is given up, logged as "MarshalAbandoned" and returns 0.
enum class MarshalMode { Direct, Send, PostAndWait };
void SetMarshalMode(MarshalMode mode);  // Send and PostAndWait take this thread as the UI thread
MarshalMode CurrentMarshalMode();
// Waits, reading no messages, until a marshalled call is waiting (at most timeoutMs);
// false when none came. On the UI thread this keeps the caller waiting.
bool WaitForMarshalledCall(DWORD timeoutMs);
// Stepping, for a test or the demo that plays a slow UI thread: while on, a marshalled
// call is held before it is sent until ServeMarshalledCall lets it through, one at a
// time. Turning it off lets every held call go on to be served as usual.
void SetMarshalledStepping(bool on);
// On the UI thread, while stepping: lets one marshalled call through (waiting for one
// at most timeoutMs, reading no messages) and serves it. False when none came.
bool ServeMarshalledCall(DWORD timeoutMs);
// Slow and stuck hosts, on the calling thread at the entry of a slot, before the call is
// marshalled (so a hold keeps the plug-in's own thread inside the host call). All are
// removed by Reset(); hooks are called without the host's lock.
// The observer sees every entry first (slot, calling thread).
void SetCallEntryObserver(std::function<void(int slot, DWORD thread)> observer);
// Before each call of `slot`, its caller waits pause(thread) ms (0: none; null removes).
void SetSlotPause(int slot, std::function<DWORD(DWORD thread)> pause);
// The next call of `slot` for which `which(thread)` is true (any, when null) waits until
// ReleaseHold() or at most maxMs. One hold at a time; a new one replaces it.
void HoldSlot(int slot, DWORD maxMs, std::function<bool(DWORD thread)> which = nullptr);
bool HoldEntered();   // a call is waiting in the hold, or has waited in it
DWORD HeldThread();   // the thread that entered it (0 before)
void ReleaseHold();
// Pauses the calling (UI) thread at messages of the windows of `className`: for every
// message sent to such a window, before (after = false) and after it is handled,
// pause(message, after) ms; null removes the hooks. Only sent messages pass the hooks.
void SetWindowPauseHook(const std::wstring& className, std::function<DWORD(UINT message, bool after)> pause);
// Whether this thread is running a slot of the table right now (also while serving a
// marshalled call).
bool InHostCall();
// Sends one event from a new thread, reading this thread's messages until it returns.
int32_t SendEventFromThread(TsPluginEventHandlerFn handler, uint32_t event, uint64_t param1,
                            uint64_t param2);
// `cycles` times: loads the DLL, sends event 2 with the table and event 3, unloads it
// and waits (reading messages, at most 5 s) until the module has really gone; then
// calls afterCycle (if any) with the cycle's number. Returns the cycles completed.
int Reload(const std::wstring& dllPath, int cycles, int32_t pluginId = 1,
           const std::function<void(int)>& afterCycle = nullptr);

// What the process holds: TLS slots still free (each is taken and given back), open
// handles, and bytes in use in all its heaps, walked block by block (exact, where
// private bytes count only touched pages on Wine and whole pages on Windows).
int FreeTlsSlots();
DWORD HandleCount();
int64_t HeapBytesInUse();

// Dispatches this thread's messages until done() is true (returns true) or the
// deadline passes (returns done() then).
bool PumpUntil(std::function<bool()> done, DWORD timeoutMs);

}  // namespace devhost

#endif
