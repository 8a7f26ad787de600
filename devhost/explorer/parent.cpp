// The parent's side of a batch: children started with CreateProcessW, their lines read
// through a pipe, a child that stops reporting ended, and the tallies.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "devhost/explorer/batch.h"
#include "devhost/explorer/monitor.h"
#include "devhost/explorer/watchdog.h"

namespace explorer {
namespace {

constexpr uint64_t kSilenceMs = 40000;  // longer than any schedule's budget
constexpr size_t kPrintedViolations = 60;

struct Count {
    uint64_t schedules = 0;
    uint64_t violated = 0;
};

struct InvariantCount {
    uint64_t violated = 0;
    std::vector<uint64_t> examples;
    std::string firstDetail;
};

class Tally {
public:
    void Begin(uint64_t seed) {
        std::lock_guard<std::mutex> guard(mutex_);
        ++begun_;
        low_ = std::min(low_, seed);
        high_ = std::max(high_, seed);
    }
    // One finished schedule: completed (all checks ran) or ended by a crash or hang.
    void Finish(uint64_t seed, const std::vector<std::string>& tags, const std::vector<Violation>& found, bool completed) {
        std::lock_guard<std::mutex> guard(mutex_);
        completed_ += completed ? 1 : 0;
        std::set<std::string> kinds;
        for (const Violation& v : found) {
            if (printed_++ < kPrintedViolations) {
                std::printf("seed %llu: %s: %s\n", static_cast<unsigned long long>(seed), v.invariant.c_str(), v.detail.c_str());
                std::fflush(stdout);
            }
            if (!kinds.insert(v.invariant).second) continue;
            InvariantCount& c = invariants_[v.invariant];
            ++c.violated;
            if (c.examples.size() < 5) c.examples.push_back(seed);
            if (c.firstDetail.empty()) c.firstDetail = v.detail;
        }
        for (const std::string& tag : tags) {
            Count& c = behaviours_[tag];
            ++c.schedules;
            c.violated += found.empty() ? 0 : 1;
        }
        failed_ += found.empty() ? 0 : 1;
    }
    void Pinned() {
        std::lock_guard<std::mutex> guard(mutex_);
        ++pinned_;
    }
    int Print(double seconds) {
        std::lock_guard<std::mutex> guard(mutex_);
        std::printf("\nExplorer: %llu schedules, seeds %llu to %llu, in %.0f s; %llu with a violation; "
                    "%llu ended with the module pinned where allowed (the child then started afresh)\n\n",
                    static_cast<unsigned long long>(begun_), static_cast<unsigned long long>(begun_ ? low_ : 0),
                    static_cast<unsigned long long>(begun_ ? high_ : 0), seconds,
                    static_cast<unsigned long long>(failed_), static_cast<unsigned long long>(pinned_));
        std::printf("| Behaviour | Schedules | With a violation |\n|---|---|---|\n");
        for (const auto& b : behaviours_) {
            std::printf("| %s | %llu | %llu |\n", b.first.c_str(), static_cast<unsigned long long>(b.second.schedules),
                        static_cast<unsigned long long>(b.second.violated));
        }
        std::printf("\n| Invariant | Checked | Violated | Example seeds | First seen |\n|---|---|---|---|---|\n");
        for (const char* name : kInvariants) {
            const auto it = invariants_.find(name);
            const InvariantCount none;
            const InvariantCount& c = it != invariants_.end() ? it->second : none;
            std::string seeds;
            for (uint64_t s : c.examples) seeds += (seeds.empty() ? "" : ", ") + std::to_string(s);
            std::string detail = c.firstDetail;
            for (char& ch : detail) {
                if (ch == '|') ch = '/';
            }
            if (detail.size() > 140) detail = detail.substr(0, 140) + "...";
            const bool everyBegun = std::string(name) == kNoCrash || std::string(name) == kNoHang;
            std::printf("| %s | %llu | %llu | %s | %s |\n", name,
                        static_cast<unsigned long long>(everyBegun ? begun_ : completed_),
                        static_cast<unsigned long long>(c.violated), seeds.c_str(), detail.c_str());
        }
        std::fflush(stdout);
        return failed_ == 0 ? 0 : 1;
    }

private:
    std::mutex mutex_;
    uint64_t begun_ = 0, completed_ = 0, failed_ = 0, pinned_ = 0, printed_ = 0;
    uint64_t low_ = UINT64_MAX, high_ = 0;
    std::map<std::string, Count> behaviours_;
    std::map<std::string, InvariantCount> invariants_;
};

// One child's run: what it said about the schedule in progress.
struct ChildRun {
    Tally* tally;
    std::atomic<uint64_t> lastLine{0};
    bool inSchedule = false;
    uint64_t seed = 0;
    uint64_t next = 0;  // the first seed not finished
    std::vector<std::string> tags;
    std::vector<Violation> found;
    bool ended = false;  // a HANG or CRASH line came

