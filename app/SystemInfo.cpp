#include "app/SystemInfo.h"

#include "resources/StringTable.h"

#include <pwd.h>
#include <sys/sysinfo.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

std::string FormatSystemText(const std::string& sysname, const std::string& release)
{
    unsigned numbers[3] = {0, 0, 0};
    int found = 0;
    const char* p = release.c_str();
    while (found < 3 && *p >= '0' && *p <= '9') {
        unsigned value = 0;
        while (*p >= '0' && *p <= '9') {
            value = value * 10 + static_cast<unsigned>(*p - '0');
            if (value > 0xFFFFFFu)  // nonsense: keep the arithmetic bounded
                return {};
            ++p;
        }
        numbers[found++] = value;
        if (*p != '.')
            break;
        ++p;
    }
    if (found == 0 || sysname.empty())
        return {};
    char text[160];
    std::snprintf(text, sizeof text, "%s version %u.%u (Build %u)", sysname.c_str(), numbers[0],
                  numbers[1], numbers[2] & 0xFFFFu);
    return text;
}

std::string SystemText()
{
    utsname names{};
    if (uname(&names) != 0)
        return {};
    return FormatSystemText(names.sysname, names.release);
}

std::string FormatMemoryText(std::uint64_t availableBytes, std::uint64_t totalBytes)
{
    char text[128];
    std::snprintf(text, sizeof text, "Memory %" PRIu64 " Bytes(Avail.) / %" PRIu64 " Bytes(Total)",
                  availableBytes, totalBytes);
    return text;
}

std::string MemoryText()
{
    struct sysinfo info{};
    if (sysinfo(&info) != 0)
        return FormatMemoryText(0, 0);
    const std::uint64_t unit = info.mem_unit == 0 ? 1 : info.mem_unit;
    const std::uint64_t total = static_cast<std::uint64_t>(info.totalram) * unit;
    std::uint64_t available =
        (static_cast<std::uint64_t>(info.freeram) + static_cast<std::uint64_t>(info.bufferram)) *
        unit;
    // MemAvailable counts reclaimable cache too: what "available" means to a user.
    std::ifstream meminfo("/proc/meminfo");
    std::string line;
    while (std::getline(meminfo, line)) {
        std::uint64_t kib = 0;
        if (std::sscanf(line.c_str(), "MemAvailable: %" SCNu64 " kB", &kib) == 1) {
            available = kib * 1024;
            break;
        }
    }
    return FormatMemoryText(available, total);
}

std::string UserName()
{
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* result = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &result) != 0 ||
        result == nullptr || result->pw_name == nullptr)
        return {};
    std::string name = result->pw_name;
    if (name.size() > 79)
        name.clear();  // does not fit the 80-character field: shown empty
    return name;
}

std::string UserText()
{
    std::string text = res::kCurrentUserFormat;
    const std::size_t at = text.find("%1");
    text.replace(at, 2, UserName());
    return text;
}
