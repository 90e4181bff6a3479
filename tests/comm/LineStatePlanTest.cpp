// The settings-to-line-state step on its own: no tty involved.

#include "comm/CommEvents.h"
#include "comm/LineStatePlan.h"
#include "comm/TtyLineControl.h"

#include <termios.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A fresh tty as the kernel leaves it: cooked, echoing, 38400 baud.
TtyLineState CookedTty()
{
    TtyLineState state;
    state.iflag = ICRNL | IXON | IMAXBEL | BRKINT;
    state.oflag = OPOST | ONLCR;
    state.cflag = B38400 | CS8 | CREAD | HUPCL;
    state.lflag = ISIG | ICANON | ECHO | ECHOE | ECHOK | IEXTEN;
    state.cc[VMIN] = 1;
    state.cc[VTIME] = 0;
    state.cc[VINTR] = 3;
    state.ispeed = 38400;
    state.ospeed = 38400;
    return state;
}

std::uint32_t Size(const TtyLineState& s) { return s.cflag & CSIZE; }
std::uint32_t Parity(const TtyLineState& s) { return s.cflag & (PARENB | PARODD | CMSPAR); }

}  // namespace

TEST(LineStatePlan, DefaultRecordGivesARawLine)
{
    const LinePlan plan = PlanLineState(LineSettingsRecord{}, CookedTty());
    const TtyLineState& s = plan.state;
    EXPECT_TRUE(plan.refused.empty());
    EXPECT_EQ(s.ospeed, 9600u);
    EXPECT_EQ(s.ispeed, 9600u);
    EXPECT_EQ(Size(s), static_cast<std::uint32_t>(CS8));
    EXPECT_EQ(s.cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(s.cflag & (CREAD | CLOCAL), static_cast<std::uint32_t>(CREAD | CLOCAL));
    EXPECT_TRUE(s.cflag & HUPCL);  // what the record does not speak of is kept
    EXPECT_EQ(s.iflag & (ICRNL | IXON | IXOFF | BRKINT | IMAXBEL), 0u);
    EXPECT_EQ(s.oflag & OPOST, 0u);
    EXPECT_EQ(s.lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(s.cc[VMIN], 1);
    EXPECT_EQ(s.cc[VTIME], 0);
    EXPECT_EQ(s.cc[VSTART], 0x11);
    EXPECT_EQ(s.cc[VSTOP], 0x13);
    EXPECT_EQ(plan.raiseLines, kLineDtr | kLineRts);
    EXPECT_EQ(plan.lowerLines, 0);
    EXPECT_EQ(plan.eventChar, 0);
}

TEST(LineStatePlan, EveryTableRateAndAnyOther)
{
    for (std::uint32_t rate : {110u, 300u, 600u, 1200u, 2400u, 4800u, 9600u, 14400u, 19200u, 38400u, 56000u,
                               57600u, 115200u, 128000u, 256000u, 31250u}) {
        LineSettingsRecord record;
        record.baudRate = rate;
        const LinePlan plan = PlanLineState(record, CookedTty());
        EXPECT_EQ(plan.state.ospeed, rate);
        EXPECT_EQ(plan.state.ispeed, rate);
        EXPECT_TRUE(plan.refused.empty()) << rate;
    }
    LineSettingsRecord zero;
    zero.baudRate = 0;
    const LinePlan plan = PlanLineState(zero, CookedTty());
    EXPECT_EQ(plan.state.ospeed, 38400u);  // left as it was
    EXPECT_EQ(plan.refused, std::vector<std::string>{"0 baud"});
}

TEST(LineStatePlan, DataBits)
{
    struct Case {
        std::uint8_t bits;
        std::uint32_t size;  // CSIZE in the plan
        const char* refused;
    };
    const Case cases[] = {
        {5, CS5, nullptr}, {6, CS6, nullptr}, {7, CS7, nullptr}, {8, CS8, nullptr},
        {4, CS8, "4 data bits"}, {9, CS8, "9 data bits"}, {0, CS8, "0 data bits"},
    };
    for (const Case& c : cases) {
        LineSettingsRecord record;
        record.dataBits = c.bits;
        const LinePlan plan = PlanLineState(record, CookedTty());
        EXPECT_EQ(Size(plan.state), c.size) << int(c.bits);
        if (c.refused) {
            EXPECT_EQ(plan.refused, std::vector<std::string>{c.refused});
        } else {
            EXPECT_TRUE(plan.refused.empty()) << int(c.bits);
        }
    }
}

TEST(LineStatePlan, ParityCodes)
{
    struct Case {
        std::uint8_t code;
        std::uint32_t bits;
        const char* refused;
    };
    const Case cases[] = {
        {0, 0, nullptr},
        {1, PARENB | PARODD, nullptr},
        {2, PARENB, nullptr},
        {3, PARENB | CMSPAR | PARODD, nullptr},
        {4, PARENB | CMSPAR, nullptr},
        {5, PARENB, "parity code 5"},  // unknown: the tty's own parity (even, below) stays
    };
    for (const Case& c : cases) {
        TtyLineState current = CookedTty();
        current.cflag |= PARENB;
        LineSettingsRecord record;
        record.parity = c.code;
        const LinePlan plan = PlanLineState(record, current);
        EXPECT_EQ(Parity(plan.state), c.bits) << int(c.code);
        EXPECT_EQ(plan.refused.empty(), c.refused == nullptr) << int(c.code);
        if (c.refused && !plan.refused.empty()) {
            EXPECT_EQ(plan.refused[0], c.refused);
        }
    }
}

TEST(LineStatePlan, StopBits)
{
    struct Case {
        std::uint8_t code;
        std::uint8_t dataBits;
        bool twoStopBits;  // CSTOPB in the plan
        const char* refused;
    };
    const Case cases[] = {
        {0, 8, false, nullptr},
        {2, 8, true, nullptr},
        {1, 5, true, nullptr},  // a UART's "two" is one and a half with 5-bit characters
        {1, 8, true, "1.5 stop bits with 8 data bits"},
        {1, 4, true, "1.5 stop bits with 8 data bits"},  // the size in force is the tty's
        {3, 8, true, "stop-bit code 3"},
    };
    for (const Case& c : cases) {
        TtyLineState current = CookedTty();
        current.cflag |= CSTOPB;
        LineSettingsRecord record;
        record.stopBits = c.code;
        record.dataBits = c.dataBits;
        const LinePlan plan = PlanLineState(record, current);
        EXPECT_EQ((plan.state.cflag & CSTOPB) != 0, c.twoStopBits) << int(c.code) << "/" << int(c.dataBits);
        if (c.refused) {
            ASSERT_FALSE(plan.refused.empty());
            EXPECT_EQ(plan.refused.back(), c.refused);
        } else {
            EXPECT_TRUE(plan.refused.empty());
        }
    }
}

TEST(LineStatePlan, FlowControlAndModemLines)
{
    struct Case {
        std::uint32_t rts, dtr, ctsOut, dsrOut, dsrSense, xonOut, xonIn;
        bool crtscts;
        std::uint32_t iflag;  // IXON | IXOFF part
        int raise, lower;
        std::vector<std::string> refused;
    };
    const Case cases[] = {
        {1, 1, 0, 0, 0, 0, 0, false, 0, kLineDtr | kLineRts, 0, {}},
        {0, 0, 0, 0, 0, 0, 0, false, 0, 0, kLineDtr | kLineRts, {}},
        {2, 1, 1, 0, 0, 0, 0, true, 0, kLineDtr, 0, {}},
        {1, 1, 1, 0, 0, 0, 0, true, 0, kLineDtr | kLineRts, 0, {"CTS/RTS flow control in one direction only"}},
        {2, 1, 0, 0, 0, 0, 0, true, 0, kLineDtr, 0, {"CTS/RTS flow control in one direction only"}},
        {3, 2, 0, 0, 0, 0, 0, false, 0, 0, 0, {"RTS toggle", "DTR handshake"}},
        {1, 1, 0, 1, 1, 0, 0, false, 0, kLineDtr | kLineRts, 0, {"DSR output flow control", "DSR sensitivity"}},
        {1, 1, 0, 0, 0, 1, 0, false, IXON, kLineDtr | kLineRts, 0, {}},
        {1, 1, 0, 0, 0, 0, 1, false, IXOFF, kLineDtr | kLineRts, 0, {}},
        {5, 4, 0, 0, 0, 3, 2, false, IXON, kLineRts, kLineDtr, {}},  // only the low bits count
    };
    int row = 0;
    for (const Case& c : cases) {
        LineSettingsRecord record;
        record.rtsControl = c.rts;
        record.dtrControl = c.dtr;
        record.ctsOutFlow = c.ctsOut;
        record.dsrOutFlow = c.dsrOut;
        record.dsrSensitivity = c.dsrSense;
        record.xonXoffOut = c.xonOut;
        record.xonXoffIn = c.xonIn;
        TtyLineState current = CookedTty();
        current.cflag |= CRTSCTS;  // whatever the tty had is replaced
        const LinePlan plan = PlanLineState(record, current);
        EXPECT_EQ((plan.state.cflag & CRTSCTS) != 0, c.crtscts) << "row " << row;
        EXPECT_EQ(plan.state.iflag & (IXON | IXOFF), c.iflag) << "row " << row;
        EXPECT_EQ(plan.raiseLines, c.raise) << "row " << row;
        EXPECT_EQ(plan.lowerLines, c.lower) << "row " << row;
        EXPECT_EQ(plan.refused, c.refused) << "row " << row;
        ++row;
    }
}

TEST(LineStatePlan, CharactersAndEventCharacter)
{
    LineSettingsRecord record;
    record.xonChar = 0x05;
    record.xoffChar = 0x06;
    record.flagChar = '#';
    record.eventMask = kDefaultEventMask;  // no EV_RXFLAG
    LinePlan plan = PlanLineState(record, CookedTty());
    EXPECT_EQ(plan.state.cc[VSTART], 0x05);
    EXPECT_EQ(plan.state.cc[VSTOP], 0x06);
    EXPECT_EQ(plan.eventChar, 0);
    record.eventMask = EV_RXFLAG;
    plan = PlanLineState(record, CookedTty());
    EXPECT_EQ(plan.eventChar, '#');
}

TEST(LineStatePlan, SeveralRefusalsInRecordOrder)
{
    LineSettingsRecord record;
    record.baudRate = 0;
    record.dataBits = 4;
    record.stopBits = 1;
    record.dsrSensitivity = 1;
    const LinePlan plan = PlanLineState(record, CookedTty());
    const std::vector<std::string> expected = {"0 baud", "4 data bits", "1.5 stop bits with 8 data bits",
                                               "DSR sensitivity"};
    EXPECT_EQ(plan.refused, expected);
}

TEST(LineStateMismatches, WhatTheTtyDidNotTake)
{
    LineSettingsRecord record;
    record.baudRate = 19200;
    record.parity = 3;
    record.stopBits = 2;
    record.xonXoffOut = 1;
    const TtyLineState asked = PlanLineState(record, CookedTty()).state;
    EXPECT_TRUE(LineStateMismatches(asked, asked).empty());

    struct Case {
        void (*change)(TtyLineState&);
        const char* text;
    };
    const Case cases[] = {
        {[](TtyLineState& s) { s.ospeed = 9600; }, "Device did not take baud rate: asked 19200, has 9600"},
        {[](TtyLineState& s) { s.cflag = (s.cflag & ~CSIZE) | CS7; }, "Device did not take data bits: asked 8, has 7"},
        {[](TtyLineState& s) { s.cflag &= ~(PARENB | PARODD | CMSPAR); }, "Device did not take parity: asked Mark, has No"},
        {[](TtyLineState& s) { s.cflag &= ~CMSPAR; }, "Device did not take parity: asked Mark, has Odd"},
        {[](TtyLineState& s) { s.cflag &= ~CSTOPB; }, "Device did not take stop bits: asked 2, has 1"},
        {[](TtyLineState& s) { s.cflag |= CRTSCTS; }, "Device did not take CTS/RTS flow control: asked off, has on"},
        {[](TtyLineState& s) { s.iflag &= ~IXON; }, "Device did not take XON/XOFF flow control: asked 1024, has 0"},
    };
    for (const Case& c : cases) {
        TtyLineState got = asked;
        c.change(got);
        EXPECT_EQ(LineStateMismatches(asked, got), std::vector<std::string>{c.text});
    }
}

TEST(LineStateMismatches, OddAndMarkBitsMeanNothingWithoutParity)
{
    const TtyLineState asked = PlanLineState(LineSettingsRecord{}, CookedTty()).state;
    TtyLineState got = asked;
    got.cflag |= PARODD | CMSPAR;
    EXPECT_TRUE(LineStateMismatches(asked, got).empty());
}

TEST(BlockQuietMicros, OneAndAHalfCharactersOrTheIntervalOrOneMillisecond)
{
    struct Case {
        std::uint32_t intervalMs;
        std::uint32_t baud;
        std::uint32_t cflag;
        std::uint32_t micros;
    };
    const Case cases[] = {
        {1, 115200, CS8, 1000},                        // a character is far below 1 ms
        {1, 9600, CS8, 1561},                          // 10 bits: 1041 us, half again
        {1, 9600, CS6 | PARENB | CSTOPB, 1561},        // 1 + 6 + 1 + 2 bits: the same 10
        {1, 9600, CS7 | PARENB | CSTOPB, 1717},        // 11 bits
        {1, 110, CS8, 136363},                         // 10 bits at 110 baud
        {5, 115200, CS8, 5000},                        // a longer interval wins
        {0, 0, CS8, 1000},                             // no speed known
        {4294967, 115200, CS8, 4294967000u},           // no overflow at the top
    };
    for (const Case& c : cases) {
        TtyLineState state;
        state.cflag = c.cflag;
        state.ospeed = c.baud;
        EXPECT_EQ(BlockQuietMicros(c.intervalMs, state), c.micros) << c.baud;
    }
}
