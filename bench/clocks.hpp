#pragma once

#include <ctime>

// The clocks the odds benchmarks read: the process's CPU time (all its
// threads), so other work on a shared machine does not count, and the wall
// clock, what a caller waits when a term runs on two threads.

inline double cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

inline double wall_seconds() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}
