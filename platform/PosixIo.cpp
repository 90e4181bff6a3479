#include "platform/PosixIo.h"

#include "platform/SystemError.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

ssize_t ReadRetry(int fd, void* buffer, std::size_t size)
{
    for (;;) {
        const ssize_t n = ::read(fd, buffer, size);
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

ssize_t WriteRetry(int fd, const void* data, std::size_t size)
{
    for (;;) {
        const ssize_t n = ::write(fd, data, size);
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

ssize_t WritevRetry(int fd, const iovec* pieces, int count)
{
    for (;;) {
        const ssize_t n = ::writev(fd, pieces, count);
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

bool WriteAll(int fd, const void* data, std::size_t size)
{
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = WriteRetry(fd, p, size);
        if (n < 0)
            return false;
        if (n == 0) {  // a regular file or pipe never does this; treat as no room
            errno = EIO;
            return false;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

UniqueFd OpenRegularFile(const std::string& path, std::string& failure)
{
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd) {
        const int error = errno;
        failure = DescribeFailure("Cannot open", path, error);
        errno = error;
        return fd;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        failure = DescribeLastFailure("Cannot read", path);
        return {};
    }
    if (S_ISDIR(info.st_mode)) {
        failure = DescribeFailure("Cannot read", path, EISDIR);
        return {};
    }
    if (!S_ISREG(info.st_mode)) {
        failure = DescribeFailure("Cannot read", path, std::string_view("not a regular file"));
        return {};
    }
    return fd;
}

}  // namespace platform
