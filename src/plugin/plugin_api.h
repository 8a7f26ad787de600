// The plug-in's one export, as the launcher calls it.
#ifndef VARNEL_PLUGIN_API_H
#define VARNEL_PLUGIN_API_H

#include <stdint.h>

#include "core/host_table.h"

#ifdef __cplusplus
extern "C" {
#endif

// Event codes the launcher sends.
#define TS_EVENT_DESCRIBE 1u
#define TS_EVENT_INITIALIZE 2u
#define TS_EVENT_SHUTDOWN 3u
#define TS_EVENT_SET_ID 4u
#define TS_EVENT_IDLE 5u
#define TS_EVENT_RUN_ITEM 7u
#define TS_EVENT_ABOUT 8u
#define TS_EVENT_SETTINGS 9u
#define TS_EVENT_ITEM_SETTINGS 10u
#define TS_EVENT_NOTIFY_FIRST 0x10001u
#define TS_EVENT_REFRESH_CAPTION 0x10007u
#define TS_EVENT_NOTIFY_LAST 0x1000Bu

typedef int32_t (*TsPluginEventHandlerFn)(uint32_t event, uint64_t param1, uint64_t param2,
                                          uint64_t param3);

int32_t TsPluginEventHandler(uint32_t event, uint64_t param1, uint64_t param2, uint64_t param3);

#ifdef __cplusplus
}
#endif

#endif
