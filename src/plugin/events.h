// Event dispatch.
//
// 1. Event 1 needs nothing but the module; events 4, 5 and the notifications
//    0x10001-0x1000B need nothing at all.
// 2. Events 7-10 and 0x10007 call the host, so they act only while a host table has
//    passed the version check; otherwise they return 1 and call nothing.
// 3. Every event is one export call (core/session.h): it acts for the session live at
//    its entry, and shut-down knows it is in progress. Initialisation and shut-down
//    are plugin/lifecycle.h's.
// 4. No C++ exception leaves the export (export.cpp).
#ifndef VARNEL_EVENTS_H
#define VARNEL_EVENTS_H

#include <cstdint>

int32_t DispatchEvent(uint32_t event, uint64_t param1, uint64_t param2, uint64_t param3);
// The low 32 bits of an event parameter as a signed id.
int32_t LowId(uint64_t param);
// The item's caption from string 120, through the host.
void RefreshCaption();

#endif
