#include "text/LineFeedCount.h"

#include "platform/PosixIo.h"
#include "platform/SystemError.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace {

// Large blocks: a big image is counted in a few reads, not thousands.
constexpr std::size_t kBlockSize = 64 * 1024;

}  // namespace

std::size_t CountLineFeeds(const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    return static_cast<std::size_t>(std::count(bytes, bytes + size, static_cast<unsigned char>(0x0A)));
}

LineFeedCount CountFileLineFeeds(const std::string& path)
{
    LineFeedCount result;
    const platform::UniqueFd fd = platform::OpenRegularFile(path, result.failure);
    if (!fd)
        return result;

    std::uint64_t total = 0;
    std::vector<unsigned char> block(kBlockSize);
    for (;;) {
        const ssize_t got = platform::ReadRetry(fd.get(), block.data(), block.size());
        if (got < 0) {
            result.failure = platform::DescribeLastFailure("Cannot read", path);
            return result;
        }
        if (got == 0)
            break;
        total += CountLineFeeds(block.data(), static_cast<std::size_t>(got));
    }
    result.lineFeeds = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(total, std::numeric_limits<std::uint32_t>::max()));
    return result;
}
