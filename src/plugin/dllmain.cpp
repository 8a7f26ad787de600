// Load-time entry of Varnel.dll: records the module handle, and at an unload hands
// back what the module keeps for the life of the process. Nothing else: almost nothing
// is safe under the loader lock.
//
// 1. At an unload (FreeLibrary: `reserved` null) the session slot and the C++ runtime's
//    emergency exception pool (about 73 KiB, which the runtime frees only at process
//    exit) go back, so that a launcher reloading the plug-in loses nothing per load.
//    Every plug-in thread has ended by then: each holds a module reference.
// 2. At process exit (`reserved` non-null) nothing is freed: the system has ended the
//    other threads wherever they were, perhaps holding the heap's lock.
#include <windows.h>

#include "core/session.h"
#include "core/state.h"

namespace __gnu_cxx {  // NOLINT(bugprone-reserved-identifier): the runtime's own name
void __freeres();      // NOLINT(bugprone-reserved-identifier)
}  // namespace __gnu_cxx

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_state.moduleHandle = instance;
    } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        ReleaseSessionSlot();
        __gnu_cxx::__freeres();
    }
    return TRUE;
}
