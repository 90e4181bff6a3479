#pragma once
// Waits for a device node to come (back) without polling. One thread sleeps in
// poll() on an inotify descriptor watching the folders along the path (the
// nearest one that exists, when later folders are missing), the folder of
// every symbolic link's target, and the node itself once it exists; the
// watches are set again after each change that concerns them.
//
// The owner hears WM_DEVICEBACK when the path leads to a node worth an open
// attempt: one other than the node that went away, or the same one after its
// owner or permissions changed. What it cannot hear about (a node another
// program holds and then closes) is for the owner to retry.

#include "platform/Event.h"
#include "platform/FileIdentity.h"
#include "platform/UniqueFd.h"
#include "platform/WindowMessage.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// wParam: the number of the wait that posted it; lParam 0.
inline constexpr unsigned WM_DEVICEBACK = platform::WM_USER + 13;

class DeviceWaiter {
public:
    DeviceWaiter() = default;
    ~DeviceWaiter() { Stop(); }
    DeviceWaiter(const DeviceWaiter&) = delete;
    DeviceWaiter& operator=(const DeviceWaiter&) = delete;

    // What went away: finding it again is no return.
    struct Departed {
        std::optional<platform::FileIdentity> node;
        // Set for a link that is made anew when its device comes back (a
        // stable name, a udev rule's link, the simulator's): until it is, a
        // node at its old target is someone else, e.g. a twin adapter or
        // another pty given the old name.
        std::optional<platform::FileIdentity> link;
    };

    // Starts a new wait for `path` (any wait before it ends). False, with
    // `failure` saying why, when inotify or the thread cannot be had.
    bool Start(const std::string& path, Departed departed, platform::MessageTarget* owner, std::string& failure);
    void Stop();
    bool Waiting() const { return m_thread.joinable(); }
    // A WM_DEVICEBACK whose wParam differs from this is from an ended wait.
    std::uint64_t WaitNumber() const { return m_nWait; }
    // Times the thread has woken since it started (tests, benchmarks).
    std::uint64_t Wakeups() const { return m_nWakeups.load(std::memory_order_relaxed); }

private:
    void Run();
    void Rearm();
    // Posts when the path leads to a node not yet announced, or to one
    // `made` anew on the way.
    void Check(bool made);

    std::string m_strPath;
    Departed m_departed;
    std::optional<platform::FileIdentity> m_announced;
    platform::MessageTarget* m_pOwner = nullptr;
    std::uint64_t m_nWait = 0;
    platform::UniqueFd m_inotify;
    platform::Event m_exit{platform::ResetMode::Manual};
    // Watch -> the entries it is for ("" for the node itself).
    std::map<int, std::vector<std::string>> m_watchNames;
    std::atomic<std::uint64_t> m_nWakeups{0};
    std::thread m_thread;
};
