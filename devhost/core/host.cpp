// Host set-up, the call log, captions, the theme helpers, plug-in loading and the
// message pump.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>

#include "core/windows_theme.h"
#include "devhost/core/state.h"

namespace devhost {
namespace detail {

namespace {
const auto g_start = std::chrono::steady_clock::now();
}  // namespace

// Never destroyed: the delayed-apply thread may still wait on them while the
// process runs its exit-time destructors.
std::mutex& Lock() {
    static std::mutex* mutex = new std::mutex;
    return *mutex;
}

// The buffers live in a fiber-local slot, not in thread_local objects: a thread_local
// with a destructor makes the C++ runtime create a winpthreads key that an exit-time
// destructor deletes, and that deletion can wait for ever when another thread is
// ending at the same moment (test programs were seen hanging at exit).
namespace {
using Buffers = std::map<const void*, std::wstring>;

void WINAPI FreeThreadBuffers(void* buffers) { delete static_cast<Buffers*>(buffers); }

DWORD BufferSlot() {
    static const DWORD slot = [] {
        const DWORD allocated = FlsAlloc(FreeThreadBuffers);
        if (allocated == FLS_OUT_OF_INDEXES) {
            std::fputs("devhost: no fiber-local slot left\n", stderr);
            std::abort();
        }
        return allocated;
    }();
    return slot;
}
}  // namespace

std::wstring& ThreadBuffer(const void* owner) {
    const DWORD slot = BufferSlot();
    auto* buffers = static_cast<Buffers*>(FlsGetValue(slot));
    if (buffers == nullptr) {
        buffers = new Buffers;
        FlsSetValue(slot, buffers);
    }
    return (*buffers)[owner];
}

State& Host() {
    static State* state = new State;
    return *state;
}

std::condition_variable& ApplyWake() {
    static std::condition_variable* wake = new std::condition_variable;
    return *wake;
}

void Record(int slot, const wchar_t* name, std::vector<LogValue> args, std::vector<LogValue> result) {
    const DWORD caller = MarshalledCaller();
    LogEntry entry{slot,       name, std::move(args), std::move(result),
                   caller != 0 ? caller : GetCurrentThreadId(), ElapsedMs(), caller != 0};
    std::function<void(const LogEntry&)> observer;
    {
        std::lock_guard<std::mutex> guard(Lock());
        Host().log.push_back(entry);
        observer = Host().observer;
    }
    if (observer) observer(entry);
}

void BlockForCallDelay() {
    DWORD delay;
    {
        std::lock_guard<std::mutex> guard(Lock());
        delay = Host().callDelay;
    }
    if (delay != 0) Sleep(delay);
}

LogValue Text(const wchar_t* text) {
    if (text == nullptr) return nullptr;
    return std::wstring(text);
}

LogHex Hex(const void* handle) { return LogHex{reinterpret_cast<uintptr_t>(handle)}; }

}  // namespace detail

using detail::Host;
using detail::Lock;

uint64_t ElapsedMs() {
    auto span = std::chrono::steady_clock::now() - detail::g_start;
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(span).count());
}

void Init() {
    // The launcher registers these itself; the plug-in's dialogs rely on it.
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_UPDOWN_CLASS | ICC_DATE_CLASSES};
    InitCommonControlsEx(&icc);
    Reset();
}

void Reset() {
    SetMarshalling(false);
    SetMarshalledStepping(false);
    detail::ResetHolds();
    detail::ResetWindowPauseHook();
    detail::State old;  // its hooks and scripts are destroyed after the lock is released
    {
        std::lock_guard<std::mutex> guard(Lock());
        detail::State& s = Host();
        old = std::move(s);
        s = detail::State{};
        s.interactive = old.interactive;
        s.applyGeneration = old.applyGeneration + 1;
    }
    detail::ApplyWake().notify_all();
}

void SetHostVersion(uint32_t version) {
    std::lock_guard<std::mutex> guard(Lock());
    Host().hostVersion = version;
}

std::vector<LogEntry> Log() {
    std::lock_guard<std::mutex> guard(Lock());
    return Host().log;
}

std::vector<LogEntry> CallsOf(int slot, const std::vector<LogEntry>& log) {
    std::vector<LogEntry> calls;
    for (const LogEntry& entry : log) {
        if (entry.slot == slot) calls.push_back(entry);
    }
    return calls;
}

std::optional<std::wstring> AsText(const LogValue& value) {
    if (const auto* text = std::get_if<std::wstring>(&value)) return *text;
    return std::nullopt;
}

std::optional<int64_t> AsNumber(const LogValue& value) {
    if (const auto* number = std::get_if<int64_t>(&value)) return *number;
    return std::nullopt;
}

std::wstring LogQuote(const std::wstring& text) {
    std::wstring out = L"\"";
    for (const wchar_t ch : text) {
        if (ch < 0x20 || ch == L'"' || ch == L'\\') {
            wchar_t esc[8];
            swprintf(esc, 8, L"\\x%02X", static_cast<unsigned>(ch));
            out += esc;
        } else {
            out += ch;
        }
    }
    out += L'"';
    return out;
}

