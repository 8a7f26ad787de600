// The rotation order through the active list.
#ifndef VARNEL_ROTATION_H
#define VARNEL_ROTATION_H

#include "core/state.h"

// The list the rotation walks; call with g_state.lock held.
const SkinList& ActiveListLocked();
// True when the active list is allSkins (theme sync mode, or all skins chosen).
bool ActiveListIsAllSkins();
// Requests the next existing skin of the active list; nothing when it is empty.
void AdvanceToNextSkin();
// Puts rotationIndex on targetSkin's position in the active list.
void SyncRotationIndex();
// Requests `identifier`: sets targetSkin, calls ApplySkin, then sets switchPending.
void RequestSkin(const std::wstring& identifier);

#endif
