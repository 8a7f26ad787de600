#include "core/threads.h"

namespace {

HMODULE CodeModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&CodeModule), &module);
    return module;
}

}  // namespace

HMODULE HoldModule() {
    HMODULE held = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(&CodeModule), &held)) {
        return nullptr;
    }
    return held;
}

HANDLE StartModuleThread(LPTHREAD_START_ROUTINE proc, LPVOID param, DWORD creationFlags,
                         DWORD* threadId) {
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

void ReleaseModuleLater(HMODULE module) {
    if (module == nullptr) {
        return;
    }
    // FreeLibrary takes one pointer-sized argument, as a thread routine does, and lives
    // in kernel32: the thread runs none of this module's code.
    auto* release = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void (*)()>(&FreeLibrary));
    HANDLE thread = CreateThread(nullptr, 0, release, module, 0, nullptr);
    if (thread != nullptr) {
        CloseHandle(thread);
    }
}
