#include "plugin/threads.h"

namespace {

HMODULE CodeModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&CodeModule), &module);
    return module;
}

}  // namespace

HANDLE StartModuleThread(LPTHREAD_START_ROUTINE proc, DWORD creationFlags, DWORD* threadId) {
    HMODULE held = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(&CodeModule), &held)) {
        return nullptr;
    }
    HANDLE thread = CreateThread(nullptr, 0, proc, nullptr, creationFlags, threadId);
    if (thread == nullptr) {
        FreeLibrary(held);
    }
    return thread;
}

void ExitModuleThread(DWORD exitCode) { FreeLibraryAndExitThread(CodeModule(), exitCode); }
