// The launcher item "Switch Skin".
//
// 1. Behaviour 0 (also when nothing is stored) advances the rotation; 1 requests the
//    item's own skin; every other value does nothing.
// 2. The item's skin is requested as specified even when allSkins does not list it;
//    with allSkins active the rotation position follows it (0 when not listed), with
//    selected skins the position is left alone.
#include "engine/item.h"

#include <string>

#include "catalog/catalog.h"
#include "engine/rotation.h"
#include "core/state.h"

void RunItemCommand(uint32_t itemId) {
    const HostServiceTable* host = AcceptedHost();
    if (host == nullptr || host->GetItemParamInt == nullptr) {
        return;
    }
    int32_t behaviour = host->GetItemParamInt(itemId, 0, 0);
    if (behaviour == 0) {
        AdvanceToNextSkin();
        return;
    }
    if (behaviour != 1 || host->GetItemParamString == nullptr) {
        return;
    }
    const wchar_t* stored = host->GetItemParamString(itemId, 0);
    if (stored == nullptr) {
        return;
    }
    std::wstring skin(stored);
    if (!SkinExists(skin)) {
        return;
    }
    if (ActiveListIsAllSkins()) {
        {
            ScopedLock guard(g_state.lock);
            g_state.targetSkin = skin;
        }
        SyncRotationIndex();
    }
    RequestSkin(skin);
}
