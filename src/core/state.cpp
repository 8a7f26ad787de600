#include "core/state.h"

#include <new>

PluginState g_state;

void CopyBounded(wchar_t* buffer, size_t capacity, const wchar_t* text) {
    if (buffer == nullptr || capacity == 0) {
        return;
    }
    size_t n = 0;
    if (text != nullptr) {
        while (n + 1 < capacity && text[n] != L'\0') {
            buffer[n] = text[n];
            ++n;
        }
    }
    buffer[n] = L'\0';
}

void ResetPluginState() {
    // Built afresh, so that the record's own initialisers are the one list of load-time
    // values; only the module handle, set once at load, carries over.
    const HMODULE module = g_state.moduleHandle;
    g_state.~PluginState();
    new (&g_state) PluginState();
    g_state.moduleHandle = module;
}
