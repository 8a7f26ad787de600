#include "core/state.h"

#include <new>

namespace {

// The record is built in place and never destroyed: no destructor is registered, so
// nothing of it runs at process exit, when the system has already ended the other
// threads wherever they were, perhaps in the middle of a list the record owns or
// holding the heap's lock. (Even an empty registered destructor would make the C
// runtime free its table of them at exit.)
alignas(PluginState) unsigned char g_storage[sizeof(PluginState)];

}  // namespace

PluginState& g_state = *new (g_storage) PluginState();

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

Settings CopySettings() {
    ScopedLock guard(g_state.lock);
    return g_state.settings;
}
