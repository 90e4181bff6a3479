// Only the kernel's own tty header here: it clashes with <termios.h>.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include "comm/Termios2.h"

#include <cstring>

namespace {

struct StandardSpeed {
    std::uint32_t rate;
    unsigned code;
};

constexpr StandardSpeed kStandardSpeeds[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},       {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400}, {460800, B460800}, {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000},
};

static_assert(sizeof(termios2{}.c_cc) == sizeof(TtyLineState{}.cc));

}  // namespace

bool ReadTtyLineState(int fd, TtyLineState& state)
{
    termios2 t{};
    if (::ioctl(fd, TCGETS2, &t) != 0)
        return false;
    state.iflag = t.c_iflag;
    state.oflag = t.c_oflag;
    state.cflag = t.c_cflag;
    state.lflag = t.c_lflag;
    state.line = t.c_line;
    std::memcpy(state.cc, t.c_cc, sizeof state.cc);
    state.ispeed = t.c_ispeed;
    state.ospeed = t.c_ospeed;
    return true;
}

bool WriteTtyLineState(int fd, const TtyLineState& state)
{
    termios2 t{};
    t.c_iflag = state.iflag;
    t.c_oflag = state.oflag;
    t.c_cflag = state.cflag;
    t.c_lflag = state.lflag;
    t.c_line = state.line;
    std::memcpy(t.c_cc, state.cc, sizeof state.cc);
    t.c_ispeed = state.ispeed;
    t.c_ospeed = state.ospeed;
    return ::ioctl(fd, TCSETS2, &t) == 0;
}

void SetTtySpeed(TtyLineState& state, std::uint32_t bitsPerSecond)
{
    unsigned code = BOTHER;
    for (const StandardSpeed& speed : kStandardSpeeds)
        if (speed.rate == bitsPerSecond)
            code = speed.code;
    // Input speed follows the output speed (no separate input code).
    state.cflag &= ~static_cast<std::uint32_t>(CBAUD | (CBAUD << IBSHIFT));
    state.cflag |= code;
    state.ispeed = bitsPerSecond;
    state.ospeed = bitsPerSecond;
}
