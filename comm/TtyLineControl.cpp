#include "comm/TtyLineControl.h"

#include "platform/ErrorKind.h"

#include <linux/serial.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <cerrno>

namespace {

static_assert(kLineDtr == TIOCM_DTR && kLineRts == TIOCM_RTS && kLineCts == TIOCM_CTS &&
              kLineCd == TIOCM_CD && kLineRing == TIOCM_RI && kLineDsr == TIOCM_DSR);

LineResult FromErrno()
{
    // A pty and other line-less ttys refuse these requests.
    return platform::ClassifyError(errno) == platform::ErrorKind::Refused ? LineResult::Unsupported
                                                                          : LineResult::Failed;
}

class PosixTtyLineControl final : public TtyLineControl {
public:
    explicit PosixTtyLineControl(int fd) : m_fd(fd) {}

    LineResult GetModemLines(int& lines) override
    {
        return ::ioctl(m_fd, TIOCMGET, &lines) == 0 ? LineResult::Ok : FromErrno();
    }

    LineResult SetModemLines(int raise, int lower) override
    {
        if (raise != 0 && ::ioctl(m_fd, TIOCMBIS, &raise) != 0)
            return FromErrno();
        if (lower != 0 && ::ioctl(m_fd, TIOCMBIC, &lower) != 0)
            return FromErrno();
        return LineResult::Ok;
    }

    LineResult GetCounters(LineCounters& counters) override
    {
        serial_icounter_struct icount{};
        if (::ioctl(m_fd, TIOCGICOUNT, &icount) != 0)
            return FromErrno();
        counters.cts = static_cast<std::uint32_t>(icount.cts);
        counters.dsr = static_cast<std::uint32_t>(icount.dsr);
        counters.ring = static_cast<std::uint32_t>(icount.rng);
        counters.cd = static_cast<std::uint32_t>(icount.dcd);
        counters.frame = static_cast<std::uint32_t>(icount.frame);
        counters.overrun = static_cast<std::uint32_t>(icount.overrun);
        counters.parity = static_cast<std::uint32_t>(icount.parity);
        counters.brk = static_cast<std::uint32_t>(icount.brk);
        counters.bufferOverrun = static_cast<std::uint32_t>(icount.buf_overrun);
        return LineResult::Ok;
    }

    LineResult GetInputQueued(std::uint32_t& count) override
    {
        int n = 0;
        if (::ioctl(m_fd, FIONREAD, &n) != 0)
            return FromErrno();
        count = static_cast<std::uint32_t>(n);
        return LineResult::Ok;
    }

    LineResult GetOutputQueued(std::uint32_t& count) override
    {
        int n = 0;
        if (::ioctl(m_fd, TIOCOUTQ, &n) != 0)
            return FromErrno();
        count = static_cast<std::uint32_t>(n);
        return LineResult::Ok;
    }

private:
    int m_fd;
};

}  // namespace

std::unique_ptr<TtyLineControl> MakeTtyLineControl(int fd)
{
    return std::make_unique<PosixTtyLineControl>(fd);
}
