#pragma once
// Shared pieces of the socket tests: one QCoreApplication, a recorder of
// posted notices, and a plain blocking TCP client on 127.0.0.1 with time-outs
// on every call.

#include "platform/QtMessageWindow.h"
#include "platform/UniqueFd.h"
#include "tests/common/PtyPair.h"
#include "tests/common/QtPump.h"

#include <QCoreApplication>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace nettest {

inline QCoreApplication& QtApp()
{
    static int argc = 1;
    static char name[] = "net_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

using testpty::Pattern;
using testqt::Pump;
using testqt::PumpUntil;

struct Notice {
    platform::WPARAM code;
    platform::LPARAM lParam;
};

// An owner window that keeps every notice it is sent.
class NoticeRecorder {
public:
    explicit NoticeRecorder(unsigned message)
    {
        m_window.SetHandler(message, [this](platform::WPARAM w, platform::LPARAM l) {
            m_notices.push_back({w, l});
            return platform::LRESULT{0};
        });
    }
    platform::MessageTarget* Target() { return &m_window; }
    const std::vector<Notice>& Notices() const { return m_notices; }
    std::vector<Notice> OfCode(platform::WPARAM code) const
    {
        std::vector<Notice> found;
        std::copy_if(m_notices.begin(), m_notices.end(), std::back_inserter(found),
                     [code](const Notice& n) { return n.code == code; });
        return found;
    }
    std::size_t Count(platform::WPARAM code) const { return OfCode(code).size(); }
    void Clear() { m_notices.clear(); }

private:
    platform::QtMessageWindow m_window;
    std::vector<Notice> m_notices;
};

inline sockaddr_in Loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A port on 127.0.0.1 that nothing listens on right now.
inline int FreePort()
{
    platform::UniqueFd probe(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    if (::bind(probe.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(probe.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return -1;
    return ntohs(address.sin_port);
}

// Another program listening on `port` of 127.0.0.1; empty when that failed.
inline platform::UniqueFd ListenOn(int port)
{
    platform::UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_in address = Loopback(port);
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || ::listen(fd.get(), 1) != 0)
        fd.reset();
    return fd;
}

// Whether ::1 can be bound here (IPv6 tests are skipped where it cannot).
inline bool HasIPv6Loopback()
{
    platform::UniqueFd probe(::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    return probe && ::bind(probe.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

// A blocking client; every wait is bounded.
class TcpClient {
public:
    // `receiveBuffer` > 0 shrinks the receive buffer before connecting;
    // `host` is 127.0.0.1 or an IPv6 address such as ::1.
    bool Connect(int port, int receiveBuffer = 0, const char* host = "127.0.0.1")
    {
        sockaddr_in6 v6{};
        const bool isV6 = inet_pton(AF_INET6, host, &v6.sin6_addr) == 1;
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(static_cast<std::uint16_t>(port));
        m_fd.reset(::socket(isV6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (!m_fd)
            return false;
        if (receiveBuffer > 0)
            setsockopt(m_fd.get(), SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        // What Send hands over goes at once, not held for an earlier ACK.
        const int on = 1;
        setsockopt(m_fd.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        timeval timeout{5, 0};
        setsockopt(m_fd.get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        setsockopt(m_fd.get(), SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
        const sockaddr_in address = Loopback(port);
        return isV6 ? ::connect(m_fd.get(), reinterpret_cast<const sockaddr*>(&v6), sizeof v6) == 0
                    : ::connect(m_fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    bool Send(const std::string& bytes)
    {
        for (std::size_t done = 0; done < bytes.size();) {
            const ssize_t n = ::send(m_fd.get(), bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }
    // What is there within `timeoutMs` (may be empty).
    std::string ReadSome(int timeoutMs)
    {
        pollfd p{m_fd.get(), POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) != 1)
            return {};
        char buffer[65536];
        const ssize_t n = ::recv(m_fd.get(), buffer, sizeof buffer, 0);
        return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
    }
    // Reads until `count` bytes came, the peer closed, or `timeoutMs` passed,
    // pumping the event loop in between (the server runs on this thread).
    std::string ReadPumping(std::size_t count, int timeoutMs)
    {
        std::string got;
        ReceivePumping(timeoutMs, [&](const char* data, ssize_t n) {
            if (n > 0)
                got.append(data, static_cast<std::size_t>(n));
            return n == 0 || got.size() >= count;
        });
        return got;
    }
    // True once the peer has closed (end of stream or reset), pumping meanwhile.
    bool WaitClosedPumping(int timeoutMs)
    {
        return ReceivePumping(timeoutMs, [](const char*, ssize_t n) {
            return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
        });
    }
    // Ends with a reset instead of an orderly close.
    void Reset()
    {
        linger hard{1, 0};
        setsockopt(m_fd.get(), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        m_fd.reset();
    }
    void Close() { m_fd.reset(); }

private:
    // Hands each receive's result to `done` until it says so (true) or the
    // time is up (false).
    template <typename Done>
    bool ReceivePumping(int timeoutMs, Done done)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < end) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            pollfd p{m_fd.get(), POLLIN, 0};
            if (::poll(&p, 1, 1) != 1)
                continue;
            char buffer[65536];
            const ssize_t n = ::recv(m_fd.get(), buffer, sizeof buffer, MSG_DONTWAIT);
            if (done(buffer, n))
                return true;
        }
        return false;
    }

    platform::UniqueFd m_fd;
};

}  // namespace nettest
