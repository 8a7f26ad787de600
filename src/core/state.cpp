#include "core/state.h"

#include <new>

namespace {

// Storage whose destructor does nothing: the C runtime runs static destructors at process
// exit too, after the system has ended the other threads wherever they were, perhaps
// holding the heap's lock or in the middle of a list the record owns.
union ImmortalState {
    ImmortalState() : value() {}
    ~ImmortalState() {}
    ImmortalState(const ImmortalState&) = delete;
    ImmortalState& operator=(const ImmortalState&) = delete;
    PluginState value;
};

ImmortalState g_storage;

}  // namespace

PluginState& g_state = g_storage.value;

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
