// Ground for the reliability suite: summary lines for the report script, settings
// from the environment, the process's memory, the real DLL's path, a clock the
// test can speed up or freeze, a host table that counts calls in flight, and a
// checker that follows every settings save through the host's call log.
//
// 1. Summary() prints one "RELIABILITY|<suite>|<case>|key=value|..." line to stdout;
//    scripts/reliability turns those lines into docs/RELIABILITY.md. Values never
//    hold '|' or a line break.
// 2. The save checker sees each host call on the thread that made it and keeps no
//    log of its own, so a long run does not grow the process.
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
#include "devhost/core/text_file.h"
#include "support/plugin_fixture.h"

namespace reliability {

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

// Follows settings saves through the host's log observer. Every save must come
// from one thread without another save's call between its calls, write "Count"
// equal to the number of list keys it writes (Skin001 on, in order), read and
// delete numbered keys until one reads empty, write both theme skins and end with
// one commit; at its commit the store's "SelectedSkins" section must hold exactly
// "Count" and the keys that save wrote, with the values it wrote.
class SaveChecker {
public:
    void Install();    // sets the observer (replacing any other)
    void Uninstall();  // removes it
    void OnCall(const devhost::LogEntry& entry);

    size_t Saves() const { return saves_.load(); }
    size_t SavesOnThread(DWORD threadId) const;
    size_t Faults() const { return faults_.load(); }
    std::vector<std::string> FirstFaults() const;  // up to 10 descriptions
    size_t LongestList() const { return longest_.load(); }

private:
    void Fault(const std::string& what);
    void Finish();

    mutable std::mutex mutex_;
    // The save in progress.
    bool open_ = false;
    DWORD thread_ = 0;
    enum class Stage { Ints, List, Stale, Theme, Done } stage_ = Stage::Ints;
    int ints_ = 0;
    int64_t count_ = -1;
    std::vector<std::wstring> written_;  // values of the list keys, in order
    bool staleEnded_ = false;
    int themes_ = 0;
    std::vector<std::pair<DWORD, size_t>> perThread_;
    std::vector<std::string> faultText_;
    std::atomic<size_t> saves_{0};
    std::atomic<size_t> faults_{0};
    std::atomic<size_t> longest_{0};
};

}  // namespace reliability

#endif
