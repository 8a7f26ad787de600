// Ground for the reliability suite: summary lines for the report script, settings
// from the environment, the process's memory, the real DLL's path, a clock the
// test can speed up or freeze, and a host table that counts calls in flight.
//
// 1. Summary() prints one "RELIABILITY|<suite>|<case>|key=value|..." line to stdout;
//    scripts/reliability turns those lines into docs/RELIABILITY.md. Values never
//    hold '|' or a line break.
#ifndef VARNEL_TEST_RELIABILITY_SUPPORT_H
#define VARNEL_TEST_RELIABILITY_SUPPORT_H

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "devhost/core/devhost.h"
#include "devhost/core/save_checker.h"
#include "devhost/core/text_file.h"
#include "support/plugin_fixture.h"

namespace reliability {

// A host call the test holds, on whatever thread makes it, until the test lets go (at
// most 20 s, so that a test gone wrong does not hold the suite).
class Gate {
public:
    Gate()
        : entered_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          release_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~Gate() {
        Release();
        CloseHandle(entered_);
        CloseHandle(release_);
    }
    Gate(const Gate&) = delete;
    Gate& operator=(const Gate&) = delete;
    void Hold() {
        holder_ = GetCurrentThreadId();
        SetEvent(entered_);
        WaitForSingleObject(release_, 20000);
    }
    bool WaitEntered(DWORD ms) { return WaitForSingleObject(entered_, ms) == WAIT_OBJECT_0; }
    void Release() { SetEvent(release_); }
    DWORD Holder() const { return holder_.load(); }

private:
    HANDLE entered_;
    HANDLE release_;
    std::atomic<DWORD> holder_{0};
};

// Summary line; pairs are printed as key=value in order.
void Summary(const std::string& suite, const std::string& name,
             const std::vector<std::pair<std::string, std::string>>& pairs);

// A positive number from the environment, or `fallback`.
uint64_t EnvNumber(const char* name, uint64_t fallback);
bool EnvSet(const char* name);

// Working set and private bytes of this process, in bytes.
struct Memory {
    uint64_t workingSet;
    uint64_t privateBytes;
};
Memory ProcessMemory();

// Varnel.dll as a Windows path: VARNEL_DLL (CTest sets it), else beside the exe.
std::wstring PluginDllPath();

// The schedule's clocks: the real ones run `speed` times fast from the moment of
// Install(); Freeze() stops the monotonic one where it is. Local time may be pinned.
namespace fastclock {
void Install(int64_t speed);
void Freeze();
void PinLocal(const SYSTEMTIME& time);
void Uninstall();
}  // namespace fastclock

// devhost's table with the slots the plug-in uses wrapped: each call is counted
// while it runs, so a test can see that a thread is inside a (blocked) host call.
const HostServiceTable* CountingTable();
int CallsInFlight();
int CallsInFlight(int slot);

// The save checker lives in the development host (devhost/core/save_checker.h).
using SaveChecker = devhost::SaveChecker;

}  // namespace reliability

#endif
