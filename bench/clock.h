// Monotonic time in microseconds, from the performance counter: the one clock of the
// benchmark's driver and of the floor programs that time themselves.
#pragma once

#include <windows.h>

inline double NowMicroseconds()
{
    static const double ticksPerMicrosecond = [] {
        LARGE_INTEGER frequency{};
        QueryPerformanceFrequency(&frequency);
        return static_cast<double>(frequency.QuadPart) / 1e6;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / ticksPerMicrosecond;
}
