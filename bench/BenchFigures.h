#pragma once
// What every benchmark prints and measures alike: its "figure NAME VALUE
// UNIT" lines (read by people and by tools/run-benchmarks.sh callers), the
// CPU time the process has used, and which of its parts the command line asks for.

#include <time.h>

#include <cstdio>
#include <string_view>

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

// With no arguments every part runs; otherwise only the parts named, e.g.
// while working on one of them.
inline bool PartWanted(int argc, char** argv, std::string_view part)
{
    if (argc < 2)
        return true;
    for (int i = 1; i < argc; ++i)
        if (part == argv[i])
            return true;
    return false;
}

}  // namespace bench