namespace {

std::wstring ValueText(const LogValue& value) {
    if (std::holds_alternative<std::nullptr_t>(value)) return L"null";
    if (const auto* number = std::get_if<int64_t>(&value)) return std::to_wstring(*number);
    if (const auto* hex = std::get_if<LogHex>(&value)) {
        wchar_t text[24];
        swprintf(text, 24, L"0x%llX", static_cast<unsigned long long>(hex->value));
        return text;
    }
    if (const auto* note = std::get_if<LogNote>(&value)) return note->text;
    return LogQuote(std::get<std::wstring>(value));
}

std::wstring Joined(const std::vector<LogValue>& values, const wchar_t* separator) {
    std::wstring text;
    for (const LogValue& value : values) {
        if (&value != values.data()) text += separator;
        text += ValueText(value);
    }
    return text;
}

}  // namespace

std::wstring LogArgsText(const std::vector<LogValue>& args) { return Joined(args, L", "); }
std::wstring LogResultText(const std::vector<LogValue>& result) { return Joined(result, L" "); }

void ClearLog() {
    std::lock_guard<std::mutex> guard(Lock());
    Host().log.clear();
}

size_t CallCount(int slot) {
    std::lock_guard<std::mutex> guard(Lock());
    size_t count = 0;
    for (const LogEntry& entry : Host().log) count += entry.slot == slot ? 1 : 0;
    return count;
}

void SetLogObserver(std::function<void(const LogEntry&)> observer) {
    std::lock_guard<std::mutex> guard(Lock());
    Host().observer = std::move(observer);
}

int UnexpectedCalls() {
    std::lock_guard<std::mutex> guard(Lock());
    return Host().unexpectedCalls;
}

void SetCallDelay(DWORD ms) {
    std::lock_guard<std::mutex> guard(Lock());
    Host().callDelay = ms;
}

std::optional<std::wstring> Caption(int32_t pluginId) {
    std::lock_guard<std::mutex> guard(Lock());
    auto it = Host().captions.find(pluginId);
    if (it == Host().captions.end()) return std::nullopt;
    return it->second;
}

namespace {
bool WriteThemeValue(DWORD type, const void* data, DWORD size) {
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kPersonalizeKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return false;
    LSTATUS status = RegSetValueExW(key, kLightThemeValue, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}
}  // namespace

bool SetAppsUseLightTheme(DWORD value) { return WriteThemeValue(REG_DWORD, &value, sizeof(value)); }

bool SetAppsUseLightThemeString(const std::wstring& text) {
    return WriteThemeValue(REG_SZ, text.c_str(),
                           static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

bool DeleteAppsUseLightTheme() {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kPersonalizeKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return true;  // no key, so no value either
    LSTATUS status = RegDeleteValueW(key, kLightThemeValue);
    RegCloseKey(key);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

namespace {
BOOL CALLBACK CollectOwnWindow(HWND window, LPARAM list) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId()) reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}
}  // namespace

// Windows sends this to every top-level window of the desktop. The plug-in's window is
// one of this process's, so only these are sent it: test programs running side by side
// then never reach one another, nor wait on other programs' windows.
void BroadcastColorSetChange() {
    std::vector<HWND> windows;
    EnumWindows(CollectOwnWindow, reinterpret_cast<LPARAM>(&windows));
    for (HWND window : windows) {
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(window, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"ImmersiveColorSet"),
                            SMTO_ABORTIFHUNG, 200, &ignored);
    }
}

bool LoadPlugin(const std::wstring& dllPath, Plugin* plugin) {
    if (plugin == nullptr) return false;
    *plugin = Plugin{nullptr, nullptr};
    HMODULE module = LoadLibraryW(dllPath.c_str());
    if (module == nullptr) return false;
    FARPROC proc = GetProcAddress(module, "TsPluginEventHandler");
    if (proc == nullptr) {
        FreeLibrary(module);
        return false;
    }
    plugin->module = module;
    plugin->handler = reinterpret_cast<TsPluginEventHandlerFn>(reinterpret_cast<void (*)()>(proc));
    return true;
}

void UnloadPlugin(Plugin* plugin) {
    if (plugin == nullptr) return;
    if (plugin->module != nullptr) FreeLibrary(plugin->module);
    *plugin = Plugin{nullptr, nullptr};
}

bool ModuleMapped(HMODULE module) {
    HMODULE now = nullptr;
    return GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                  GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              reinterpret_cast<LPCWSTR>(module), &now) != FALSE;
}

bool PumpUntil(std::function<bool()> done, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (done()) return true;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done()) return true;
        ULONGLONG now = GetTickCount64();
        if (now >= deadline) return false;
        // Short, so that a condition no message announces (a thread or a module gone) is
        // seen within a millisecond or two rather than a whole timer period.
        DWORD wait = static_cast<DWORD>(deadline - now < 1 ? deadline - now : 1);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, wait, QS_ALLINPUT);
    }
}

}  // namespace devhost
