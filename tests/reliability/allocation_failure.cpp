#include "allocation_failure.h"

#include <atomic>
#include <cstdlib>
#include <new>

#include "devhost/core/devhost.h"

namespace {
std::atomic<long> g_countdown{0};  // 0: disarmed
std::atomic<bool> g_failed{false};
}  // namespace

void ArmAllocationFailure(long n) {
    g_failed = false;
    g_countdown = n;
}

bool DisarmAllocationFailure() {
    g_countdown = 0;
    return g_failed.load();
}

void* operator new(size_t size) {
    if (g_countdown.load(std::memory_order_relaxed) > 0 && !devhost::InHostCall() &&
        g_countdown.fetch_sub(1) == 1) {
        g_failed = true;
        throw std::bad_alloc();
    }
    if (void* block = std::malloc(size != 0 ? size : 1)) {
        return block;
    }
    throw std::bad_alloc();
}

void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, size_t) noexcept { std::free(block); }
