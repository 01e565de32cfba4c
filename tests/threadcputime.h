#pragma once

#include <ctime>

// CPU time this thread has used, in seconds: a wait that spins shows here, one that sleeps does
// not.
inline double threadCpuSeconds()
{
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}
