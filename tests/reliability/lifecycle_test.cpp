// The real Varnel.dll in launchers that shut it down from another thread, free it at
// once, load it again before their thread reads its queue, or exit with threads cut
// off. Each test loads a copy of its own: a copy that had to pin itself stays loaded
// for the rest of the program and must not change what later tests load.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <string>

#include "devhost/core/devhost.h"
#include "reliability_support.h"
#include "support/plugin_fixture.h"
#include "support/watchdog.h"

namespace {

constexpr wchar_t kClass[] = L"TesseraVarnelPluginClass";
constexpr char kExitChildVariable[] = "VARNEL_EXIT_CHILD";
constexpr UINT kFreedAtExit = 3;

// Top-level windows of the plug-in's class anywhere in this process.
int PluginWindows() {
    int count = 0;
    EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
            DWORD process = 0;
            GetWindowThreadProcessId(window, &process);
            wchar_t name[64] = {};
            GetClassNameW(window, name, 64);
            if (process == GetCurrentProcessId() && lstrcmpW(name, kClass) == 0) {
                ++*reinterpret_cast<int*>(param);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count;
}

bool ClassRegisteredFor(HMODULE module) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    return GetClassInfoExW(module, kClass, &wc) != FALSE;
}

// Sends one event from a new thread while this thread, as a launcher waiting for its
// own worker, reads no messages until it returns.
int32_t EventFromThreadWhileDeaf(TsPluginEventHandlerFn handler, uint32_t event) {
    struct Call {
        TsPluginEventHandlerFn handler;
        uint32_t event;
        int32_t result;
    } call{handler, event, -1};
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto* c = static_cast<Call*>(p);
            c->result = c->handler(c->event, 0, 0, 0);
            return 0;
        },
        &call, 0, nullptr);
    EXPECT_NE(nullptr, thread);
    if (thread == nullptr) return -1;
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 10000)) << "event " << event << " hung";
    CloseHandle(thread);
    return call.result;
}

// A launcher's thread held up for a moment right after the hidden window's last message.
LRESULT CALLBACK PauseAfterLastMessage(int code, WPARAM wParam, LPARAM lParam) {
    const auto* sent = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && sent->message == WM_NCDESTROY) {
        Sleep(300);  // the behaviour under test: a thread that does not run on at once
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

class LifecycleTest : public PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        SetTestWatchdog(60000);
        ids_ = {devhost::MakeFileSkin(skins_, L"Aurora"), devhost::MakeFileSkin(skins_, L"Basalt")};
        devhost::SetCurrentSkin(ids_[0]);
    }

    // A copy of Varnel.dll under its own name; left behind, since it may be pinned.
    std::wstring CopyOfDll(const wchar_t* tag) {
        const std::wstring folder = MakeTempFolder(tag);
        const std::wstring copy = folder + L"\\Varnel.dll";
        EXPECT_TRUE(CopyFileW(reliability::PluginDllPath().c_str(), copy.c_str(), FALSE)) << GetLastError();
        return copy;
    }

    devhost::Plugin Start(const std::wstring& dll) {
        devhost::Plugin plugin{};
        EXPECT_TRUE(devhost::LoadPlugin(dll, &plugin)) << GetLastError();
        if (plugin.handler != nullptr) {
            EXPECT_EQ(1, plugin.handler(TS_EVENT_INITIALIZE, 1, reinterpret_cast<uint64_t>(devhost::Table()), 0));
            EXPECT_EQ(1, PluginWindows()) << "the hidden window";
        }
        return plugin;
    }

    std::vector<std::wstring> ids_;
};

