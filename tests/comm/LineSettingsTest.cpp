#include "CommTestSupport.h"

#include "comm/Termios2.h"

#include <termios.h>

#include <gtest/gtest.h>

using namespace commtest;

namespace {

class LineSettings : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.ok());
        MapSlotToPty(port, pty);
    }
    void TearDown() override { port.ClosePort(); }
    // Every text after the first one, without numbers.
    std::vector<std::string> Reports()
    {
        owner.PumpFor(150ms);
        std::vector<std::string> texts;
        for (std::size_t i = 0; i < owner.texts.size(); ++i)
            if (TestOwner::StripNumber(owner.texts[i]) != "Status message go here:\r\n")
                texts.push_back(TestOwner::StripNumber(owner.texts[i]));
        return texts;
    }
    TtyLineState State()
    {
        TtyLineState state;
        EXPECT_TRUE(ReadTtyLineState(pty.master(), state));
        return state;
    }

    DiagnosticCapture diagnostics;
    PtyPair pty;
    CCommPort2 port;
    TestOwner owner{port};
};

}  // namespace

TEST_F(LineSettings, DefaultsOnAPtyReportNothing)
{
    ASSERT_TRUE(port.OpenPort());
    EXPECT_TRUE(Reports().empty());
    const TtyLineState state = State();
    EXPECT_EQ(state.ospeed, 9600u);
    EXPECT_EQ(state.cflag & CSIZE, static_cast<std::uint32_t>(CS8));
    EXPECT_EQ(state.cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(state.iflag & (IXON | IXOFF | ICRNL), 0u);
    EXPECT_EQ(state.lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(state.cc[VSTART], 0x11);
    EXPECT_EQ(state.cc[VSTOP], 0x13);
    EXPECT_EQ(state.cc[VMIN], 1);
    EXPECT_TRUE(diagnostics.texts().empty());
}

TEST_F(LineSettings, EveryTableRateReachesTheTty)
{
    ASSERT_TRUE(port.OpenPort());
    for (std::uint32_t rate : {110u, 14400u, 56000u, 128000u, 256000u, 115200u}) {
        port.m_dwBaudRate = rate;
        EXPECT_TRUE(port.ApplyLineSettings());
        EXPECT_EQ(State().ospeed, rate);
        EXPECT_EQ(State().ispeed, rate);
    }
    EXPECT_TRUE(Reports().empty());
}

TEST_F(LineSettings, FourDataBitsAreReportedNotChanged)
{
    port.m_byDataBits = 4;
    ASSERT_TRUE(port.OpenPort());
    const auto reports = Reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], "Device cannot take 4 data bits\r\n");
    EXPECT_TRUE(diagnostics.Has("Device cannot take 4 data bits"));
    EXPECT_EQ(port.m_byDataBits, 4);  // the record keeps what was asked
}

TEST_F(LineSettings, OneAndAHalfStopBitsOnlyWithFiveDataBits)
{
    port.m_byStopBits = 1;
    ASSERT_TRUE(port.OpenPort());
    const auto reports = Reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], "Device cannot take 1.5 stop bits with 8 data bits\r\n");
}

TEST_F(LineSettings, ParityThePtyDropsIsReported)
{
    port.m_byParity = 3;  // mark
    ASSERT_TRUE(port.OpenPort());
    const auto reports = Reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], "Device did not take parity: asked Mark, has No\r\n");
}

TEST_F(LineSettings, FlowControlSwitchesAndCharacters)
{
    port.m_bXonXoffOut = 1;
    port.m_chXon = 0x05;
    port.m_chXoff = 0x06;
    port.m_bCtsOutFlow = 1;
    port.m_nRtsControl = 2;
    ASSERT_TRUE(port.OpenPort());
    const TtyLineState state = State();
    EXPECT_TRUE(state.iflag & IXON);
    EXPECT_FALSE(state.iflag & IXOFF);
    EXPECT_TRUE(state.cflag & CRTSCTS);
    EXPECT_EQ(state.cc[VSTART], 0x05);
    EXPECT_EQ(state.cc[VSTOP], 0x06);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(LineSettings, RefreshOnAnOpenPortAppliesAgain)
{
    ASSERT_TRUE(port.OpenPort());
    port.m_dwBaudRate = 57600;
    port.RefreshPortName();
    EXPECT_EQ(State().ospeed, 57600u);
    EXPECT_STREQ(port.m_szPortName, "COM1");
}

TEST_F(LineSettings, FailedWriteIsReportedWithItsCause)
{
    ASSERT_TRUE(port.OpenPort());
    const std::string path = pty.path();
    pty.CloseMaster();  // the device hangs up: the tty's calls now fail with EIO
    EXPECT_FALSE(port.ApplyLineSettings());
    EXPECT_TRUE(diagnostics.Has("SetCommState"));
    EXPECT_TRUE(diagnostics.Has("Cannot apply the line settings to " + path + ": Input/output error"))
        << ::testing::PrintToString(diagnostics.texts());
}

TEST_F(LineSettings, NothingToApplyWhileClosed)
{
    EXPECT_FALSE(port.ApplyLineSettings());
    EXPECT_TRUE(diagnostics.texts().empty());
}
