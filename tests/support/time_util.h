// Local times for the schedule's tests.
#ifndef VARNEL_TEST_TIME_UTIL_H
#define VARNEL_TEST_TIME_UTIL_H

#include <windows.h>

#include <string>

SYSTEMTIME LocalTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second = 0,
                     WORD milliseconds = 0);
// "2026-03-10 21:15:42.250", for comparisons and assertion messages.
std::string Describe(const SYSTEMTIME& time);

#endif
