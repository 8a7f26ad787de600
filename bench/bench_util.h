// What the benchmarks share: a high-resolution clock in milliseconds.
#ifndef VARNEL_BENCH_UTIL_H
#define VARNEL_BENCH_UTIL_H

#include <windows.h>

inline double NowMs() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) * 1000.0 / frequency;
}

#endif
