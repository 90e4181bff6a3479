#include "CommTestSupport.h"
#include "FakeUart.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace commtest;

namespace {

class EngineEvents : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.ok());
        MapSlotToPty(port, pty);
    }
    void OpenWithFakeUart()
    {
        port.SetLineControlFactory([this](int) { return std::make_unique<FakeUart>(uart); });
        Open();
    }
    void Open()
    {
        ASSERT_TRUE(port.OpenPort());
        // The reader has passed its first round once the first text is out.
        ASSERT_TRUE(owner.WaitText("Status message go here:\r\n"));
    }
    void TearDown() override { port.ClosePort(); }
    template <typename Change>
    void Uart(Change change)
    {
        std::lock_guard lock(uart->mutex);
        change(*uart);
    }

    DiagnosticCapture diagnostics;
    PtyPair pty;
    std::shared_ptr<FakeUartState> uart = std::make_shared<FakeUartState>();
    CCommPort2 port;
    TestOwner owner{port};
};

}  // namespace

TEST_F(EngineEvents, MaskChangedWhileWaitingGivesNullEvent)
{
    Open();
    port.SetEventMask(EV_RXCHAR);
    EXPECT_TRUE(owner.WaitText("EVENT: NULL\r\n"));
    ASSERT_TRUE(pty.Write("k"));
    EXPECT_TRUE(owner.WaitText("EVENT: RXCHAR \r\n"));
}

// Data that arrives while the reader is still taking a new mask must keep its
// event: the mask change forgets only what the old mask alone watched.
TEST_F(EngineEvents, DataRightAfterAMaskChangeKeepsItsEvent)
{
    Open();
    auto rxcharEvents = [this] {
        return std::count_if(owner.texts.begin(), owner.texts.end(), [](const std::string& t) {
            return t.find("EVENT: RXCHAR") != std::string::npos;
        });
    };
    for (int round = 0; round < 30; ++round) {
        const auto before = rxcharEvents();
        port.SetEventMask(round % 2 ? EV_RXCHAR : EV_RXCHAR | EV_CTS);
        ASSERT_TRUE(pty.Write("k"));
        EXPECT_TRUE(owner.PumpUntil([&] { return rxcharEvents() > before; }, 2000ms)) << "round " << round;
    }
}

TEST_F(EngineEvents, FlagCharacterGivesRxFlag)
{
    Open();
    port.SetEventMask(EV_RXFLAG);
    port.m_chFlag = '\n';
    port.RefreshPortName();  // the events dialog re-applies the line settings
    ASSERT_TRUE(owner.WaitText("EVENT: NULL\r\n"));
    ASSERT_TRUE(pty.Write("no flag"));
    ASSERT_TRUE(owner.WaitBytes(7));
    owner.PumpFor(100ms);
    EXPECT_FALSE(owner.HasText("EVENT: RXFLAG \r\n"));
    ASSERT_TRUE(pty.Write("line\n"));
    EXPECT_TRUE(owner.WaitText("EVENT: RXFLAG \r\n"));
}

TEST_F(EngineEvents, TxEmptyWhenOutputDrains)
{
    Open();
    port.SetEventMask(EV_TXEMPTY);
    ASSERT_TRUE(owner.WaitText("EVENT: NULL\r\n"));
    const std::uint8_t out[] = {1, 2, 3};
    ASSERT_TRUE(port.SendBytes(out, 3));
    EXPECT_TRUE(owner.WaitText("EVENT: TXEMPTY \r\n"));
}

TEST_F(EngineEvents, PtyWithoutModemLinesReportsNothingAndFailsNothing)
{
    Open();  // default mask watches the lines
    owner.PumpFor(700ms);  // past one idle time-out
    EXPECT_EQ(owner.texts.size(), 1u);
    for (const std::string& text : diagnostics.texts()) {
        EXPECT_NE(text, "GetCommModemStatus");
        EXPECT_NE(text, "ClearCommError");
    }
}

TEST_F(EngineEvents, ModemLineChangesBecomeEvents)
{
    OpenWithFakeUart();
    {
        std::lock_guard lock(uart->mutex);
        EXPECT_TRUE(uart->raisedByEngine & kLineDtr);
    }
    Uart([](FakeUartState& s) { s.lines &= ~kLineCts; });
    EXPECT_TRUE(owner.WaitText("EVENT: CTS \r\n"));
    Uart([](FakeUartState& s) {
        s.lines |= kLineCd | kLineRing;
        s.lines &= ~kLineDsr;
    });
    EXPECT_TRUE(owner.WaitText("EVENT: DSR RING RLSD \r\n"));
    // A pulse too short for the sampling still shows through the counters.
    Uart([](FakeUartState& s) { ++s.counters.ring; });
    EXPECT_TRUE(owner.WaitText("EVENT: RING \r\n"));
}

TEST_F(EngineEvents, BreakAndErrorGiveEventThenErrorAndStatusTexts)
{
    OpenWithFakeUart();
    Uart([](FakeUartState& s) {
        ++s.counters.brk;
        ++s.counters.frame;
        s.inQueue = 5;
    });
    ASSERT_TRUE(owner.WaitText("5 bytes in input buffer.\r\n"));
    std::vector<std::string> tail;
    for (const std::string& t : owner.texts)
        tail.push_back(TestOwner::StripNumber(t));
    const std::vector<std::string> expected = {"Status message go here:\r\n", "EVENT: ERR BREAK \r\n",
                                               "ERROR: BREAK FRAME \r\n", "5 bytes in input buffer.\r\n"};
    EXPECT_EQ(tail, expected);
}

