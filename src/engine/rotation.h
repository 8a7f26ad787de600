// The rotation order through the active list.
#ifndef VARNEL_ROTATION_H
#define VARNEL_ROTATION_H

#include "core/state.h"

// The list the rotation walks; call with g_state.lock held.
const SkinList& ActiveListLocked() REQUIRES(g_state.lock);
// True when the active list is allSkins (theme sync mode, or all skins chosen).
bool ActiveListIsAllSkinsLocked() REQUIRES(g_state.lock);
// Requests the next existing skin of the active list; nothing when it is empty.
void AdvanceToNextSkin();
// Puts rotationIndex on targetSkin's position in the active list (0 when the index is out
// of range). When targetSkin is not listed, the rotation starts again at the list's first
// skin, which becomes targetSkin; nothing is requested.
void SyncRotationIndex();
void SyncRotationIndexLocked() REQUIRES(g_state.lock);
// Requests `identifier` with rotationIndex on its position in the active list, 0 when it
// is not listed; unlike SyncRotationIndex, targetSkin stays `identifier`.
void RequestSkinAtItsPosition(const std::wstring& identifier);
// Rebuilds allSkins from the Skins folder in the current session; when the whole folder
// was read and the rotation walks allSkins, resynchronises the rotation index.
void RefreshAllSkins();
// One-shot thread started at initialisation with the session number as its parameter:
// RefreshAllSkins in that session, then it ends.
DWORD WINAPI EnumerationThreadProc(LPVOID session);
// Requests `identifier`: sets targetSkin, calls ApplySkin, then sets switchPending.
void RequestSkin(const std::wstring& identifier);

#endif
