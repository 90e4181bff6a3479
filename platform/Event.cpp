#include "platform/Event.h"

#include <poll.h>
#include <sys/eventfd.h>

#include <cerrno>
#include <cstdint>
#include <vector>

namespace platform {

Event::Event(ResetMode mode, bool initiallySignalled)
    : m_fd(::eventfd(initiallySignalled ? 1u : 0u, EFD_CLOEXEC | EFD_NONBLOCK)), m_mode(mode)
{
}

bool Event::Set()
{
    const std::uint64_t one = 1;
    // EAGAIN only when the counter is saturated, which still means signalled.
    return ::write(m_fd.get(), &one, sizeof one) == sizeof one || errno == EAGAIN;
}

bool Event::Reset()
{
    std::uint64_t value = 0;
    return ::read(m_fd.get(), &value, sizeof value) == sizeof value || errno == EAGAIN;
}

bool Event::TryWait()
{
    if (m_mode == ResetMode::Auto) {
        std::uint64_t value = 0;
        return ::read(m_fd.get(), &value, sizeof value) == sizeof value;
    }
    pollfd p{m_fd.get(), POLLIN, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN);
}

bool Event::Wait(std::chrono::milliseconds timeout)
{
    const WaitResult result = WaitForEvents({this}, {}, timeout);
    return result.kind == WaitResult::EventSignalled;
}

namespace {

int PollTimeout(std::chrono::steady_clock::time_point deadline, bool unlimited)
{
    if (unlimited)
        return -1;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now() + std::chrono::microseconds(999));
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

}  // namespace

WaitResult WaitForEvents(std::initializer_list<Event*> events, FdWait fdWait,
                         std::chrono::milliseconds timeout)
{
    const bool unlimited = timeout.count() < 0;
    const auto deadline = std::chrono::steady_clock::now() + (unlimited ? std::chrono::milliseconds(0) : timeout);

    std::vector<pollfd> fds;
    fds.reserve(events.size() + 1);
    for (Event* event : events)
        fds.push_back({event->fd(), POLLIN, 0});
    if (fdWait.fd >= 0)
        fds.push_back({fdWait.fd, fdWait.events, 0});

    for (;;) {
        const int ready = ::poll(fds.data(), fds.size(), PollTimeout(deadline, unlimited));
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return {WaitResult::Failed};
        }
        if (ready == 0)
            return {WaitResult::Timeout};

        int index = 0;
        for (Event* event : events) {
            if (fds[static_cast<std::size_t>(index)].revents & POLLIN) {
                // Another waiter may have taken an auto-reset event first.
                if (event->mode() == ResetMode::Manual || event->TryWait())
                    return {WaitResult::EventSignalled, index};
            }
            ++index;
        }
        if (fdWait.fd >= 0 && fds.back().revents != 0)
            return {WaitResult::FdReady, -1, fds.back().revents};
        for (pollfd& p : fds)
            p.revents = 0;
    }
}

}  // namespace platform
