// The port's settings without a tty: the settings-to-line-state step on its
// own, the stored settings and device mapping, and the texts the engine
// posts to the event box and the event log.

#include "comm/CommEvents.h"
#include "comm/CommPort2.h"
#include "comm/LineStatePlan.h"
#include "comm/PortDevices.h"
#include "comm/StatusQueue.h"
#include "comm/TtyLineControl.h"
#include "support/Profile.h"
#include "tests/common/TestFiles.h"

#include <termios.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
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
    state.cc[VINTR] = 3;
    state.ispeed = state.ospeed = 38400;
    return state;
}

// The raw line a default record gives is read back from a tty in
// EngineTest.cpp.
TEST(LineStatePlan, WhatTheRecordDoesNotSpeakOfIsKeptAndTheFlagOnlyWhenWatched)
{
    PortSettings record;
    record.m_chFlag = '#';
    const LinePlan plan = PlanLineState(record, CookedTty());
    EXPECT_TRUE(plan.state.cflag & HUPCL);
    EXPECT_EQ(plan.state.cc[VINTR], 3);
    EXPECT_EQ(plan.eventChar, 0) << "the flag is not watched by default";
    record.m_dwEventMask = EV_RXFLAG;
    EXPECT_EQ(PlanLineState(record, CookedTty()).eventChar, '#');
}

TEST(LineStatePlan, RateDataBitsParityAndStopBits)
{
    struct Case {
        std::uint32_t baud;
        std::uint8_t bits, parity, stop;
        std::uint32_t ospeed, size, parityBits;  // in the plan
        bool twoStopBits;
        std::vector<std::string> refused;
        std::vector<std::string> problems;  // of the value itself
    };
    // The tty had even parity and two stop bits: what is refused stays as it was.
    const Case cases[] = {
        {256000, 7, 1, 2, 256000, CS7, PARENB | PARODD, true, {}, {}},
        {31250, 8, 2, 0, 31250, CS8, PARENB, false, {}, {}},  // not in the list: a rate is a rate
        {9600, 8, 3, 0, 9600, CS8, PARENB | CMSPAR | PARODD, false, {}, {}},
        {9600, 8, 4, 0, 9600, CS8, PARENB | CMSPAR, false, {}, {}},
        {9600, 5, 0, 1, 9600, CS5, 0, true, {}, {}},  // a UART's "two" is one and a half with 5-bit characters
        {0, 8, 5, 3, 38400, CS8, PARENB, true, {"0 baud", "parity code 5", "stop-bit code 3"},
         {"baud rate 0", "parity code 5", "stop-bit code 3"}},
        {9600, 9, 0, 1, 9600, CS8, 0, true, {"9 data bits", "1.5 stop bits with 8 data bits"}, {"data bits 9"}},
        {9600, 4, 0, 0, 9600, CS8, 0, false, {"4 data bits"}, {}},  // listed, yet no tty takes it
    };
    for (const Case& c : cases) {
        TtyLineState current = CookedTty();
        current.cflag |= PARENB | CSTOPB;
        PortSettings record;
        std::tie(record.m_dwBaudRate, record.m_byDataBits, record.m_byParity, record.m_byStopBits) =
            std::tuple(c.baud, c.bits, c.parity, c.stop);
        const LinePlan plan = PlanLineState(record, current);
        const std::uint32_t cflag = plan.state.cflag;
        EXPECT_TRUE(plan.state.ospeed == c.ospeed && plan.state.ispeed == c.ospeed && (cflag & CSIZE) == c.size &&
                    (cflag & (PARENB | PARODD | CMSPAR)) == c.parityBits && ((cflag & CSTOPB) != 0) == c.twoStopBits)
            << "row " << c.baud << " " << int(c.bits) << "/" << int(c.parity) << "/" << int(c.stop);
        EXPECT_EQ(plan.refused, c.refused) << c.baud;
        EXPECT_EQ(record.Problems(), c.problems) << c.baud;
        record.m_nPort = 8;
        EXPECT_EQ(record.Problems().front(), "port slot 9");
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
        {0, 0, 0, 0, 0, 0, 0, false, 0, 0, kLineDtr | kLineRts, {}},
        {2, 1, 1, 0, 0, 0, 0, true, 0, kLineDtr, 0, {}},
        {1, 1, 1, 0, 0, 0, 0, true, 0, kLineDtr | kLineRts, 0, {"CTS/RTS flow control in one direction only"}},
        {3, 2, 0, 0, 0, 0, 0, false, 0, 0, 0, {"RTS toggle", "DTR handshake"}},
        {1, 1, 0, 1, 1, 0, 0, false, 0, kLineDtr | kLineRts, 0, {"DSR output flow control", "DSR sensitivity"}},
        {1, 1, 0, 0, 0, 0, 1, false, IXOFF, kLineDtr | kLineRts, 0, {}},
        {5, 4, 0, 0, 0, 3, 2, false, IXON, kLineRts, kLineDtr, {}},  // only the low bits count
    };
    int row = 0;
    for (const Case& c : cases) {
        PortSettings record;
        std::tie(record.m_nRtsControl, record.m_nDtrControl, record.m_bCtsOutFlow, record.m_bDsrOutFlow, record.m_bDsrSensitivity,
                 record.m_bXonXoffOut, record.m_bXonXoffIn) = std::tuple(c.rts, c.dtr, c.ctsOut, c.dsrOut, c.dsrSense, c.xonOut, c.xonIn);
        TtyLineState current = CookedTty();
        current.cflag |= CRTSCTS;  // whatever the tty had is replaced
        const LinePlan plan = PlanLineState(record, current);
        EXPECT_TRUE(((plan.state.cflag & CRTSCTS) != 0) == c.crtscts && (plan.state.iflag & (IXON | IXOFF)) == c.iflag &&
                    plan.raiseLines == c.raise && plan.lowerLines == c.lower) << "row " << row;
        EXPECT_EQ(plan.refused, c.refused) << "row " << row;
        ++row;
    }
}

