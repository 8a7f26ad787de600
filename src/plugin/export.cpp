// The one function the launcher calls.
#include "plugin/events.h"
#include "plugin/plugin_api.h"

extern "C" int32_t TsPluginEventHandler(uint32_t event, uint64_t param1, uint64_t param2,
                                        uint64_t param3) {
    return DispatchEvent(event, param1, param2, param3);
}
