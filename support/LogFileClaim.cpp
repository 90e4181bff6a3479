#include "support/LogFileClaim.h"

#include "platform/FileIdentity.h"
#include "platform/SystemError.h"
#include "support/FileNames.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>

namespace support {
namespace {

// Tries on the requested name before giving up on it. Each retry means another
// start moved the file away between our open and our lock, so a handful is
// plenty.
constexpr int kClaimAttempts = 8;
// Numbered names tried before the folder counts as full of logs.
constexpr unsigned kMaxNumber = 9999;

constexpr int kOpenFlags = O_WRONLY | O_APPEND | O_CLOEXEC | O_NOCTTY;
constexpr mode_t kFileMode = 0666;  // narrowed by the umask, as for any new file

// Never waits: a held file is a reason to look elsewhere.
bool LockExclusive(int fd) { return ::flock(fd, LOCK_EX | LOCK_NB) == 0; }

// Renames `path` to its first free numbered name; that name in `aside`.
bool MoveAside(const std::string& path, std::string& aside)
{
    for (unsigned n = 1; n <= kMaxNumber; ++n) {
        aside = NumberedName(path, n);
        if (RenameNoReplace(path, aside))
            return true;
        if (errno != EEXIST)
            return false;
    }
    errno = EEXIST;
    return false;
}

std::optional<ClaimedLog> ClaimNumbered(const std::string& path, std::string reason,
                                        std::string& failure)
{
    for (unsigned n = 1; n <= kMaxNumber; ++n) {
        std::string numbered = NumberedName(path, n);
        platform::UniqueFd fd(::open(numbered.c_str(), kOpenFlags | O_CREAT | O_EXCL, kFileMode));
        if (fd) {
            // Ours alone by O_EXCL; the lock tells later starts it is in use.
            LockExclusive(fd.get());
            return ClaimedLog{std::move(fd), std::move(numbered), {}, std::move(reason)};
        }
        if (errno != EEXIST) {
            failure = platform::DescribeLastFailure("Cannot create", numbered);
            return std::nullopt;
        }
    }
    failure = platform::DescribeFailure("Cannot create a numbered log beside", path, EEXIST);
    return std::nullopt;
}

}  // namespace

std::optional<ClaimedLog> ClaimLogFile(const std::string& path, std::string& failure)
{
    std::string setAside;
    std::string reason;
    for (int attempt = 0; attempt < kClaimAttempts; ++attempt) {
        platform::UniqueFd fd(::open(path.c_str(), kOpenFlags | O_CREAT, kFileMode));
        if (!fd) {
            failure = platform::DescribeLastFailure("Cannot open", path);
            return std::nullopt;
        }
        if (!LockExclusive(fd.get())) {
            reason = errno == EWOULDBLOCK
                         ? path + " is in use by another Kestrana"
                         : platform::DescribeLastFailure("Cannot lock", path);
            break;
        }
        const std::optional<platform::FileIdentity> mine = platform::FileIdentity::Of(fd.get());
        if (!mine) {
            failure = platform::DescribeLastFailure("Cannot examine", path);
            return std::nullopt;
        }
        const std::optional<platform::FileIdentity> there = platform::FileIdentity::Of(path);
        if (!there || !there->SameFile(*mine))
            continue;  // another start moved it aside after we opened it: look again
        if (mine->size == 0)
            return ClaimedLog{std::move(fd), path, std::move(setAside), {}};

        // An earlier run's log that no running program holds: keep it under
        // a numbered name. Where the folder forbids renaming, this run is
        // appended to it instead, which loses nothing either.
        std::string aside;
        if (!MoveAside(path, aside))
            return ClaimedLog{std::move(fd), path, {}, {}};
        setAside = std::move(aside);
        // Closing our descriptor frees the moved file; the next round creates
        // the fresh one.
    }
    if (reason.empty())
        reason = path + " kept changing while it was opened";
    std::optional<ClaimedLog> claimed = ClaimNumbered(path, std::move(reason), failure);
    if (claimed)
        claimed->setAsidePath = std::move(setAside);
    return claimed;
}

}  // namespace support
