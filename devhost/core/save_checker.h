// Follows the plug-in's settings saves through the host's call log, for the tests and
// the explorer alike.
//
// 1. It sees each host call on the thread that made it and keeps no log of its own, so
//    a long run does not grow the process.
// 2. It knows the stored format (section and key names), never the plug-in's code.
#ifndef VARNEL_DEVHOST_SAVE_CHECKER_H
#define VARNEL_DEVHOST_SAVE_CHECKER_H

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "devhost/core/devhost.h"

namespace devhost {

// Follows settings saves through the host's log observer. Every save must come
// from one thread without another save's call between its calls, write "Count"
// equal to the number of list keys it writes (Skin001 on, in order), read and
// delete numbered keys until one reads empty, write both theme skins and end with
// one commit; at its commit the store's "SelectedSkins" section must hold exactly
// "Count" and the keys that save wrote, with the values it wrote.
class SaveChecker {
public:
    explicit SaveChecker(int32_t pluginId = 1) : pluginId_(pluginId) {}
    void Install();    // sets the observer (replacing any other)
    void Uninstall();  // removes it
    void OnCall(const devhost::LogEntry& entry);

    size_t Saves() const { return saves_.load(); }
    size_t SavesOnThread(DWORD threadId) const;
    size_t Faults() const { return faults_.load(); }
    std::vector<std::string> FirstFaults() const;  // up to 10 descriptions
    // At the end of a run: a save begun and never committed is a fault.
    void CheckNoneOpen();
    size_t LongestList() const { return longest_.load(); }

private:
    void Fault(const std::string& what);
    void Finish();

    const int32_t pluginId_;
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

}  // namespace devhost

#endif
