#pragma once
// The step from the port's settings record to a tty line state: a pure
// function of the record and the state the tty holds now. It also lists the
// values no tty setting can express, so they are reported instead of being
// silently changed. Applying the result and reading it back is the engine's.

#include "comm/PortSettings.h"
#include "comm/Termios2.h"

#include <cstdint>
#include <string>
#include <vector>

struct LinePlan {
    TtyLineState state;                // to be written to the tty
    std::vector<std::string> refused;  // e.g. "4 data bits", in the order of the settings
    int raiseLines = 0;                // modem lines to raise (kLineDtr, kLineRts)
    int lowerLines = 0;                // modem lines to lower
    std::uint8_t eventChar = 0;        // the flag character watched for, 0 when none
};

LinePlan PlanLineState(const PortSettings& settings, const TtyLineState& current);

// One text per value the tty did not take as asked, e.g.
// "Device did not take parity: asked Mark, has No".
std::vector<std::string> LineStateMismatches(const TtyLineState& asked, const TtyLineState& got);

// How long the line must be quiet to end a received block, in microseconds:
// the read interval, at least 1 ms, and at least one and a half character
// times at the line's speed and format.
std::uint32_t BlockQuietMicros(std::uint32_t readIntervalMs, const TtyLineState& inForce);
