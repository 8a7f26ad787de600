// The child's side of a batch, and the in-process replay of one seed.
#include <windows.h>

#include <cstdio>

#include "devhost/core/devhost.h"
#include "devhost/explorer/batch.h"
#include "devhost/explorer/player.h"
#include "devhost/explorer/watchdog.h"

namespace explorer {
namespace {

// Ends at once: exit-time code must not meet a plug-in pinned or half gone.
[[noreturn]] void End(int code) {
    std::fflush(stdout);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(code));
    ExitProcess(static_cast<UINT>(code));
}

std::string OneLine(std::string text) {
    for (char& c : text) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    return text;
}

}  // namespace

int RunChild(const Options& options) {
    StartGuards();
    devhost::Init();
    Context context;
    if (!Prepare(options.dll, &context)) {
        std::printf("SETUP could not prepare the temp folder or find the DLL\n");
        End(2);
    }
    for (uint64_t seed = options.seed; seed < options.seed + options.count; ++seed) {
        GuardSeed(seed);
        std::printf("SEED %llu\n", static_cast<unsigned long long>(seed));
        std::fflush(stdout);
        const Schedule schedule = Draw(seed);
        std::string tags;
        for (const std::string& tag : Behaviours(schedule)) tags += " " + tag;
        std::printf("BEHAVIOUR %llu%s\n", static_cast<unsigned long long>(seed), tags.c_str());
        std::fflush(stdout);
        const uint64_t start = NowMs();
        const Outcome outcome = Play(schedule, context, false);
        const uint64_t took = NowMs() - start;
        for (const Violation& v : outcome.violations) {
            std::printf("VIOLATION %llu %s %s\n", static_cast<unsigned long long>(seed), v.invariant.c_str(),
                        OneLine(v.detail).c_str());
        }
        std::printf("DONE %llu %llu ms\n", static_cast<unsigned long long>(seed), static_cast<unsigned long long>(took));
        if (outcome.pinned || outcome.dirty) {
            std::printf("%s %llu\n", outcome.pinned ? "PINNED" : "DIRTY", static_cast<unsigned long long>(seed));
            std::fflush(stdout);
            End(0);  // the folder stays: a pinned copy of the DLL cannot be deleted
        }
        std::fflush(stdout);
    }
    Cleanup(context);
    End(0);
}

int Replay(const Options& options, uint64_t seed) {
    StartGuards(&PrintRun);
    devhost::Init();
    Context context;
    if (!Prepare(options.dll, &context)) {
        std::printf("could not prepare the temp folder or find the DLL\n");
        End(2);
    }
    GuardSeed(seed);
    const Outcome outcome = Play(Draw(seed), context, true);
    std::printf("%zu violation(s)%s\n", outcome.violations.size(),
                outcome.pinned ? "; the module stayed pinned, as allowed" : "");
    for (const Violation& v : outcome.violations) std::printf("VIOLATION %s: %s\n", v.invariant.c_str(), v.detail.c_str());
    if (!outcome.pinned && !outcome.dirty) Cleanup(context);
    End(outcome.violations.empty() ? 0 : 1);
}

}  // namespace explorer
