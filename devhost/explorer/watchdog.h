// The child's guards: a watchdog that ends the process, naming the seed and the step,
// when a step overruns its bound, and a crash filter that does the same for an
// unhandled exception on any thread.
//
// 1. Both print one line to stdout ("HANG seed ..." or "CRASH seed ..."), flush it
//    and end the process at once: no exit-time code of a half-unloaded plug-in runs.
// 2. The watchdog reads the performance counter, which keeps running when a hang
//    stalls the wineserver.
#ifndef VARNEL_EXPLORER_WATCHDOG_H
#define VARNEL_EXPLORER_WATCHDOG_H

#include <windows.h>

#include <cstdint>
#include <string>

namespace explorer {

constexpr UINT kExitHang = 5;
constexpr UINT kExitCrash = 4;

// `onHang`, when given, runs on the watchdog's thread just before it ends the process
// (the replay prints what the schedule did so far).
void StartGuards(void (*onHang)() = nullptr);
void GuardSeed(uint64_t seed);
// The whole schedule must end within `ms`; 0 disarms.
void GuardSchedule(DWORD ms);
// While it lives, the step named must end within `ms`; the step it interrupted (a
// dialog's, for an event sent from its script) is watched again once it goes.
class StepGuard {
public:
    StepGuard(const std::string& what, DWORD ms);
    ~StepGuard();
    StepGuard(const StepGuard&) = delete;
    StepGuard& operator=(const StepGuard&) = delete;

private:
    uint64_t previousDeadline_;
    uint64_t previousStart_;
    std::string previousText_;
};
uint64_t NowMs();

}  // namespace explorer

#endif
