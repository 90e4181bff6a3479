#pragma once
// Port event words, line error bits and the texts the engine reports for them.

#include <cstdint>
#include <string>
#include <vector>

// Port events a caller can watch (the event mask) and that the engine reports.
inline constexpr std::uint32_t EV_RXCHAR = 0x0001;   // a byte was received
inline constexpr std::uint32_t EV_RXFLAG = 0x0002;   // the flag character was received
inline constexpr std::uint32_t EV_TXEMPTY = 0x0004;  // the output queue drained
inline constexpr std::uint32_t EV_CTS = 0x0008;      // CTS changed
inline constexpr std::uint32_t EV_DSR = 0x0010;      // DSR changed
inline constexpr std::uint32_t EV_RLSD = 0x0020;     // carrier detect changed
inline constexpr std::uint32_t EV_BREAK = 0x0040;    // a break was received
inline constexpr std::uint32_t EV_ERR = 0x0080;      // a line error (frame, overrun, parity)
inline constexpr std::uint32_t EV_RING = 0x0100;     // the ring indicator changed
inline constexpr std::uint32_t kDefaultEventMask = 0x01F8;

// Line error bits, as read and cleared by ClearCommError.
inline constexpr std::uint32_t CE_RXOVER = 0x0001;
inline constexpr std::uint32_t CE_OVERRUN = 0x0002;
inline constexpr std::uint32_t CE_RXPARITY = 0x0004;
inline constexpr std::uint32_t CE_FRAME = 0x0008;
inline constexpr std::uint32_t CE_BREAK = 0x0010;
inline constexpr std::uint32_t CE_TXFULL = 0x0100;
inline constexpr std::uint32_t CE_PTO = 0x0200;
inline constexpr std::uint32_t CE_IOE = 0x0400;
inline constexpr std::uint32_t CE_DNS = 0x0800;
inline constexpr std::uint32_t CE_OOP = 0x1000;
inline constexpr std::uint32_t CE_MODE = 0x8000;

// The port's transmit-hold flags and queue counts.
struct ComStat {
    bool fCtsHold = false;
    bool fDsrHold = false;
    bool fRlsdHold = false;
    bool fXoffHold = false;
    bool fXoffSent = false;
    bool fEof = false;
    bool fTxim = false;
    std::uint32_t cbInQue = 0;
    std::uint32_t cbOutQue = 0;
};

// "EVENT: CTS DSR \r\n"; "EVENT: NULL\r\n" for a word of 0.
std::string CommEventText(std::uint32_t eventWord);
// "ERROR: FRAME \r\n"; empty when errors is 0 (nothing is reported then).
std::string LineErrorText(std::uint32_t errors);
// One text per set hold flag, then the non-empty queue counts, in reporting order.
std::vector<std::string> ComStatTexts(const ComStat& status);
