#pragma once
// Counting the line feeds (0x0A) of an S-record file. Plain POSIX reads, no
// Qt, so the count can be tested and driven on its own.

#include <cstddef>
#include <cstdint>
#include <string>

// The 0x0A bytes in a buffer.
std::size_t CountLineFeeds(const void* data, std::size_t size);

struct LineFeedCount {
    std::uint32_t lineFeeds = 0;  // saturates at the type's maximum
    std::string failure;          // empty on success; else what failed, on which file, why
    bool ok() const { return failure.empty(); }
};

// Reads the regular file at `path` to its end (not just until a short read). A file that cannot be opened
// or read, a folder, or a device gives a failure naming the file and the
// reason, and no count.
LineFeedCount CountFileLineFeeds(const std::string& path);
