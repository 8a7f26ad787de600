// Every test runs under a watchdog that ends the test program, naming the test, when
// the test is still running after its limit (300 s, or VARNEL_TEST_WATCHDOG_S).
#ifndef VARNEL_TEST_WATCHDOG_H
#define VARNEL_TEST_WATCHDOG_H

#include <windows.h>

// Gives the running test `ms` from now instead; for a test that could hang forever.
void SetTestWatchdog(DWORD ms);

#endif
