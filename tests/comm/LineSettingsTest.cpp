// The line settings applied to a real tty: what it takes, what it cannot take
// (reported, never silently dropped), and a write that fails.

#include "CommTestSupport.h"

#include "comm/Termios2.h"

#include <termios.h>

#include <tuple>

#include <gtest/gtest.h>

using namespace commtest;

namespace {

class LineSettings : public EngineTest {
protected:
    // The texts after the reader's first one, without numbers.
    std::vector<std::string> Reports()
    {
        owner.PumpFor(150ms);
        std::vector<std::string> texts = owner.Texts();
        std::erase(texts, "Status message go here:\r\n");
        return texts;
    }
    TtyLineState State()
    {
        TtyLineState state;
        EXPECT_TRUE(ReadTtyLineState(pty.Master(), state));
        return state;
    }
};

TEST_F(LineSettings, TheRecordReachesTheTtyWithEveryRateOfTheList)
{
    ASSERT_TRUE(port.OpenPort());
    TtyLineState state = State();
    EXPECT_TRUE(state.ospeed == 9600u && (state.cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS)) == CS8 &&
                (state.lflag & (ICANON | ECHO | ISIG)) == 0u);
    // The rates a plain termios has no constant for go through termios2.
    for (std::uint32_t rate : {110u, 14400u, 56000u, 128000u, 256000u, 115200u}) {
        EXPECT_TRUE(EditSettings(port, [rate](PortSettings& s) { s.m_dwBaudRate = rate; }));
        EXPECT_TRUE(State().ospeed == rate && State().ispeed == rate) << rate;
    }
    ASSERT_TRUE(port.ClosePort());

    EditSettings(port, [](PortSettings& s) {
        s.m_bXonXoffOut = s.m_bCtsOutFlow = 1;
        std::tie(s.m_chXon, s.m_chXoff, s.m_nRtsControl) = std::tuple(0x05, 0x06, 2);
    });
    ASSERT_TRUE(port.OpenPort());
    state = State();
    EXPECT_TRUE((state.iflag & (IXON | IXOFF)) == IXON && (state.cflag & CRTSCTS) && state.cc[VSTART] == 0x05 &&
                state.cc[VSTOP] == 0x06);
    EXPECT_TRUE(Reports().empty() && diagnostics.texts().empty()) << ::testing::PrintToString(diagnostics.texts());
}

TEST_F(LineSettings, WhatTheDeviceCannotTakeIsReportedAndTheRecordKept)
{
    const struct {
        void (*ask)(PortSettings&);
        const char* report;
    } cases[] = {
        {[](PortSettings& s) { s.m_byDataBits = 4; }, "Device cannot take 4 data bits"},
        {[](PortSettings& s) { s.m_byStopBits = 1; }, "Device cannot take 1.5 stop bits with 8 data bits"},
        {[](PortSettings& s) { s.m_byParity = 3; }, "Device did not take parity: asked Mark, has No"},  // a pty has none
    };
    for (const auto& c : cases) {
        PortSettings asked;
        c.ask(asked);
        owner.texts.clear();
        ASSERT_TRUE(port.OpenPort(asked));
        EXPECT_EQ(Reports(), std::vector<std::string>{std::string(c.report) + "\r\n"});
        EXPECT_TRUE(diagnostics.Has(c.report)) << c.report;
        ASSERT_TRUE(port.ClosePort());
        EXPECT_TRUE(port.Settings() == asked) << "the settings keep what was asked";
    }
}

TEST_F(LineSettings, AFailedWriteIsReportedWithItsCause)
{
    ASSERT_TRUE(port.OpenPort());
    pty.CloseMaster();  // the device hangs up: the tty's calls now fail with EIO
    EXPECT_FALSE(port.ApplyLineSettings());
    EXPECT_TRUE(diagnostics.Has("SetCommState"));
    EXPECT_TRUE(diagnostics.Has("Cannot apply the line settings to " + pty.SlavePath() + ": Input/output error"))
        << ::testing::PrintToString(diagnostics.texts());
}

}  // namespace
