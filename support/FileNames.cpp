#include "support/FileNames.h"

#include "platform/SystemError.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace support {

bool MakeFolders(const std::string& folder, mode_t mode, std::string_view what,
                 std::string& failure)
{
    const std::string create = "Cannot create " + std::string(what);
    const std::string use = "Cannot use " + std::string(what);
    std::size_t pos = 0;
    while (pos <= folder.size()) {
        std::size_t next = folder.find('/', pos);
        if (next == std::string::npos)
            next = folder.size();
        const std::string partial = folder.substr(0, next);
        pos = next + 1;
        if (partial.empty())
            continue;
        if (::mkdir(partial.c_str(), mode) != 0 && errno != EEXIST) {
            failure = platform::DescribeLastFailure(create, partial);
            return false;
        }
    }
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) {
        failure = platform::DescribeLastFailure(use, folder);
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        failure = platform::DescribeFailure(use, folder, ENOTDIR);
        return false;
    }
    return true;
}

bool RenameNoReplace(const std::string& from, const std::string& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // link refuses an existing name as well.
    if (::link(from.c_str(), to.c_str()) != 0)
        return false;
    return ::unlink(from.c_str()) == 0;
}

std::string NumberedName(const std::string& path, unsigned n)
{
    const std::size_t slash = path.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = path.rfind('.');
    const std::string number = "." + std::to_string(n);
    // A leading dot (".log") names the file; it is not an extension.
    if (dot == std::string::npos || dot <= nameStart)
        return path + number;
    return path.substr(0, dot) + number + path.substr(dot);
}

}  // namespace support
