// Threads and a window of the plug-in that keep its module loaded while they exist.
//
// 1. StartModuleThread takes a reference on the module that holds this code before
//    the thread exists, so a host that unloads the DLL right after shut-down cannot
//    pull the code from under a thread still finishing its last tick.
// 2. Every such thread ends with ExitModuleThread, which hands the reference back
//    with FreeLibraryAndExitThread: the unload then happens after its last instruction.
// 3. No other reference is taken or dropped: a reference dropped while another thread
//    may still return into the module would unmap code under it. Where that cannot be
//    ruled out, PinModule keeps the module for the life of the process.
#ifndef VARNEL_THREADS_H
#define VARNEL_THREADS_H

#include <windows.h>

// Like CreateThread with default security and stack; null on failure.
HANDLE StartModuleThread(LPTHREAD_START_ROUTINE proc, LPVOID param, DWORD creationFlags,
                         DWORD* threadId);
[[noreturn]] void ExitModuleThread(DWORD exitCode);

// Keeps this module loaded until the process ends, whatever FreeLibrary is called.
void PinModule();

#endif
