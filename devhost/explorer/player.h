// Plays one schedule against the real plug-in DLL and checks what it did.
//
// 1. The DLL is reached only through LoadLibrary, its export and the host table; the
//    explorer knows nothing of its inner workings.
// 2. The calling (UI) thread runs the schedule; events it sends from other threads are
//    sent from threads the monitor knows as the host's own.
// 3. Every wait is bounded; every step runs under the watchdog's guard, so a hang ends
//    the process naming the seed and the step.
// 4. After the last FreeLibrary the UI thread pumps its messages for up to 5 s while the
//    module unmaps; then come the checks for windows, the class, the module and saves.
#ifndef VARNEL_EXPLORER_PLAYER_H
#define VARNEL_EXPLORER_PLAYER_H

#include <windows.h>

#include <string>
#include <vector>

#include "devhost/explorer/monitor.h"
#include "devhost/explorer/schedule.h"

namespace explorer {

constexpr wchar_t kPluginClass[] = L"TesseraVarnelPluginClass";

struct Context {
    std::wstring root;  // this process's temp folder
    std::wstring dll;
    std::wstring copy;  // the DLL copied into root (empty when the copy failed)
    std::wstring skinsFolder;
    std::vector<std::wstring> skins;
};

struct Outcome {
    std::vector<Violation> violations;
    bool pinned = false;  // still mapped where a pin is allowed: later loads reuse the image
    bool dirty = false;   // something of the plug-in is left in the process
};

// Makes the temp folder with the sample skins and the DLL's copy; false on failure.
bool Prepare(const std::wstring& dll, Context* context);
void Cleanup(const Context& context);
Outcome Play(const Schedule& schedule, const Context& context, bool verbose);

bool PluginWindowLeft(DWORD* thread);
bool PluginClassRegistered(HMODULE base);
void PrintSteps(const Schedule& schedule);
void PrintRun();  // the explorer's trace and the host's call log, merged by time

}  // namespace explorer

#endif
