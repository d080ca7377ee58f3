// Wall-clock timing for the benchmarks: the best of several rounds, in seconds.
#pragma once

#include <windows.h>

template <class Work>
double BestSeconds(int rounds, Work work) {
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    double best = 1e30;
    for (int i = 0; i < rounds; i++) {
        QueryPerformanceCounter(&start);
        work();
        QueryPerformanceCounter(&end);
        double seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
        if (seconds < best) best = seconds;
    }
    return best;
}
