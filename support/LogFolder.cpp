#include "support/LogFolder.h"

#include "platform/SystemError.h"
#include "support/FileNames.h"

#include <fcntl.h>
#include <unistd.h>

namespace support {
namespace {

std::string& Storage()
{
    static std::string folder;
    return folder;
}

}  // namespace

void SetLogFolder(std::string folder) { Storage() = std::move(folder); }

const std::string& LogFolder() { return Storage(); }

std::string LogFilePath(std::string_view name)
{
    const std::string& folder = LogFolder();
    if (folder.empty())
        return std::string(name);
    std::string path = folder;
    if (path.back() != '/')
        path += '/';
    path += name;
    return path;
}

bool PrepareLogFolder(const std::string& folder, std::string& failure)
{
    if (!MakeFolders(folder, 0777, "log folder", failure))
        return false;
    // Logs are new files in it, so the folder itself must take them.
    if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
        failure = platform::DescribeLastFailure("Cannot write in log folder", folder);
        return false;
    }
    return true;
}

}  // namespace support
