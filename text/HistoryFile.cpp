#include "text/HistoryFile.h"

#include "platform/SystemError.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace {

std::mutex g_faultMutex;
std::function<int(std::size_t)> g_fault;

std::vector<std::string> CandidateFolders()
{
    std::vector<std::string> folders;
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache != nullptr && *cache == '/')
        folders.push_back(std::string(cache) + "/kestrana");
    else if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/')
        folders.push_back(std::string(home) + "/.cache/kestrana");
    if (const char* tmp = std::getenv("TMPDIR"); tmp != nullptr && *tmp == '/')
        folders.emplace_back(tmp);
    folders.emplace_back("/tmp");
    return folders;
}

// mkdir -p for the cache folder (private to the user).
void MakeFolder(const std::string& path)
{
    for (std::size_t at = 1; at <= path.size(); ++at)
        if (at == path.size() || path[at] == '/')
            ::mkdir(path.substr(0, at).c_str(), 0700);
}

}  // namespace

std::unique_ptr<HistoryFile> HistoryFile::Create(std::string& why)
{
    std::string firstFailure;
    for (const std::string& folder : CandidateFolders()) {
        MakeFolder(folder);
        int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
            // A file system without O_TMPFILE: a named file, unlinked at once.
            std::string pattern = folder + "/kestrana-history-XXXXXX";
            fd = ::mkostemp(pattern.data(), O_CLOEXEC);
            if (fd >= 0)
                ::unlink(pattern.c_str());
        }
        if (fd >= 0) {
            struct statvfs space{};
            const std::uint64_t free =
                ::fstatvfs(fd, &space) == 0 ? std::uint64_t(space.f_bavail) * space.f_frsize : 0;
            return std::unique_ptr<HistoryFile>(new HistoryFile(platform::UniqueFd(fd), folder, free));
        }
        if (firstFailure.empty())
            firstFailure = platform::DescribeLastFailure("Cannot create a history file in", folder);
    }
    why = firstFailure;
    return nullptr;
}

bool HistoryFile::Append(const void* data, std::size_t size, std::uint64_t& offset, std::string& why)
{
    int fault = 0;
    {
        std::lock_guard lock(g_faultMutex);
        if (g_fault)
            fault = g_fault(size);
    }
    const auto* p = static_cast<const char*>(data);
    const std::uint64_t start = Footprint(m_end);
    std::size_t done = 0;
    while (fault == 0 && done < size) {
        const ssize_t n = ::pwrite(m_fd.get(), p + done, size - done, static_cast<off_t>(start + done));
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (n < 0 && errno != EINTR)
            fault = errno;
        else if (n == 0)
            fault = ENOSPC;
    }
    if (fault != 0) {
        why = platform::DescribeFailure("Cannot write the history file in", m_folder, fault);
        return false;
    }
    offset = start;
    m_end = start + size;
    return true;
}

bool HistoryFile::Read(std::uint64_t offset, std::size_t size, void* out, std::string& why) const
{
    auto* p = static_cast<char*>(out);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(m_fd.get(), p + done, size - done, static_cast<off_t>(offset + done));
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n == 0) {
            why = "The history file in " + m_folder + " was cut short";
            return false;
        } else if (errno != EINTR) {
            why = platform::DescribeLastFailure("Cannot read the history file in", m_folder);
            return false;
        }
    }
    return true;
}

void HistoryFile::Discard(std::uint64_t offset, std::uint64_t size)
{
    // Where holes cannot be punched the space comes back with the file.
    // The range's last block is its own (see Append), so it goes whole.
    ::fallocate(m_fd.get(), FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, static_cast<off_t>(offset),
                static_cast<off_t>(Footprint(size)));
}

void HistoryFile::SetWriteFault(std::function<int(std::size_t)> fault)
{
    std::lock_guard lock(g_faultMutex);
    g_fault = std::move(fault);
}