TEST(LineStateMismatches, WhatTheTtyDidNotTake)
{
    PortSettings record;
    std::tie(record.m_dwBaudRate, record.m_byParity, record.m_byStopBits, record.m_bXonXoffOut) = std::tuple(19200, 3, 2, 1);
    const TtyLineState asked = PlanLineState(record, CookedTty()).state;
    EXPECT_TRUE(LineStateMismatches(asked, asked).empty());
    // Odd and mark bits mean nothing without parity.
    const TtyLineState plain = PlanLineState(PortSettings{}, CookedTty()).state;
    TtyLineState oddMark = plain;
    oddMark.cflag |= PARODD | CMSPAR;
    EXPECT_TRUE(LineStateMismatches(plain, oddMark).empty());

    const struct {
        void (*change)(TtyLineState&);
        const char* text;
    } cases[] = {
        {[](TtyLineState& s) { s.ospeed = 9600; }, "Device did not take baud rate: asked 19200, has 9600"},
        {[](TtyLineState& s) { s.cflag &= ~CMSPAR; }, "Device did not take parity: asked Mark, has Odd"},
        {[](TtyLineState& s) { s.cflag &= ~CSTOPB; }, "Device did not take stop bits: asked 2, has 1"},
        {[](TtyLineState& s) { s.cflag |= CRTSCTS; }, "Device did not take CTS/RTS flow control: asked off, has on"},
    };
    for (const auto& c : cases) {
        TtyLineState got = asked;
        c.change(got);
        EXPECT_EQ(LineStateMismatches(asked, got), std::vector<std::string>{c.text});
    }
}

TEST(BlockQuietMicros, OneAndAHalfCharactersOrTheIntervalOrOneMillisecond)
{
    const struct {
        std::uint32_t intervalMs, baud, cflag, micros;
    } cases[] = {
        {1, 115200, CS8, 1000},               // a character is far below 1 ms
        {1, 9600, CS8, 1561},                 // 10 bits: 1041 us, half again
        {1, 9600, CS7 | PARENB | CSTOPB, 1717},  // 11 bits
        {5, 115200, CS8, 5000},               // a longer interval wins
        {0, 0, CS8, 1000},                    // no speed known
        {4294967, 115200, CS8, 4294967000u},  // no overflow at the top
    };
    for (const auto& c : cases) {
        TtyLineState state;
        std::tie(state.cflag, state.ospeed) = std::tuple(c.cflag, c.baud);
        EXPECT_EQ(BlockQuietMicros(c.intervalMs, state), c.micros) << c.baud;
    }
}

TEST(PortSettingsValue, OfTheEventMaskOnlyTheWatchedFlagShapesTheLine)
{
    PortSettings other;
    other.m_dwEventMask ^= EV_CTS | EV_TXEMPTY;
    EXPECT_TRUE(other.SameLine(PortSettings{}) && !(other == PortSettings{}));
    other.m_dwEventMask ^= EV_RXFLAG;
    EXPECT_FALSE(other.SameLine(PortSettings{}));
}

