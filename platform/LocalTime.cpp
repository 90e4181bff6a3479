#include "platform/LocalTime.h"

#include <ctime>
#include <mutex>

namespace platform {
namespace {
std::mutex g_clockMutex;
std::function<LocalTime()> g_source;
}  // namespace

LocalTime GetLocalTime()
{
    {
        std::lock_guard lock(g_clockMutex);
        if (g_source)
            return g_source();
    }
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::tm parts{};
    localtime_r(&now.tv_sec, &parts);
    return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour,
            parts.tm_min,        parts.tm_sec,     static_cast<int>(now.tv_nsec / 1000000)};
}

void SetLocalTimeSource(std::function<LocalTime()> source)
{
    std::lock_guard lock(g_clockMutex);
    g_source = std::move(source);
}

}  // namespace platform
