#include "tools/devsim/Pty.h"

#include "platform/SystemError.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>

#include <string_view>

namespace devsim {

std::optional<Pty> Pty::Open(std::string& error)
{
    auto fail = [&](const char* what, std::string_view object = {}) {
        error = platform::DescribeLastFailure(what, object);
        return std::nullopt;
    };

    Pty pty;
    pty.m_master.reset(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    if (!pty.m_master)
        return fail("posix_openpt");
    if (grantpt(pty.m_master.get()) != 0)
        return fail("grantpt");
    if (unlockpt(pty.m_master.get()) != 0)
        return fail("unlockpt");

    char name[128];
    if (ptsname_r(pty.m_master.get(), name, sizeof name) != 0)
        return fail("ptsname_r");
    pty.m_farEndPath = name;

    pty.m_farEnd.reset(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    if (!pty.m_farEnd)
        return fail("Cannot open the far end", name);

    // A fresh pty is cooked with echo; a serial line is raw.
    termios settings{};
    if (tcgetattr(pty.m_farEnd.get(), &settings) != 0)
        return fail("tcgetattr");
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    if (tcsetattr(pty.m_farEnd.get(), TCSANOW, &settings) != 0)
        return fail("tcsetattr");

    return pty;
}

}  // namespace devsim