TEST_F(LifecycleTest, ShutDownFromAnotherThreadLeavesNoCodeToReturnInto) {
    // Event 3 comes from another thread while this one reads no messages; the host frees
    // the DLL at once; then this thread reads its queue again, and is held up for a moment
    // just after the window's last message, still inside the window's procedure.
    devhost::Plugin plugin = Start(CopyOfDll(L"return-into"));
    ASSERT_NE(nullptr, plugin.handler);
    HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROCRET, PauseAfterLastMessage, nullptr, GetCurrentThreadId());
    ASSERT_NE(nullptr, hook);
    EXPECT_EQ(1, EventFromThreadWhileDeaf(plugin.handler, TS_EVENT_SHUTDOWN));
    const HMODULE module = plugin.module;
    devhost::UnloadPlugin(&plugin);
    EXPECT_TRUE(devhost::PumpUntil([] { return PluginWindows() == 0; }, 5000))
        << PluginWindows() << " window(s) of the plug-in left";
    UnhookWindowsHookEx(hook);
    // The window's thread could not be reached in time, so the module stayed for good.
    EXPECT_TRUE(devhost::ModuleMapped(module)) << "unloaded although code of it may still run";
}

TEST_F(LifecycleTest, TheClassGoesWithItsWindowAndAnEarlierImagesClassIsNotUsed) {
    const std::wstring dll = CopyOfDll(L"class");
    // Shut down from another thread while this one reads its messages, as a launcher
    // unloading its plug-ins from a worker thread does.
    devhost::Plugin plugin = Start(dll);
    ASSERT_NE(nullptr, plugin.handler);
    EXPECT_EQ(1, devhost::SendEventFromThread(plugin.handler, TS_EVENT_SHUTDOWN, 0, 0));
    EXPECT_EQ(0, PluginWindows()) << "the window outlived event 3";
    const HMODULE base = plugin.module;
    devhost::UnloadPlugin(&plugin);
    EXPECT_TRUE(devhost::PumpUntil([&] { return !devhost::ModuleMapped(base); }, 5000)) << "the module stayed loaded";
    EXPECT_FALSE(ClassRegisteredFor(base)) << "the class outlived the module";

    // A class of the same name left at that address by an earlier image, whose procedure
    // is no code of the image loaded now.
    static int staleCalls;
    staleCalls = 0;
    WNDCLASSEXW stale{};
    stale.cbSize = sizeof(stale);
    stale.hInstance = base;
    stale.lpszClassName = kClass;
    stale.lpfnWndProc = [](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
        ++staleCalls;
        return DefWindowProcW(w, m, wp, lp);
    };
    ASSERT_NE(0, RegisterClassExW(&stale)) << GetLastError();
    plugin = Start(dll);
    ASSERT_NE(nullptr, plugin.handler);
    if (plugin.module != base) {
        UnregisterClassW(kClass, base);
        plugin.handler(TS_EVENT_SHUTDOWN, 0, 0, 0);
        devhost::UnloadPlugin(&plugin);
        GTEST_SKIP() << "the DLL loaded at another address this time";
    }
    EXPECT_EQ(0, staleCalls) << "the window was made with the earlier image's class";
    EXPECT_EQ(1, plugin.handler(TS_EVENT_SHUTDOWN, 0, 0, 0));
    EXPECT_FALSE(ClassRegisteredFor(base));
    devhost::UnloadPlugin(&plugin);
}

TEST_F(LifecycleTest, AReloadBeforeTheQueueIsReadLeavesNoWindowBehind) {
    const std::wstring dll = CopyOfDll(L"fast-reload");
    devhost::Plugin first = Start(dll);
    ASSERT_NE(nullptr, first.handler);
    EXPECT_EQ(1, EventFromThreadWhileDeaf(first.handler, TS_EVENT_SHUTDOWN));
    devhost::UnloadPlugin(&first);
    // Loaded and started again at once, before this thread reads its queue.
    devhost::Plugin second{};
    ASSERT_TRUE(devhost::LoadPlugin(dll, &second));
    EXPECT_EQ(1, second.handler(TS_EVENT_INITIALIZE, 1, reinterpret_cast<uint64_t>(devhost::Table()), 0));
    devhost::PumpUntil([] { return PluginWindows() <= 1; }, 3000);
    EXPECT_EQ(1, PluginWindows()) << "the first window should have gone, the second stayed";
    EXPECT_EQ(1, second.handler(TS_EVENT_SHUTDOWN, 0, 0, 0));
    const HMODULE module = second.module;
    devhost::UnloadPlugin(&second);
    EXPECT_TRUE(devhost::PumpUntil([] { return PluginWindows() == 0; }, 3000))
        << PluginWindows() << " window(s) of the plug-in left";
    EXPECT_FALSE(ClassRegisteredFor(module));
}

