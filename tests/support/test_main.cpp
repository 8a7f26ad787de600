// Entry of every test program: the development host is set up once, as the
// launcher sets itself up before it loads plug-ins, and a watchdog ends the program
// with the name of a test that hangs.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "devhost/core/devhost.h"
#include "support/watchdog.h"

namespace {

std::atomic<ULONGLONG> g_deadline{0};  // 0: no test running
std::string g_testName;                // written before g_deadline, read after

DWORD DefaultLimitMs() {
    const char* text = std::getenv("VARNEL_TEST_WATCHDOG_S");
    const long seconds = text != nullptr ? std::strtol(text, nullptr, 10) : 0;
    return static_cast<DWORD>(seconds > 0 ? seconds : 300) * 1000;
}

class WatchdogListener : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo& info) override {
        g_testName = std::string(info.test_suite_name()) + "." + info.name();
        g_deadline = GetTickCount64() + DefaultLimitMs();
    }
    void OnTestEnd(const ::testing::TestInfo&) override { g_deadline = 0; }
};

DWORD WINAPI WatchdogThread(LPVOID) {
    for (;;) {
        Sleep(100);
        const ULONGLONG deadline = g_deadline.load();
        if (deadline != 0 && GetTickCount64() > deadline) {
            std::fprintf(stderr, "\nWATCHDOG: %s hung; ending the test program\n", g_testName.c_str());
            std::fflush(stderr);
            TerminateProcess(GetCurrentProcess(), 3);
        }
    }
}

}  // namespace

void SetTestWatchdog(DWORD ms) { g_deadline = GetTickCount64() + ms; }

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new WatchdogListener);
    HANDLE watchdog = CreateThread(nullptr, 0, WatchdogThread, nullptr, 0, nullptr);
    if (watchdog != nullptr) {
        CloseHandle(watchdog);
    }
    devhost::Init();
    return RUN_ALL_TESTS();
}
