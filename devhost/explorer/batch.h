// Batches of schedules: a child process plays a run of seeds in order; the parent
// starts children, reads what they report and keeps the tallies.
//
// 1. The child prints "SEED n" (flushed) before each schedule, then "BEHAVIOUR n ...",
//    any "VIOLATION n invariant detail" and "DONE n". It ends its batch early after a
//    schedule that left the plug-in pinned or something of it behind.
// 2. A child that crashes, hangs (its watchdog's "HANG" line, or no line for 40 s, when
//    the parent ends it) or exits in the middle of a schedule charges that seed; a
//    fresh child carries on from the next seed.
// 3. The parent prints each violation as it arrives and, at the end, the tables of
//    behaviours and invariants (Markdown); it exits 1 when anything was violated.
#ifndef VARNEL_EXPLORER_BATCH_H
#define VARNEL_EXPLORER_BATCH_H

#include <cstdint>
#include <string>

namespace explorer {

struct Options {
    uint64_t seed = 1;
    uint64_t count = 1000;
    uint64_t jobsPerChild = 25;
    uint64_t seconds = 0;  // 0: no time limit
    uint64_t parallel = 1;
    std::wstring dll;
};

int RunChild(const Options& options);
int RunParent(const Options& options);
int Replay(const Options& options, uint64_t seed);

}  // namespace explorer

#endif