TEST_F(EngineEvents, BreakWithoutErrorWatchGivesOnlyTheEvent)
{
    port.m_dwEventMask = EV_BREAK;
    OpenWithFakeUart();
    Uart([](FakeUartState& s) {
        ++s.counters.brk;
        s.inQueue = 5;
    });
    ASSERT_TRUE(owner.WaitText("EVENT: BREAK \r\n"));
    owner.PumpFor(100ms);
    EXPECT_FALSE(owner.HasText("5 bytes in input buffer.\r\n"));
    EXPECT_FALSE(owner.HasText("ERROR: BREAK \r\n"));
}

TEST_F(EngineEvents, ErrorsNotWatchedAreClearedNotReported)
{
    port.m_dwEventMask = EV_CTS;
    OpenWithFakeUart();
    Uart([](FakeUartState& s) { ++s.counters.parity; });
    owner.PumpFor(700ms);  // the idle time-out clears them
    port.SetEventMask(EV_ERR | EV_CTS);
    ASSERT_TRUE(owner.WaitText("EVENT: NULL\r\n"));
    Uart([](FakeUartState& s) { ++s.counters.overrun; });
    ASSERT_TRUE(owner.WaitText("ERROR: OVERRUN \r\n"));
    EXPECT_FALSE(owner.HasText("ERROR: OVERRUN RXPARITY \r\n"));
}

TEST_F(EngineEvents, CtsHoldIsReportedWithCtsFlowControl)
{
    port.m_bCtsOutFlow = 1;
    port.m_nRtsControl = 2;
    OpenWithFakeUart();
    Uart([](FakeUartState& s) {
        s.lines &= ~kLineCts;
        ++s.counters.overrun;
    });
    EXPECT_TRUE(owner.WaitText("Tx waiting for CTS signal.\r\n"));
}

TEST_F(EngineEvents, TxEmptyWaitsForTheDriverQueue)
{
    port.m_dwEventMask = EV_TXEMPTY;
    Uart([](FakeUartState& s) { s.outQueue = 10; });
    OpenWithFakeUart();
    const std::uint8_t out[] = {9};
    ASSERT_TRUE(port.SendBytes(out, 1));
    owner.PumpFor(150ms);
    EXPECT_FALSE(owner.HasText("EVENT: TXEMPTY \r\n"));
    Uart([](FakeUartState& s) { s.outQueue = 0; });
    EXPECT_TRUE(owner.WaitText("EVENT: TXEMPTY \r\n"));
}

TEST_F(EngineEvents, CloseLowersDtr)
{
    OpenWithFakeUart();
    ASSERT_TRUE(port.ClosePort());
    std::lock_guard lock(uart->mutex);
    EXPECT_TRUE(uart->loweredByEngine & kLineDtr);
    EXPECT_FALSE(uart->lines & kLineDtr);
}

TEST_F(EngineEvents, DeviceGoneWhileWatchingLinesDoesNotSpin)
{
    OpenWithFakeUart();  // the default mask watches the modem lines and counters
    ASSERT_TRUE(owner.PumpUntil([&] {
        std::lock_guard lock(uart->mutex);
        return uart->modemReads >= 2;  // the line sampling is running
    }));
    Uart([](FakeUartState& s) { s.gone = true; });
    pty.CloseMaster();
    ASSERT_TRUE(owner.PumpUntil([&] { return owner.portGone > 0; }));

    const std::uint64_t wakeupsBefore = port.ReaderWakeups();
    int callsBefore = 0;
    Uart([&](FakeUartState& s) { callsBefore = s.callsAfterGone; });
    owner.PumpFor(1000ms);  // nobody closes the port
    // Idle, the reader wakes about twice a second; a spinning one wakes
    // hundreds of thousands of times.
    EXPECT_LT(port.ReaderWakeups() - wakeupsBefore, 40u);
    Uart([&](FakeUartState& s) { EXPECT_LT(s.callsAfterGone - callsBefore, 10); });
    EXPECT_EQ(owner.portGone, 1);
    EXPECT_TRUE(port.ClosePort());
}

TEST_F(EngineEvents, ModemLinesThatCannotBeReadSayWhyAndMeanTheDeviceIsGone)
{
    OpenWithFakeUart();
    Uart([](FakeUartState& s) { s.gone = true; });  // the tty itself has not noticed yet
    ASSERT_TRUE(owner.PumpUntil([&] { return owner.portGone > 0; }));
    EXPECT_TRUE(owner.HasText("Device gone: " + pty.path() + "\r\n"));
    EXPECT_TRUE(diagnostics.Has("GetCommModemStatus"));
    EXPECT_TRUE(diagnostics.Has("Cannot read the modem lines of " + pty.path() + ": Input/output error"));
    owner.PumpFor(200ms);
    int failures = 0;
    for (const std::string& text : diagnostics.texts())
        failures += text == "GetCommModemStatus" ? 1 : 0;
    EXPECT_EQ(failures, 1);  // asked once, then left alone
}