// The C runtime's free as the plug-in imports it, and whether the process is ending.
using FreeFn = void (*)(void*);
FreeFn g_realFree = nullptr;
std::atomic<bool> g_exiting{false};

std::atomic<int> g_freesAtExit{0};

// At exit the C runtime frees one block of its own, its table of exit functions, after
// running them; any other free is the plug-in's.
void FreeWatched(void* block) {
    if (g_exiting.load() && block != nullptr && ++g_freesAtExit > 1) {
        TerminateProcess(GetCurrentProcess(), kFreedAtExit);
    }
    g_realFree(block);
}

// Points `module`'s import of msvcrt's free at FreeWatched.
bool WatchFrees(HMODULE module) {
    auto* base = reinterpret_cast<BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); d->Name != 0; ++d) {
        if (lstrcmpiA(reinterpret_cast<const char*>(base + d->Name), "msvcrt.dll") != 0) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (lstrcmpA(reinterpret_cast<const char*>(byName->Name), "free") != 0) continue;
            DWORD old = 0;
            if (!VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), PAGE_READWRITE, &old)) return false;
            g_realFree = reinterpret_cast<FreeFn>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(&FreeWatched);
            VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), old, &old);
            return true;
        }
    }
    return false;
}

// The child of the next test: a running plug-in with settings and lists in memory, in a
// process that ends while the worker ticks. Any free the plug-in makes from here on ends
// the process with kFreedAtExit.
TEST(ProcessExitChild, EndsWithThePluginRunning) {
    if (std::getenv(kExitChildVariable) == nullptr) GTEST_SKIP() << "run by ProcessExit";
    devhost::Init();
    const std::wstring skins = MakeTempFolder(L"exit");
    devhost::SetSkinsFolder(skins);
    devhost::MakeSampleSkins(skins);
    devhost::SetSetting(1, L"SelectedSkins", L"Count", 2);
    devhost::SetSetting(1, L"SelectedSkins", L"Skin001", std::wstring(40, L'a'));
    devhost::SetSetting(1, L"SelectedSkins", L"Skin002", std::wstring(40, L'b'));
    devhost::Plugin plugin{};
    ASSERT_TRUE(devhost::LoadPlugin(reliability::PluginDllPath(), &plugin));
    ASSERT_TRUE(WatchFrees(plugin.module)) << "the plug-in imports no free";
    ASSERT_EQ(1, plugin.handler(TS_EVENT_INITIALIZE, 1, reinterpret_cast<uint64_t>(devhost::Table()), 0));
    devhost::PumpUntil([] { return false; }, 300);
    g_exiting = true;
    ExitProcess(0);
}

TEST(ProcessExit, NothingIsFreedWhenTheProcessEnds) {
    wchar_t self[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    std::wstring command = L"\"" + std::wstring(self) + L"\" --gtest_filter=ProcessExitChild.*";
    SetEnvironmentVariableA(kExitChildVariable, "1");
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION child{};
    const BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                        nullptr, &startup, &child);
    SetEnvironmentVariableA(kExitChildVariable, nullptr);
    ASSERT_TRUE(started) << GetLastError();
    const DWORD waited = WaitForSingleObject(child.hProcess, 15000);
    DWORD code = 0;
    GetExitCodeProcess(child.hProcess, &code);
    if (waited != WAIT_OBJECT_0) TerminateProcess(child.hProcess, 99);
    EXPECT_EQ(WAIT_OBJECT_0, waited) << "the process hung at its exit";
    EXPECT_NE(kFreedAtExit, code) << "the plug-in freed memory while the process was ending";
    EXPECT_EQ(0u, code) << "exit code";
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
}

}  // namespace