using support::GetProfileInt;
using support::GetProfileString;

TEST(PortDevices, TheRunsMappingOverridesTheStoredOneWithoutStoringIt)
{
    testfiles::TempStore store;
    ClearRunDevicePaths();
    EXPECT_EQ(DevicePathForSlot(8), "/dev/ttyS7");
    ASSERT_TRUE(StoreDevicePath(3, "/dev/ttyUSB0") && SetRunDevicePath(3, "/dev/pts/99"));
    EXPECT_EQ(DevicePathForSlot(3), "/dev/pts/99");
    EXPECT_EQ(GetProfileString("CommPortSettings", "Device3", ""), "/dev/ttyUSB0");
    ASSERT_TRUE(StoreDevicePath(3, "/dev/ttyACM0"));
    EXPECT_EQ(DevicePathForSlot(3), "/dev/ttyACM0") << "a choice stored now takes effect at once";
    EXPECT_FALSE(SetRunDevicePath(9, "/dev/null"));
    ClearRunDevicePaths();
}

TEST(PortProfile, ListPositionsAreStoredAndAnythingElseReadsAsTheDefault)
{
    testfiles::TempStore store;
    CCommPort2 port;
    PortSettings settings;
    settings.m_nPort = 7;
    settings.m_dwBaudRate = 115200;
    port.ApplySettings(settings);
    port.SaveProfile();
    EXPECT_EQ(GetProfileInt("CommPortSettings", "BaudRate", -9), 12);
    CCommPort2 other;
    other.LoadProfile();
    EXPECT_TRUE(other.Settings() == settings);
    settings.m_dwBaudRate = 12345;
    port.ApplySettings(settings);
    EXPECT_STREQ(port.PortName(), "COM8");
    port.SaveProfile();
    EXPECT_EQ(GetProfileInt("CommPortSettings", "BaudRate", -9), -1) << "not in the list";

    // Stored positions out of range (a hand-edited file) give the defaults.
    for (const auto& [name, position] : {std::pair{"Port", 8}, {"BaudRate", -1}, {"DataBits", 5}, {"Parity", 77},
                                         {"StopBits", 3}})
        support::WriteProfileInt("CommPortSettings", name, position);
    CCommPort2 loaded;
    loaded.LoadProfile();
    EXPECT_TRUE(loaded.Settings() == PortSettings{});
}

TEST(CommTexts, EventErrorAndStatusTextsListTheirBitsInTheFixedOrder)
{
    EXPECT_EQ(CommEventText(0x1FF), "EVENT: CTS DSR ERR RING RLSD BREAK RXFLAG RXCHAR TXEMPTY \r\n");
    EXPECT_EQ(LineErrorText(0), "");
    EXPECT_EQ(LineErrorText(CE_RXPARITY | CE_FRAME | CE_DNS | 0x4000), "ERROR: DNS FRAME RXPARITY \r\n");
    ComStat status;
    status.fCtsHold = status.fXoffHold = status.fTxim = true;
    status.cbInQue = 12;
    status.cbOutQue = 3;
    EXPECT_EQ(ComStatTexts(status), (std::vector<std::string>{"Tx waiting for CTS signal.\r\n", "Tx waiting, XOFF char rec'd.\r\n",
                                                             "Character waiting for Tx.\r\n", "12 bytes in input buffer.\r\n",
                                                             "3 bytes in output buffer.\r\n"}));
}

TEST(CommTexts, StatusTextsAreNumberedInTurnAndCutWithoutSplittingACharacter)
{
    StatusQueue queue;
    const int first = queue.Push("a\r\n");
    EXPECT_EQ(queue.Push("b\r\n"), first + 1);
    EXPECT_EQ(*queue.Front(), std::to_string(first) + ":a\r\n");

    const struct {
        std::string text;
        std::string copied;
    } cases[] = {
        {"short\r\n", "short\r\n"},
        {std::string(300, 'y') + "\r\n", std::string(157, 'y') + "\r\n"},  // the line end kept
        {std::string(156, 'z') + "\xED\x95\x9C\r\n", std::string(156, 'z') + "\r\n"},
    };
    for (const auto& c : cases) {
        char buffer[kStatusTextCapacity];
        std::memset(buffer, 'x', sizeof buffer);
        CopyStatusText(c.text, buffer, sizeof buffer);
        EXPECT_EQ(buffer[kStatusTextCapacity - 1], '\0');
        EXPECT_EQ(std::string(buffer), c.copied) << c.text.size();
    }
}

}  // namespace
