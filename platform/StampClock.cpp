#include "platform/StampClock.h"

#include <ctime>
#include <mutex>

namespace platform {
namespace {

std::int64_t ReadClock(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return std::int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// Wall-clock nanoseconds minus monotonic ones, taken once.
std::int64_t WallOffset()
{
    static const std::int64_t offset = ReadClock(CLOCK_REALTIME) - ReadClock(CLOCK_MONOTONIC);
    return offset;
}

}  // namespace

std::int64_t MonotonicNs()
{
    return ReadClock(CLOCK_MONOTONIC);
}

LocalTime LocalTimeAt(std::int64_t monotonicNs)
{
    const std::int64_t wall = monotonicNs + WallOffset();
    const std::int64_t seconds = wall / 1'000'000'000;
    const int millisecond = static_cast<int>((wall % 1'000'000'000) / 1'000'000);
    // localtime_r reads the zone under a lock; stamps of one second share
    // their calendar part.
    thread_local std::int64_t cachedSecond = -1;
    thread_local LocalTime cached{};
    if (seconds != cachedSecond) {
        const auto whole = static_cast<std::time_t>(seconds);
        std::tm parts{};
        localtime_r(&whole, &parts);
        cached = {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour,
                  parts.tm_min,        parts.tm_sec,     0};
        cachedSecond = seconds;
    }
    LocalTime result = cached;
    result.millisecond = millisecond;
    return result;
}

}  // namespace platform
