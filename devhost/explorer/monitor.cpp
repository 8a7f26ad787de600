#include "devhost/explorer/monitor.h"

#include "devhost/core/devhost.h"
#include "plugin/plugin_api.h"

namespace explorer {

Monitor& TheMonitor() {
    static Monitor* monitor = new Monitor;  // never destroyed: plug-in threads may outlive main
    return *monitor;
}

void Monitor::Reset() {
    std::lock_guard<std::mutex> guard(mutex_);
    own_.clear();
    violations_.clear();
    trace_.clear();
    session_ = 0;
    closed_ = false;
    workers_.clear();
    firstSession_.clear();
    reportedLate_ = false;
    reportedWorkers_ = false;
    reportedOld_ = false;
    inFlight_ = 0;
    initThread_ = 0;
}

void Monitor::AddOwnThread(DWORD thread) {
    std::lock_guard<std::mutex> guard(mutex_);
    own_.insert(thread);
}

bool Monitor::IsOwnThread(DWORD thread) const {
    std::lock_guard<std::mutex> guard(mutex_);
    return own_.count(thread) != 0;
}

void Monitor::OnEntry(int slot, DWORD thread) {
    FILETIME created{}, exited{}, kernel{}, user{};
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);  // runs on the caller
    const ThreadKey key{thread, (static_cast<uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime};
    std::lock_guard<std::mutex> guard(mutex_);
    if (closed_ && !reportedLate_) {
        reportedLate_ = true;
        violations_.push_back(Violation{kNoCallAfterShutdown,
                                        "slot " + std::to_string(slot) + " called by thread " + std::to_string(thread) +
                                            " " + std::to_string(devhost::ElapsedMs() - closedAt_) +
                                            " ms after event 3 returned"});
    }
    if (own_.count(thread) != 0) return;
    const auto first = firstSession_.emplace(key, session_).first;
    if (first->second != session_ && !reportedOld_) {
        reportedOld_ = true;
        violations_.push_back(Violation{kNoCallAfterShutdown,
                                        "slot " + std::to_string(slot) + " called in session " + std::to_string(session_) +
                                            " by thread " + std::to_string(thread) + " of session " +
                                            std::to_string(first->second) + ", after its event 3"});
    }
    if (slot == TS_SLOT_GET_CURRENT_SKIN || slot == TS_SLOT_APPLY_SKIN) {
        workers_.insert(key);
        if (workers_.size() > 1 && !reportedWorkers_) {
            reportedWorkers_ = true;
            std::string threads;
            for (const ThreadKey& t : workers_) threads += " " + std::to_string(t.first);
            violations_.push_back(Violation{kOneWorker, "plug-in threads making worker calls in session " +
                                                            std::to_string(session_) + ":" + threads});
        }
    }
}

void Monitor::BeforeEvent(uint32_t event) {
    ++inFlight_;
    if (event != TS_EVENT_INITIALIZE) return;
    initThread_ = GetCurrentThreadId();
    std::lock_guard<std::mutex> guard(mutex_);
    ++session_;
    closed_ = false;
    workers_.clear();
    reportedWorkers_ = false;
}

void Monitor::AfterEvent(uint32_t event, int32_t /*result*/) {
    if (event == TS_EVENT_INITIALIZE) initThread_ = 0;
    if (event == TS_EVENT_SHUTDOWN) {
        std::lock_guard<std::mutex> guard(mutex_);
        closed_ = true;
        closedAt_ = devhost::ElapsedMs();
    }
    --inFlight_;
}

void Monitor::Add(const char* invariant, const std::string& detail) {
    std::lock_guard<std::mutex> guard(mutex_);
    violations_.push_back(Violation{invariant, detail});
}

std::vector<Violation> Monitor::Violations() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return violations_;
}

void Monitor::Trace(const std::string& text) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (trace_.size() < 4000) trace_.emplace_back(devhost::ElapsedMs(), text);
}

std::vector<std::pair<uint64_t, std::string>> Monitor::TraceLines() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return trace_;
}

}  // namespace explorer
