#pragma once
// A pseudo-terminal for tests and benchmarks: the slave side stands where a
// serial port's tty would (raw, so bytes pass unchanged), the master side is
// the device at the far end of the line. Every wait is bounded.

#include "platform/UniqueFd.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

namespace testpty {

class PtyPair {
public:
    // Opens the master, and the slave too when `openSlave` (a test that
    // hands the slave's path to the engine leaves it closed).
    bool Open(bool openSlave)
    {
        const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
        if (master < 0)
            return false;
        m_master.reset(master);
        char name[128];
        if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0)
            return false;
        m_slavePath = name;
        if (!openSlave)
            return true;
        m_slave.reset(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
        termios settings{};
        if (!m_slave || tcgetattr(m_slave.get(), &settings) != 0)
            return false;
        cfmakeraw(&settings);
        return tcsetattr(m_slave.get(), TCSANOW, &settings) == 0;
    }

    int Master() const { return m_master.get(); }
    int Slave() const { return m_slave.get(); }
    const std::string& SlavePath() const { return m_slavePath; }
    // The device hangs up: the slave's calls fail with EIO from now on.
    void CloseMaster() { m_master.reset(); }

    // Called between short waits while reading or writing, e.g. to run an
    // event loop that has to move the bytes.
    void SetWhileWaiting(std::function<void()> idle) { m_idle = std::move(idle); }

    // What has reached the master until `marker` has (the marker included),
    // or until `timeoutMs` has passed.
    std::string ReadUntil(const std::string& marker, int timeoutMs = 5000)
    {
        return ReadWhile([&](const std::string& got) { return got.find(marker) == std::string::npos; },
                         timeoutMs);
    }
    // At least `count` bytes, or what came within `timeoutMs`.
    std::string ReadCount(std::size_t count, int timeoutMs = 5000)
    {
        return ReadWhile([&](const std::string& got) { return got.size() < count; }, timeoutMs);
    }

    bool WriteMaster(const std::string& bytes) { return WriteAllTo(m_master.get(), bytes); }
    bool WriteSlave(const std::string& bytes) { return WriteAllTo(m_slave.get(), bytes); }

private:
    using Clock = std::chrono::steady_clock;

    // Waits for `events` on `fd` until `end`; false once it has passed.
    bool Wait(int fd, short events, Clock::time_point end)
    {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0)
            return false;
        if (m_idle)
            m_idle();
        pollfd p{fd, events, 0};
        ::poll(&p, 1, m_idle ? 2 : static_cast<int>(std::min<long long>(left, 100)));
        return true;
    }

    template <typename More>
    std::string ReadWhile(More more, int timeoutMs)
    {
        std::string got;
        const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (more(got)) {
            char buffer[4096];
            const ssize_t n = ::read(m_master.get(), buffer, sizeof buffer);
            if (n > 0) {
                got.append(buffer, static_cast<std::size_t>(n));
                continue;
            }
            if (n < 0 && errno == EIO)  // no slave open (yet, or again soon)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            else if (n == 0 || (errno != EAGAIN && errno != EINTR))
                break;
            if (!Wait(m_master.get(), POLLIN, end))
                break;
        }
        return got;
    }

    bool WriteAllTo(int fd, const std::string& bytes)
    {
        const auto end = Clock::now() + std::chrono::seconds(20);
        for (std::size_t done = 0; done < bytes.size();) {
            const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n > 0)
                done += static_cast<std::size_t>(n);
            else if (!(n < 0 && (errno == EAGAIN || errno == EINTR)) || !Wait(fd, POLLOUT, end))
                return false;
        }
        return true;
    }

    platform::UniqueFd m_master;
    platform::UniqueFd m_slave;
    std::string m_slavePath;
    std::function<void()> m_idle;
};

// Bytes whose order, loss and repetition all show: the period is far longer
// than any block the tests send. `seed` tells blocks apart.
inline std::string Pattern(std::size_t count, std::uint32_t seed = 0)
{
    std::string bytes(count, '\0');
    for (std::size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<char>((i * 31 + seed * 7 + (i >> 8)) & 0xFF);
    return bytes;
}

}  // namespace testpty
