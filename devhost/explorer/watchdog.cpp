#include "devhost/explorer/watchdog.h"

#include <atomic>
#include <cstdio>
#include <mutex>

namespace explorer {
namespace {

std::atomic<uint64_t> g_seed{0};
void (*g_onHang)() = nullptr;
std::atomic<uint64_t> g_deadline{0};
std::atomic<uint64_t> g_stepStart{0};
std::atomic<uint64_t> g_scheduleDeadline{0};
std::atomic<uint64_t> g_scheduleStart{0};

std::mutex& StepLock() {
    static std::mutex* mutex = new std::mutex;
    return *mutex;
}

std::string& StepText() {
    static std::string* text = new std::string;
    return *text;
}

void StepCopy(char* out, size_t capacity) {
    std::lock_guard<std::mutex> guard(StepLock());
    std::snprintf(out, capacity, "%s", StepText().c_str());
}

DWORD WINAPI WatchdogThread(LPVOID) {
    for (;;) {
        Sleep(50);
        const uint64_t deadline = g_deadline.load();
        const uint64_t whole = g_scheduleDeadline.load();
        if (whole != 0 && NowMs() > whole) {
            char step[512];
            StepCopy(step, sizeof(step));
            std::printf("HANG %llu the schedule overran its budget of %llu ms, in %s\n",
                        static_cast<unsigned long long>(g_seed.load()),
                        static_cast<unsigned long long>(whole - g_scheduleStart.load()), step);
            std::fflush(stdout);
            if (g_onHang != nullptr) g_onHang();
            TerminateProcess(GetCurrentProcess(), kExitHang);
        }
        if (deadline != 0 && NowMs() > deadline) {
            char step[512];
            StepCopy(step, sizeof(step));
            std::printf("HANG %llu %s: no end after %llu ms\n", static_cast<unsigned long long>(g_seed.load()), step,
                        static_cast<unsigned long long>(NowMs() - g_stepStart.load()));
            std::fflush(stdout);
            if (g_onHang != nullptr) g_onHang();
            TerminateProcess(GetCurrentProcess(), kExitHang);
        }
    }
}

LONG WINAPI ReportCrash(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    HMODULE module = nullptr;
    char path[MAX_PATH] = "(no module: unloaded code?)";
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           static_cast<LPCSTR>(record->ExceptionAddress), &module)) {
        GetModuleFileNameA(module, path, MAX_PATH);
        path[MAX_PATH - 1] = '\0';
    }
    const auto offset = reinterpret_cast<uintptr_t>(record->ExceptionAddress) - reinterpret_cast<uintptr_t>(module);
    char step[512];
    StepCopy(step, sizeof(step));
    std::printf("CRASH %llu exception 0x%08lx at %s+0x%llx on thread %lu during %s\n",
                static_cast<unsigned long long>(g_seed.load()), record->ExceptionCode, path,
                static_cast<unsigned long long>(offset), GetCurrentThreadId(), step);
    std::fflush(stdout);
    TerminateProcess(GetCurrentProcess(), kExitCrash);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

uint64_t NowMs() {
    static const LONGLONG frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    LARGE_INTEGER count;
    QueryPerformanceCounter(&count);
    return static_cast<uint64_t>(count.QuadPart / frequency) * 1000 +
           static_cast<uint64_t>(count.QuadPart % frequency) * 1000 / static_cast<uint64_t>(frequency);
}

void StartGuards(void (*onHang)()) {
    g_onHang = onHang;
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(ReportCrash);
    HANDLE thread = CreateThread(nullptr, 0, WatchdogThread, nullptr, 0, nullptr);
    if (thread != nullptr) CloseHandle(thread);
}

void GuardSeed(uint64_t seed) { g_seed = seed; }

void GuardSchedule(DWORD ms) {
    g_scheduleStart = NowMs();
    g_scheduleDeadline = ms == 0 ? 0 : NowMs() + ms;
}

StepGuard::StepGuard(const std::string& what, DWORD ms)
    : previousDeadline_(g_deadline.load()), previousStart_(g_stepStart.load()) {
    {
        std::lock_guard<std::mutex> guard(StepLock());
        previousText_ = StepText();
        StepText() = what;
    }
    g_stepStart = NowMs();
    g_deadline = NowMs() + ms;
}

StepGuard::~StepGuard() {
    g_deadline = 0;
    {
        std::lock_guard<std::mutex> guard(StepLock());
        StepText() = previousText_;
    }
    g_stepStart = previousStart_;
    g_deadline = previousDeadline_;
}

}  // namespace explorer
