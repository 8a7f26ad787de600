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
#include "core/host.h"
#include "core/state.h"

void RunItemCommand(uint32_t itemId) {
    if (!host::CanReadItemBehavior()) {
        return;
    }
    const int32_t behaviour = host::ItemParamInt(itemId, 0);
    if (behaviour == 0) {
        AdvanceToNextSkin();
        return;
    }
    std::wstring skin;
    if (behaviour != 1 || !host::ItemParamString(itemId, &skin) || !SkinExists(skin)) {
        return;
    }
    {
        std::wstring target = skin;  // copied before anything changes
        ScopedLock guard(g_state.lock);
        if (ActiveListIsAllSkinsLocked()) {
            g_state.targetSkin.swap(target);
            SyncRotationIndexLocked();
        }
    }
    RequestSkin(skin);
}
