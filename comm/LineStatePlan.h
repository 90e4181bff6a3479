#pragma once
// The step from the port's settings record to a tty line state: a pure
// function of the record and the state the tty holds now. It also lists the
// values no tty setting can express, so they are reported instead of being
// silently changed. Applying the result and reading it back is the engine's.

#include "comm/Termios2.h"

#include <cstdint>
#include <string>
#include <vector>

// The settings that shape the line, as the engine's record holds them.
struct LineSettingsRecord {
    std::uint32_t baudRate = 9600;
    std::uint8_t dataBits = 8;
    std::uint8_t parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
    std::uint8_t stopBits = 0;  // 0 one, 1 one and a half, 2 two
    std::uint32_t rtsControl = 1;  // low 2 bits: 0 off, 1 on, 2 handshake, 3 toggle
    std::uint32_t dtrControl = 1;  // low 2 bits: 0 off, 1 on, 2 handshake
    std::uint32_t ctsOutFlow = 0;
    std::uint32_t dsrOutFlow = 0;
    std::uint32_t dsrSensitivity = 0;
    std::uint32_t xonXoffOut = 0;
    std::uint32_t xonXoffIn = 0;
    std::uint8_t xonChar = 0x11;
    std::uint8_t xoffChar = 0x13;
    std::uint32_t eventMask = 0;
    std::uint8_t flagChar = 0x0A;
};

struct LinePlan {
    TtyLineState state;                // to be written to the tty
    std::vector<std::string> refused;  // e.g. "4 data bits", in the order the record is read
    int raiseLines = 0;                // modem lines to raise (kLineDtr, kLineRts)
    int lowerLines = 0;                // modem lines to lower
    std::uint8_t eventChar = 0;        // the flag character watched for, 0 when none
};

LinePlan PlanLineState(const LineSettingsRecord& settings, const TtyLineState& current);

// One text per value the tty did not take as asked, e.g.
// "Device did not take parity: asked Mark, has No".
std::vector<std::string> LineStateMismatches(const TtyLineState& asked, const TtyLineState& got);

// How long the line must be quiet to end a received block, in microseconds:
// the read interval, at least 1 ms, and at least one and a half character
// times at the line's speed and format.
std::uint32_t BlockQuietMicros(std::uint32_t readIntervalMs, const TtyLineState& inForce);
