#pragma once
// The seam through which the engine reaches a tty's modem lines, error
// counters and queue counts. A pseudo-terminal has no lines or counters, so
// tests put a fake UART behind a real pty through this interface.

#include <cstdint>
#include <functional>
#include <memory>

enum class LineResult {
    Ok,
    Unsupported,  // the driver has no such thing (a pty): report nothing, fail nothing
    Failed,       // a real failure (e.g. the device went away)
};

// Modem line bits (same values as the TIOCM_* bits).
inline constexpr int kLineDtr = 0x002;
inline constexpr int kLineRts = 0x004;
inline constexpr int kLineCts = 0x020;
inline constexpr int kLineCd = 0x040;
inline constexpr int kLineRing = 0x080;
inline constexpr int kLineDsr = 0x100;

// Interrupt counters since the driver started (as TIOCGICOUNT gives them).
struct LineCounters {
    std::uint32_t cts = 0, dsr = 0, ring = 0, cd = 0;
    std::uint32_t frame = 0, overrun = 0, parity = 0, brk = 0, bufferOverrun = 0;
};

class TtyLineControl {
public:
    virtual ~TtyLineControl() = default;
    virtual LineResult GetModemLines(int& lines) = 0;
    virtual LineResult SetModemLines(int raise, int lower) = 0;
    virtual LineResult GetCounters(LineCounters& counters) = 0;
    virtual LineResult GetInputQueued(std::uint32_t& count) = 0;
    virtual LineResult GetOutputQueued(std::uint32_t& count) = 0;
};

// The real thing: ioctls on the open tty. Calls are independent, so any thread may use it.
std::unique_ptr<TtyLineControl> MakeTtyLineControl(int fd);

using LineControlFactory = std::function<std::unique_ptr<TtyLineControl>(int fd)>;
