#include "plugin/events.h"

#include <windows.h>

#include "core/host.h"
#include "core/session.h"
#include "core/state.h"
#include "engine/item.h"
#include "plugin/about.h"
#include "plugin/lifecycle.h"
#include "plugin/plugin_api.h"
#include "resource.h"
#include "ui/dialogs.h"

namespace {

constexpr size_t kCaptionUnits = 256;

int32_t Dispatch(uint32_t event, uint64_t param1, uint64_t param2) {
    switch (event) {
    case TS_EVENT_DESCRIBE:
        DeliverDescription(reinterpret_cast<wchar_t*>(param1), param2);
        return static_cast<int32_t>(TS_REQUIRED_HOST_VERSION);
    case TS_EVENT_INITIALIZE:
        return InitializePlugin(param1, param2);
    case TS_EVENT_SHUTDOWN:
        return ShutdownPlugin();
    case TS_EVENT_SET_ID:
        g_state.pluginId = LowId(param1);
        return 1;
    case TS_EVENT_IDLE:
        return 1;
    case TS_EVENT_RUN_ITEM:
        if (host::Accepted() && (param2 & 1u) == 0) {
            RunItemCommand(static_cast<uint32_t>(param1));
        }
        return 1;
    case TS_EVENT_ABOUT:
        ShowAboutBox(reinterpret_cast<HWND>(param1));
        return 1;
    case TS_EVENT_SETTINGS:
        ShowMainSettingsDialog(reinterpret_cast<HWND>(param1));
        return 1;
    case TS_EVENT_ITEM_SETTINGS:
        ShowItemBehaviorDialog(reinterpret_cast<HWND>(param1), param2);
        return 1;
    case TS_EVENT_REFRESH_CAPTION:
        RefreshCaption();
        return 1;
    default:
        return (event >= TS_EVENT_NOTIFY_FIRST && event <= TS_EVENT_NOTIFY_LAST) ? 1 : 0;
    }
}

}  // namespace

int32_t LowId(uint64_t param) { return static_cast<int32_t>(static_cast<uint32_t>(param)); }

void RefreshCaption() {
    if (!host::Accepted()) {
        return;
    }
    wchar_t caption[kCaptionUnits] = {};
    host::LoadText(IDS_CAPTION, caption, kCaptionUnits);
    host::SetCaption(caption);
}

int32_t DispatchEvent(uint32_t event, uint64_t param1, uint64_t param2, uint64_t /*param3*/) {
    CallScope call;
    return Dispatch(event, param1, param2);
}