    void Line(const std::string& line) {
        lastLine = NowMs();
        std::istringstream in(line);
        std::string kind;
        unsigned long long n = 0;
        in >> kind >> n;
        std::string rest;
        std::getline(in, rest);
        if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
        if (kind == "SEED") {
            inSchedule = true;
            seed = n;
            tags.clear();
            found.clear();
            tally->Begin(n);
        } else if (kind == "BEHAVIOUR") {
            std::istringstream words(rest);
            for (std::string tag; words >> tag;) tags.push_back(tag);
        } else if (kind == "VIOLATION") {
            const size_t space = rest.find(' ');
            found.push_back(Violation{rest.substr(0, space), space == std::string::npos ? "" : rest.substr(space + 1)});
        } else if (kind == "DONE") {
            tally->Finish(n, tags, found, true);
            inSchedule = false;
            next = n + 1;
        } else if (kind == "PINNED") {
            tally->Pinned();
        } else if ((kind == "HANG" || kind == "CRASH") && inSchedule) {
            found.push_back(Violation{kind == "HANG" ? kNoHang : kNoCrash, rest});
            ended = true;
        } else if (kind == "SETUP") {
            std::printf("child: %s\n", line.c_str());
        }
    }

    // The child is gone; a schedule it left unfinished is charged to its seed.
    void Gone(DWORD exitCode, bool killed) {
        if (!inSchedule) return;
        if (killed) {
            found.push_back(Violation{kNoHang, "the child stopped reporting for 40 s (killed by the parent)"});
        } else if (!ended) {
            found.push_back(Violation{kNoCrash, "the child exited with code " + std::to_string(exitCode) +
                                                    " in the middle of the schedule"});
        }
        tally->Finish(seed, tags, found, false);
        inSchedule = false;
        next = seed + 1;
    }
};

std::wstring Quote(const std::wstring& text) { return L"\"" + text + L"\""; }

// Plays seeds [first, end) in as many children as it takes. False when a child could
// not be started.
bool RunSeeds(const Options& options, uint64_t first, uint64_t end, Tally* tally) {
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    while (first < end) {
        SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
        HANDLE readEnd = nullptr;
        HANDLE writeEnd = nullptr;
        if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) return false;
        SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
        std::wstring command = Quote(exe) + L" --child --seed " + std::to_wstring(first) + L" --count " +
                               std::to_wstring(end - first) + L" --dll " + Quote(options.dll);
        STARTUPINFOW si{};
        si.cb = sizeof(si);
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        si.hStdOutput = writeEnd;
        si.hStdError = writeEnd;
        PROCESS_INFORMATION pi{};
        std::vector<wchar_t> line(command.begin(), command.end());
        line.push_back(L'\0');
        const BOOL started = CreateProcessW(exe, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
        CloseHandle(writeEnd);
        if (!started) {
            CloseHandle(readEnd);
            return false;
        }
        CloseHandle(pi.hThread);
        ChildRun run;
        run.tally = tally;
        run.next = first;
        run.lastLine = NowMs();
        std::thread reader([&run, readEnd] {
            try {
                std::string pending;
                char buffer[4096];
                DWORD got = 0;
                while (ReadFile(readEnd, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
                    pending.append(buffer, got);
                    for (size_t eol; (eol = pending.find('\n')) != std::string::npos;) {
                        std::string text = pending.substr(0, eol);
                        pending.erase(0, eol + 1);
                        if (!text.empty() && text.back() == '\r') text.pop_back();
                        run.Line(text);
                    }
                }
            } catch (...) {
                std::fputs("explorer: out of memory reading a child\n", stderr);
            }
        });
        bool killed = false;
        while (WaitForSingleObject(pi.hProcess, 500) == WAIT_TIMEOUT) {
            if (NowMs() - run.lastLine.load() > kSilenceMs) {
                TerminateProcess(pi.hProcess, kExitHang);
                WaitForSingleObject(pi.hProcess, 10000);
                killed = true;
                break;
            }
        }
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hProcess);
        reader.join();  // the pipe ends with the child
        CloseHandle(readEnd);
        run.Gone(code, killed);
        if (run.next <= first && !run.inSchedule) {
            // Nothing was played: the child cannot start; go no further.
            std::printf("a child ended (code %lu) before its first schedule\n", code);
            return false;
        }
        first = run.next;
    }
    return true;
}

}  // namespace

int RunParent(const Options& options) {
    Tally tally;
    const uint64_t start = NowMs();
    const uint64_t end = options.seed + options.count;
    std::atomic<uint64_t> nextBlock{options.seed};
    std::atomic<bool> failed{false};
    const uint64_t block = options.jobsPerChild == 0 ? 1 : options.jobsPerChild;
    std::vector<std::thread> workers;
    for (uint64_t w = 0; w < (options.parallel == 0 ? 1 : options.parallel); ++w) {
        workers.emplace_back([&] {
            try {
                for (;;) {
                    if (options.seconds != 0 && NowMs() - start > options.seconds * 1000) return;
                    const uint64_t first = nextBlock.fetch_add(block);
                    if (first >= end || failed.load()) return;
                    if (!RunSeeds(options, first, std::min(end, first + block), &tally)) {
                        failed = true;
                        return;
                    }
                }
            } catch (...) {
                failed = true;
            }
        });
    }
    for (std::thread& t : workers) t.join();
    const int result = tally.Print(static_cast<double>(NowMs() - start) / 1000.0);
    return failed.load() ? 2 : result;
}

}  // namespace explorer
