// What a launcher's process holds, for the tests and benchmarks that load and unload
// the plug-in many times and check that nothing is left behind.
#include <windows.h>

#include <cstdint>
#include <vector>

#include "devhost/core/devhost.h"

namespace devhost {

int FreeTlsSlots() {
    std::vector<DWORD> taken;
    for (DWORD slot = TlsAlloc(); slot != TLS_OUT_OF_INDEXES; slot = TlsAlloc()) {
        taken.push_back(slot);
    }
    for (DWORD slot : taken) {
        TlsFree(slot);
    }
    return static_cast<int>(taken.size());
}

DWORD HandleCount() {
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count != 0) {
        return count;
    }
    // Wine answers 0 above; its handles are small multiples of 4, so they are counted
    // by asking after each value in turn.
    for (uintptr_t value = 4; value < 0x10000; value += 4) {
        DWORD flags = 0;
        count += GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) ? 1 : 0;
    }
    return count;
}

int64_t HeapBytesInUse() {
    std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr) + 16);
    heaps.resize(GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data()));
    int64_t total = 0;
    for (HANDLE heap : heaps) {
        if (!HeapLock(heap)) {
            continue;
        }
        PROCESS_HEAP_ENTRY entry{};
        while (HeapWalk(heap, &entry)) {
            if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0) {
                total += static_cast<int64_t>(entry.cbData);
            }
        }
        HeapUnlock(heap);
    }
    return total;
}

}  // namespace devhost
