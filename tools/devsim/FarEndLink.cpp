#include "tools/devsim/FarEndLink.h"

#include "platform/SystemError.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace devsim {
namespace {

// The target of the symbolic link `path`; empty when it is none.
std::string LinkTarget(const std::string& path)
{
    char buffer[4096];
    const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

}  // namespace

bool FarEndLink::Make(const std::string& path, const std::string& target, std::string& error)
{
    Remove();
    // Made under a hidden name in the same folder, then renamed over `path`:
    // a watcher of the folder sees the name appear once, and an old link is
    // never missing in between.
    const auto slash = path.rfind('/');
    const std::string temporary = path.substr(0, slash + 1) + "." + path.substr(slash + 1) +
                                  ".devsim-" + std::to_string(::getpid());
    ::unlink(temporary.c_str());  // left by a killed process with this id
    if (::symlink(target.c_str(), temporary.c_str()) != 0) {
        error = platform::DescribeLastFailure("Cannot make the link", path);
        return false;
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        error = platform::DescribeLastFailure("Cannot make the link", path);
        ::unlink(temporary.c_str());
        return false;
    }
    m_path = path;
    m_target = target;
    return true;
}

void FarEndLink::Remove()
{
    if (m_path.empty())
        return;
    // Between the check and the unlink another simulator could still take
    // the name; POSIX has no unlink-if-unchanged, and the window is tiny.
    if (LinkTarget(m_path) == m_target && ::unlink(m_path.c_str()) != 0 && errno != ENOENT)
        std::fprintf(stderr, "kestrana-devsim: %s\n",
                     platform::DescribeLastFailure("Cannot remove the link", m_path).c_str());
    m_path.clear();
}

}  // namespace devsim
