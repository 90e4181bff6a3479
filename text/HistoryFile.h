#pragma once
// The one file that holds the terminal's older text: created unlinked
// (O_TMPFILE), so nothing is left behind however the program ends, in
// $XDG_CACHE_HOME/kestrana (~/.cache/kestrana) or else the temporary folder
// ($TMPDIR, /tmp). Written by one thread at its end, read by any (pread).

#include "platform/UniqueFd.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class HistoryFile {
public:
    // Opens a new history file; null with `why` set when no folder takes one.
    static std::unique_ptr<HistoryFile> Create(std::string& why);

    // Appends and says where; false with `why` when the write fails (the
    // file's end stays where it was). Each write starts on a block of its
    // own, so that discarding it gives all of its blocks back.
    bool Append(const void* data, std::size_t size, std::uint64_t& offset, std::string& why);
    // Reads exactly size bytes at offset; false with `why` otherwise.
    bool Read(std::uint64_t offset, std::size_t size, void* out, std::string& why) const;
    // Gives the disk space of an appended range back (its text was dropped).
    void Discard(std::uint64_t offset, std::uint64_t size);
    // The disk space an append of `size` bytes takes.
    static constexpr std::uint64_t kBlock = 4096;
    static constexpr std::uint64_t Footprint(std::uint64_t size) { return (size + kBlock - 1) / kBlock * kBlock; }

    std::uint64_t End() const { return m_end; }
    // The free space of the file's file system when the file was made.
    std::uint64_t FreeAtStart() const { return m_freeAtStart; }
    const std::string& Folder() const { return m_folder; }
    int Descriptor() const { return m_fd.get(); }

    // Test seam: called before every write with its size; a non-zero result
    // is the errno the write then fails with.
    static void SetWriteFault(std::function<int(std::size_t)> fault);

private:
    HistoryFile(platform::UniqueFd fd, std::string folder, std::uint64_t freeAtStart)
        : m_fd(std::move(fd)), m_folder(std::move(folder)), m_freeAtStart(freeAtStart)
    {
    }

    platform::UniqueFd m_fd;
    std::string m_folder;
    std::uint64_t m_freeAtStart;
    std::atomic<std::uint64_t> m_end{0};
};
