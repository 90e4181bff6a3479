#include "comm/DeviceWaiter.h"

#include "platform/PosixIo.h"
#include "platform/SystemError.h"

#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <climits>
#include <system_error>
#include <vector>

namespace {

constexpr std::uint32_t kFolderEvents =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF;
// No IN_CLOSE_*: our own failed attempts would wake us again and again.
constexpr std::uint32_t kNodeEvents = IN_ATTRIB | IN_DELETE_SELF;
constexpr int kMostLinks = 16;

std::string FolderOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::optional<std::string> LinkTarget(const std::string& path)
{
    std::string target(PATH_MAX, '\0');
    const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
    if (length <= 0)
        return std::nullopt;
    target.resize(static_cast<std::size_t>(length));
    if (target.front() != '/')
        target = FolderOf(path) + "/" + target;
    return target;
}

bool IsFolder(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

bool DeviceWaiter::Start(const std::string& path, Departed departed, platform::MessageTarget* owner,
                         std::string& failure)
{
    Stop();
    m_inotify.reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!m_inotify) {
        failure = platform::DescribeLastFailure("Cannot watch for the return of", path);
        return false;
    }
    m_strPath = path;
    m_departed = std::move(departed);
    m_announced.reset();
    m_pOwner = owner;
    ++m_nWait;
    m_exit.Reset();
    try {
        m_thread = std::thread([this] { Run(); });
    } catch (const std::system_error& e) {
        m_inotify.reset();
        failure = platform::DescribeFailure("Cannot start the device watch for", path, e.code().value());
        return false;
    }
    return true;
}

void DeviceWaiter::Stop()
{
    if (!m_thread.joinable())
        return;
    m_exit.Set();
    m_thread.join();
    m_inotify.reset();
    m_watchNames.clear();
}

void DeviceWaiter::Run()
{
    Rearm();
    Check(false);
    alignas(inotify_event) char buffer[8192];
    for (;;) {
        pollfd fds[2] = {{m_exit.fd(), POLLIN, 0}, {m_inotify.get(), POLLIN, 0}};
        const int ready = ::poll(fds, 2, -1);
        m_nWakeups.fetch_add(1, std::memory_order_relaxed);
        if (ready < 0 && errno != EINTR)
            return;  // nothing left to wait with; the owner still ends the wait
        if (fds[0].revents & POLLIN)
            return;
        bool relevant = false;
        bool made = false;  // an entry on the way was made anew
        for (;;) {
            const ssize_t got = platform::ReadRetry(m_inotify.get(), buffer, sizeof buffer);
            if (got <= 0)
                break;
            for (ssize_t at = 0; at < got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                if (event->mask & IN_Q_OVERFLOW) {
                    relevant = made = true;
                    continue;
                }
                const auto watch = m_watchNames.find(event->wd);
                if (watch == m_watchNames.end())
                    continue;  // a watch given up at the last re-arm
                // In a folder, only the entries on the way to the device count.
                const std::vector<std::string>& names = watch->second;
                if (event->len == 0 || std::find(names.begin(), names.end(), "") != names.end())
                    relevant = true;
                else if (std::find(names.begin(), names.end(), std::string(event->name)) != names.end()) {
                    relevant = true;
                    made = made || (event->mask & (IN_CREATE | IN_MOVED_TO)) != 0;
                }
            }
        }
        if (relevant) {
            Rearm();
            Check(made);
        }
    }
}

// Every link on the way is followed: each one's entry in its folder is
// watched, and where a folder is still missing, the nearest folder above it.
void DeviceWaiter::Rearm()
{
    std::map<int, std::vector<std::string>> watches;  // a folder may hold several entries on the way
    auto watchEntry = [&](const std::string& wanted) {
        for (int level = 0; level <= kMostLinks; ++level) {
            std::string entry = wanted;
            std::string folder = FolderOf(entry);
            while (!IsFolder(folder) && folder != "/") {
                entry = folder;
                folder = FolderOf(folder);
            }
            const int wd = ::inotify_add_watch(m_inotify.get(), folder.c_str(), kFolderEvents | IN_ONLYDIR);
            if (wd >= 0)
                watches[wd].push_back(NameOf(entry));
            // A missing folder made before its parent was watched sent no
            // event: look again one level further down.
            if (entry == wanted || !IsFolder(entry))
                return;
        }
    };
    std::string hop = m_strPath;
    for (int links = 0; links <= kMostLinks; ++links) {
        watchEntry(hop);
        struct stat info {};
        if (::lstat(hop.c_str(), &info) != 0)
            break;
        if (!S_ISLNK(info.st_mode)) {
            const int wd = ::inotify_add_watch(m_inotify.get(), hop.c_str(), kNodeEvents);
            if (wd >= 0)
                watches[wd].push_back("");
            break;
        }
        const std::optional<std::string> target = LinkTarget(hop);
        if (!target)
            break;
        hop = *target;
    }
    for (const auto& [wd, names] : m_watchNames)
        if (watches.find(wd) == watches.end())
            ::inotify_rm_watch(m_inotify.get(), wd);
    m_watchNames = std::move(watches);
}

// A node made anew counts even when it looks like the one before: a pty
// number is reused with the same inode, and its times are coarse.
void DeviceWaiter::Check(bool made)
{
    const std::optional<platform::FileIdentity> node = platform::FileIdentity::Of(m_strPath);
    if (!node || (!made && (node == m_departed.node || node == m_announced)))
        return;
    if (m_departed.link && platform::FileIdentity::OfLink(m_strPath) == m_departed.link)
        return;
    m_announced = node;
    if (m_pOwner != nullptr)
        m_pOwner->PostMessage(WM_DEVICEBACK, m_nWait, 0);
}
