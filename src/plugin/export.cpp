// The one function the launcher calls.
//
// 1. No C++ exception leaves it: one that reaches here (out of memory) becomes the
//    event's failure result, 0, except for event 1, whose answer is always the version.
#include "plugin/events.h"
#include "plugin/plugin_api.h"

extern "C" int32_t TsPluginEventHandler(uint32_t event, uint64_t param1, uint64_t param2,
                                        uint64_t param3) {
    try {
        return DispatchEvent(event, param1, param2, param3);
    } catch (...) {
        return event == TS_EVENT_DESCRIBE ? static_cast<int32_t>(TS_REQUIRED_HOST_VERSION) : 0;
    }
}
