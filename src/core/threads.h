// Threads and a window of the plug-in that keep its module loaded while they exist.
//
// 1. StartModuleThread takes a reference on the module that holds this code before
//    the thread exists, so a host that unloads the DLL right after shut-down cannot
//    pull the code from under a thread still finishing its last tick.
// 2. Every such thread ends with ExitModuleThread, which hands the reference back
//    with FreeLibraryAndExitThread: the unload then happens after its last instruction.
// 3. The hidden window holds a reference of its own (HoldModule) from its creation
//    until its last message; ReleaseModuleLater hands it back from a thread that runs
//    no code of this module, since the window's procedure cannot free the module it
//    is running in.
#ifndef VARNEL_THREADS_H
#define VARNEL_THREADS_H

#include <windows.h>

// Like CreateThread with default security and stack; null on failure.
HANDLE StartModuleThread(LPTHREAD_START_ROUTINE proc, LPVOID param, DWORD creationFlags,
                         DWORD* threadId);
[[noreturn]] void ExitModuleThread(DWORD exitCode);

// A new reference on this module, or null.
HMODULE HoldModule();
// Gives a reference back on another thread; null does nothing. Should no thread start,
// the reference is kept: the module stays loaded, which is safe.
void ReleaseModuleLater(HMODULE module);

#endif
