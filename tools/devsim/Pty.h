#pragma once
// The simulator's side of a pseudo-terminal. The far end (the slave) is what
// a terminal opens as its serial device.
//
// The simulator keeps its own descriptor of the far end open for its whole
// life. Without it, every time the terminal closes the port the master reads
// EIO and polls POLLHUP, and the kernel resets the far end's settings, so the
// next open finds a cooked tty that echoes and edits lines until the terminal
// reconfigures it. With it, the far end stays raw and data keeps flowing across
// any number of closes and re-opens. The price: what the simulator sends while
// no terminal is attached waits in the far end's input queue (until the kernel
// buffer is full) and is read by the next terminal that opens it, unless that
// terminal flushes its input on open.

#include "platform/UniqueFd.h"

#include <optional>
#include <string>

namespace devsim {

class Pty {
public:
    // Opens a new pair with a raw far end; nullopt (and `error` set) on failure.
    static std::optional<Pty> Open(std::string& error);

    int MasterFd() const { return m_master.get(); }
    const std::string& FarEndPath() const { return m_farEndPath; }

private:
    Pty() = default;

    platform::UniqueFd m_master;   // non-blocking
    platform::UniqueFd m_farEnd;   // held open, never read
    std::string m_farEndPath;
};

}  // namespace devsim
