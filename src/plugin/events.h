// Event dispatch, initialisation and shut-down.
//
// 1. Event 1 needs nothing but the module; events 4, 5 and the notifications
//    0x10001-0x1000B need nothing at all.
// 2. Events 7-10 and 0x10007 call the host, so they act only while a host table has
//    passed the version check; otherwise they return 1 and call nothing.
// 3. Initialisation and shut-down run their steps in a fixed order; shut-down saves
//    nothing. Each moves the session on (see PluginState::session); after shut-down
//    no thread of the plug-in starts another host call.
// 4. Shut-down may come on any thread: a hidden window it cannot destroy there closes
//    on its own thread, holding the module until it has gone. An initialisation that
//    fails after its window exists takes everything down again.
// 5. No C++ exception leaves the export (export.cpp).
#ifndef VARNEL_EVENTS_H
#define VARNEL_EVENTS_H

#include <cstdint>

int32_t DispatchEvent(uint32_t event, uint64_t param1, uint64_t param2, uint64_t param3);
int32_t InitializePlugin(uint64_t param1, uint64_t param2);
int32_t ShutdownPlugin();

#endif
