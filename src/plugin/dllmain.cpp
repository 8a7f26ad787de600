// Load-time entry of Varnel.dll: records the module handle and nothing else, since
// almost nothing is safe under the loader lock.
#include <windows.h>

#include "core/state.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_state.moduleHandle = instance;
    }
    return TRUE;
}
