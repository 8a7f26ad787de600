// Settings: load from and save to the host's settings store.
#ifndef VARNEL_SETTINGS_H
#define VARNEL_SETTINGS_H

#include <cstddef>
#include <string>

// Reads every setting through the host into g_state.
void LoadSettings();
// Writes the whole settings record through the host, ending with CommitSettings; or,
// while another save runs, has that one write it once more before it ends, and returns
// at once. Saves from different threads never interleave, and no caller ever waits.
void SaveSettings();
// "Skin001" for position 1, "Skin1000" for position 1000.
std::wstring SelectedSkinKey(size_t position);

#endif
