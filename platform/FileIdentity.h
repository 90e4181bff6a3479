#pragma once
// Which file a descriptor or path is, as stat() sees it: device, inode, size
// and the two change times. Equal identities mean nothing changed the file.

#include <sys/stat.h>

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t modifiedNs = 0;
    std::int64_t changedNs = 0;

    static FileIdentity FromStat(const struct stat& info)
    {
        return {info.st_dev, info.st_ino, info.st_size, Nanoseconds(info.st_mtim),
                Nanoseconds(info.st_ctim)};
    }
    static std::optional<FileIdentity> Of(int fd)
    {
        struct stat info {};
        if (::fstat(fd, &info) != 0)
            return std::nullopt;
        return FromStat(info);
    }
    static std::optional<FileIdentity> Of(const std::string& path)
    {
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0)
            return std::nullopt;
        return FromStat(info);
    }

    // The path itself, a symbolic link not followed.
    static std::optional<FileIdentity> OfLink(const std::string& path)
    {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0)
            return std::nullopt;
        return FromStat(info);
    }

    // Same file, whatever happened to its contents.
    bool SameFile(const FileIdentity& other) const
    {
        return device == other.device && inode == other.inode;
    }
    bool operator==(const FileIdentity&) const = default;

private:
    static std::int64_t Nanoseconds(const timespec& t)
    {
        return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
    }
};

}  // namespace platform
