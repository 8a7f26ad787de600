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
    reportedLate_ = false;
    reportedWorkers_ = false;
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
    std::lock_guard<std::mutex> guard(mutex_);
    if (closed_ && !reportedLate_) {
        reportedLate_ = true;
        violations_.push_back(Violation{kNoCallAfterShutdown,
                                        "slot " + std::to_string(slot) + " called by thread " + std::to_string(thread) +
                                            " " + std::to_string(devhost::ElapsedMs() - closedAt_) +
                                            " ms after event 3 returned"});
    }
    const bool workerCall = slot == TS_SLOT_GET_CURRENT_SKIN || slot == TS_SLOT_APPLY_SKIN;
    if (workerCall && own_.count(thread) == 0) {
        workers_.insert(thread);
        if (workers_.size() > 1 && !reportedWorkers_) {
            reportedWorkers_ = true;
            std::string threads;
            for (DWORD t : workers_) threads += " " + std::to_string(t);
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
