#pragma once
// Everything the user chooses about a port, as one value: the dialogs edit a
// copy and hand it back to the engine, which applies it.

#include "comm/CommEvents.h"

#include <cstdint>
#include <string>
#include <vector>

// Read time-outs in milliseconds. Only the interval matters here: a received
// block ends once the line has been quiet that long after its first byte.
struct CommTimeouts {
    std::uint32_t ReadIntervalTimeout;
    std::uint32_t ReadTotalTimeoutMultiplier;
    std::uint32_t ReadTotalTimeoutConstant;
    std::uint32_t WriteTotalTimeoutMultiplier;
    std::uint32_t WriteTotalTimeoutConstant;
    bool operator==(const CommTimeouts&) const = default;
};

struct PortSettings {
    std::uint32_t m_nPort = 0;  // slot - 1: 0 is COM1
    std::uint32_t m_dwBaudRate = 9600;
    std::uint8_t m_byDataBits = 8;
    std::uint8_t m_byParity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
    std::uint8_t m_byStopBits = 0;  // 0 one, 1 one and a half, 2 two
    std::uint32_t m_nRtsControl = 1;  // low 2 bits: 0 off, 1 on, 2 handshake, 3 toggle
    std::uint32_t m_nDtrControl = 1;  // low 2 bits: 0 off, 1 on, 2 handshake
    std::uint32_t m_bCtsOutFlow = 0;
    std::uint32_t m_bDsrOutFlow = 0;
    std::uint32_t m_bDsrSensitivity = 0;
    std::uint32_t m_bXonXoffOut = 0;
    std::uint32_t m_bXonXoffIn = 0;
    std::uint32_t m_bTxContinueOnXoff = 0;
    char m_chXon = 0x11;
    char m_chXoff = 0x13;
    std::uint16_t m_wXonLim = 0;
    std::uint16_t m_wXoffLim = 0;
    std::uint32_t m_dwEventMask = kDefaultEventMask;
    char m_chFlag = 0x0A;  // the event character, watched while the mask has EV_RXFLAG
    CommTimeouts m_Timeouts{1, 0, 0, 0, 0};

    bool operator==(const PortSettings&) const = default;
    // What lies outside the values a port setting has, e.g. "parity code 7";
    // empty for a usable value. What a device cannot take shows when applied.
    std::vector<std::string> Problems() const;
    // Equal in everything the tty's line state is made from (of the mask,
    // only whether the event character is watched).
    bool SameLine(const PortSettings& other) const;
};
