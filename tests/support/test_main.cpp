// Entry of every test program: the development host is set up once, as the
// launcher sets itself up before it loads plug-ins, and a watchdog ends the program
// with the name of a test that hangs. A test that crashes ends the program at once with
// its name and the faulting address: the system's debugger, started otherwise, would
// hold every thread of the program, the watchdog's included, for as long as it runs.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "devhost/core/devhost.h"
#include "support/watchdog.h"

namespace {

std::atomic<ULONGLONG> g_deadline{0};  // in NowMs() terms; 0: no test running
std::string g_testName;                // written before g_deadline, read after

// The performance counter, not the tick count: under Wine the tick count is a value the
// wineserver publishes, so a hang that stalls the server would also stop the clock the
// watchdog reads. The counter is read from the system's monotonic clock directly.
ULONGLONG NowMs() {
    static const LONGLONG frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    LARGE_INTEGER count;
    QueryPerformanceCounter(&count);
    return static_cast<ULONGLONG>(count.QuadPart / frequency) * 1000 +
           static_cast<ULONGLONG>(count.QuadPart % frequency) * 1000 / static_cast<ULONGLONG>(frequency);
}

DWORD DefaultLimitMs() {
    const char* text = std::getenv("VARNEL_TEST_WATCHDOG_S");
    const long seconds = text != nullptr ? std::strtol(text, nullptr, 10) : 0;
    return static_cast<DWORD>(seconds > 0 ? seconds : 300) * 1000;
}

class WatchdogListener : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo& info) override {
        g_testName = std::string(info.test_suite_name()) + "." + info.name();
        g_deadline = NowMs() + DefaultLimitMs();
    }
    void OnTestEnd(const ::testing::TestInfo&) override { g_deadline = 0; }
};

DWORD WINAPI WatchdogThread(LPVOID) {
    for (;;) {
        Sleep(100);
        const ULONGLONG deadline = g_deadline.load();
        if (deadline != 0 && NowMs() > deadline) {
            std::fprintf(stderr, "\nWATCHDOG: %s hung; ending the test program\n", g_testName.c_str());
            std::fflush(stderr);
            TerminateProcess(GetCurrentProcess(), 3);
        }
    }
}

// The address as module+offset, which addr2line resolves against the unstripped binary.
LONG WINAPI ReportCrash(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    HMODULE module = nullptr;
    char path[MAX_PATH] = "?";
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           static_cast<LPCSTR>(record->ExceptionAddress), &module)) {
        GetModuleFileNameA(module, path, MAX_PATH);
        path[MAX_PATH - 1] = '\0';
    }
    const auto offset = reinterpret_cast<uintptr_t>(record->ExceptionAddress) - reinterpret_cast<uintptr_t>(module);
    std::fprintf(stderr, "\nCRASH: %s: exception 0x%08lx at %s+0x%llx\n",
                 g_deadline.load() != 0 ? g_testName.c_str() : "(between tests)", record->ExceptionCode, path,
                 static_cast<unsigned long long>(offset));
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 4);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

void SetTestWatchdog(DWORD ms) { g_deadline = NowMs() + ms; }

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    SetUnhandledExceptionFilter(ReportCrash);
    ::testing::UnitTest::GetInstance()->listeners().Append(new WatchdogListener);
    HANDLE watchdog = CreateThread(nullptr, 0, WatchdogThread, nullptr, 0, nullptr);
    if (watchdog != nullptr) {
        CloseHandle(watchdog);
    }
    devhost::Init();
    const int result = RUN_ALL_TESTS();
    // The program's end is watched too: a hang in exit-time destructors would otherwise
    // hold the suite until CTest's limit and name nothing.
    g_testName = "the test program's exit";
    g_deadline = NowMs() + 60000;
    return result;
}
