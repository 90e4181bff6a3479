#pragma once
// read() and write() that survive signals, and a write that finishes the job.
// All return what the system call would, with errno set on failure; EINTR is
// never seen by a caller.

#include "platform/UniqueFd.h"

#include <sys/types.h>
#include <sys/uio.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

ssize_t ReadRetry(int fd, void* buffer, std::size_t size);
ssize_t WriteRetry(int fd, const void* data, std::size_t size);
ssize_t WritevRetry(int fd, const iovec* pieces, int count);

// Writes all of `data` (looping over short writes). False with errno set when
// a write fails; EAGAIN on a non-blocking descriptor counts as a failure.
bool WriteAll(int fd, const void* data, std::size_t size);
inline bool WriteAll(int fd, std::string_view data) { return WriteAll(fd, data.data(), data.size()); }

// Opens `path` for reading only when it is a regular file. The open never
// waits (O_NONBLOCK: a named pipe cannot hold the caller), and a pipe, a
// device or a folder is refused after it, since reading those may never end.
// On failure returns no descriptor, with `failure` saying what, on which file
// and why, and errno kept from a failed open (ENOENT for a missing file).
UniqueFd OpenRegularFile(const std::string& path, std::string& failure);

}  // namespace platform
