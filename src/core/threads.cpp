#include "core/threads.h"

#include "core/fault_hooks.h"
#include "core/state.h"

namespace {

HMODULE CodeModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&CodeModule), &module);
    return module;
}

HMODULE HoldModule() {
    HMODULE held = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(&CodeModule), &held)) {
        return nullptr;
    }
    return held;
}

}  // namespace

HANDLE StartModuleThread(LPTHREAD_START_ROUTINE proc, LPVOID param, DWORD creationFlags,
                         DWORD* threadId) {
    if (FaultArmed(Fault::kThreadStart)) {
        return nullptr;
    }
    HMODULE held = HoldModule();
    if (held == nullptr) {
        return nullptr;
    }
    HANDLE thread = CreateThread(nullptr, 0, proc, param, creationFlags, threadId);
    if (thread == nullptr) {
        FreeLibrary(held);
    }
    return thread;
}

void ExitModuleThread(DWORD exitCode) { FreeLibraryAndExitThread(CodeModule(), exitCode); }

void PinModule() {
    HMODULE pinned = nullptr;
    if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                           reinterpret_cast<LPCWSTR>(&CodeModule), &pinned)) {
        g_state.pinned = 1;
    }
}
