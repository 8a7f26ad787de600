// What the explorer watches while a schedule plays: the host calls as they begin, the
// events as they enter and leave the plug-in, and which threads are the host's own.
//
// 1. OnEntry runs on the thread that begins a host call, before the host pauses,
//    holds or marshals it, so "begun" means the moment the plug-in called.
// 2. A host call begun after event 3 returned and before the next event 2 began is a
//    violation, and so is one made in a later session by a plug-in thread that made
//    calls in an earlier one (a worker held across a fast reload); so is a second
//    plug-in thread making worker calls (GetCurrentSkin, ApplySkin) in one session
//    (from one event 2 to the next). Threads are told apart by id and creation time,
//    since ids are reused.
// 3. Violations and the trace are kept in memory for one schedule; Reset() clears them.
#ifndef VARNEL_EXPLORER_MONITOR_H
#define VARNEL_EXPLORER_MONITOR_H

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace explorer {

// The invariants, by the names the tallies use.
constexpr const char* kNoCrash = "1-no-crash";
constexpr const char* kNoHang = "2-no-hang";
constexpr const char* kNoCallAfterShutdown = "3-no-call-after-event-3";
constexpr const char* kSavesWhole = "4-saves-whole";
constexpr const char* kOneWorker = "5-one-worker";
constexpr const char* kNothingLeft = "6-nothing-left";
constexpr const char* kUnmapped = "7-unmapped";
constexpr const char* kInvariants[] = {kNoCrash, kNoHang, kNoCallAfterShutdown, kSavesWhole,
                                       kOneWorker, kNothingLeft, kUnmapped};

struct Violation {
    std::string invariant;
    std::string detail;
};

class Monitor {
public:
    void Reset();
    void AddOwnThread(DWORD thread);
    bool IsOwnThread(DWORD thread) const;

    void OnEntry(int slot, DWORD thread);
    // Around every call of the export; `event` 2 opens a session, 3 closes it on return.
    void BeforeEvent(uint32_t event);
    void AfterEvent(uint32_t event, int32_t result);
    int EventsInFlight() const { return inFlight_.load(); }
    DWORD InitThread() const { return initThread_.load(); }

    void Add(const char* invariant, const std::string& detail);
    std::vector<Violation> Violations() const;
    void Trace(const std::string& text);  // stamped with devhost::ElapsedMs()
    std::vector<std::pair<uint64_t, std::string>> TraceLines() const;

private:
    mutable std::mutex mutex_;
    std::set<DWORD> own_;
    std::vector<Violation> violations_;
    std::vector<std::pair<uint64_t, std::string>> trace_;
    int session_ = 0;
    bool closed_ = false;  // event 3 returned, no event 2 since
    uint64_t closedAt_ = 0;
    using ThreadKey = std::pair<DWORD, uint64_t>;  // id, creation time
    std::set<ThreadKey> workers_;  // plug-in threads making worker calls in this session
    std::map<ThreadKey, int> firstSession_;  // plug-in threads: the session of their first call
    bool reportedOld_ = false;
    bool reportedLate_ = false;
    bool reportedWorkers_ = false;
    std::atomic<int> inFlight_{0};
    std::atomic<DWORD> initThread_{0};
};

Monitor& TheMonitor();

}  // namespace explorer

#endif
