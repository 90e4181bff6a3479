#pragma once
// What every benchmark prints and measures alike: its "figure NAME VALUE
// UNIT" lines (read by people and by tools/run-benchmarks.sh callers) and the
// CPU time the process has used.

#include <time.h>

#include <cstdio>

namespace bench {

inline void Figure(const char* name, double value, const char* unit)
{
    std::printf("figure %s %.6g %s\n", name, value, unit);
    std::fflush(stdout);
}

inline double ProcessCpuSeconds()
{
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

}  // namespace bench
