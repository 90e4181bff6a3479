#pragma once
// A pseudo-terminal for tests and benchmarks: the slave side stands where a
// serial port's tty would (raw, so bytes pass unchanged), the master side is
// the device at the far end of the line.

#include "platform/UniqueFd.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>

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
        const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (slave < 0)
            return false;
        m_slave.reset(slave);
        termios settings{};
        if (tcgetattr(slave, &settings) != 0)
            return false;
        cfmakeraw(&settings);
        return tcsetattr(slave, TCSANOW, &settings) == 0;
    }

    int Master() const { return m_master.get(); }
    int Slave() const { return m_slave.get(); }
    const std::string& SlavePath() const { return m_slavePath; }

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
    template <typename More>
    std::string ReadWhile(More more, int timeoutMs)
    {
        std::string got;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (more(got)) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                break;
            pollfd p{m_master.get(), POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                continue;
            char buffer[4096];
            const ssize_t n = ::read(m_master.get(), buffer, sizeof buffer);
            if (n > 0)
                got.append(buffer, static_cast<std::size_t>(n));
            else if (n == 0 || (errno != EAGAIN && errno != EINTR))
                break;
        }
        return got;
    }

    static bool WriteAllTo(int fd, const std::string& bytes)
    {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if (n < 0 && errno == EAGAIN) {
                pollfd p{fd, POLLOUT, 0};
                ::poll(&p, 1, 100);
            } else if (!(n < 0 && errno == EINTR)) {
                return false;
            }
        }
        return true;
    }

    platform::UniqueFd m_master;
    platform::UniqueFd m_slave;
    std::string m_slavePath;
};

}  // namespace testpty
