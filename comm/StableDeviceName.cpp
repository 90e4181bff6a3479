#include "comm/StableDeviceName.h"

#include <dirent.h>

#include <cstdlib>
#include <memory>

namespace {

std::string& Folder()
{
    static std::string folder = "/dev/serial/by-id";
    return folder;
}

std::string RealPath(const std::string& path)
{
    const std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    return real ? std::string(real.get()) : std::string();
}

}  // namespace

void SetStableNameFolder(std::string folder) { Folder() = std::move(folder); }
const std::string& StableNameFolder() { return Folder(); }

bool IsStableDeviceName(const std::string& devicePath)
{
    const std::string& folder = Folder();
    return devicePath.size() > folder.size() + 1 && devicePath.compare(0, folder.size(), folder) == 0 &&
           devicePath[folder.size()] == '/';
}

std::string StableDeviceName(const std::string& devicePath)
{
    const std::string node = RealPath(devicePath);
    if (node.empty())
        return {};
    struct CloseFolder {
        void operator()(DIR* folder) const { ::closedir(folder); }
    };
    const std::unique_ptr<DIR, CloseFolder> folder(::opendir(Folder().c_str()));
    if (!folder)
        return {};  // no USB adapter plugged in: the folder is not there
    while (const dirent* entry = ::readdir(folder.get())) {
        if (entry->d_name[0] == '.')
            continue;
        const std::string name = Folder() + "/" + entry->d_name;
        if (RealPath(name) == node)
            return name;
    }
    return {};
}
