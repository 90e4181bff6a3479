// The texts the engine posts for line events, errors and queue states: on a
// pty for characters, on a fake UART for modem lines, error counters and the
// driver's output queue. The flag character: tests/app/CommEventsTest.cpp.

#include "CommTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace commtest;

namespace {

using EngineEvents = EngineTest;

// Data that arrives while the reader is still taking a new mask must keep its
// event: the mask change forgets only what the old mask alone watched.
TEST_F(EngineEvents, DataRightAfterAMaskChangeKeepsItsEvent)
{
    Open();
    auto rxcharEvents = [this] {
        const std::vector<std::string> texts = owner.Texts();
        return std::count_if(texts.begin(), texts.end(),
                             [](const std::string& t) { return t.find("EVENT: RXCHAR") != std::string::npos; });
    };
    for (int round = 0; round < 30; ++round) {
        const auto before = rxcharEvents();
        port.SetEventMask(round % 2 ? EV_RXCHAR : EV_RXCHAR | EV_CTS);
        ASSERT_TRUE(pty.WriteMaster("k"));
        EXPECT_TRUE(owner.PumpUntil([&] { return rxcharEvents() > before; }, 2000ms)) << "round " << round;
    }
}

struct UartCase {
    const char* name;
    std::uint32_t mask;
    bool ctsFlow;
    void (*change)(FakeUartState&);
    std::vector<std::string> texts;  // all that follow the first text, in order
};

void PrintTo(const UartCase& c, std::ostream* out) { *out << c.name; }

class UartEvents : public EngineTest, public ::testing::WithParamInterface<UartCase> {};

TEST_P(UartEvents, BecomeTheirTextsAndNothingElse)
{
    const UartCase& c = GetParam();
    port.m_dwEventMask = c.mask;
    port.m_bCtsOutFlow = c.ctsFlow;
    port.m_nRtsControl = c.ctsFlow ? 2 : 1;
    UseFakeUart();
    Open();
    Uart(c.change);
    ASSERT_TRUE(owner.WaitText(c.texts.back()));
    owner.PumpFor(150ms);
    std::vector<std::string> texts = owner.Texts();
    texts.erase(texts.begin());
    EXPECT_EQ(texts, c.texts);
}

INSTANTIATE_TEST_SUITE_P(
    FakeUart, UartEvents,
    ::testing::Values(
        UartCase{"CtsDrops", kDefaultEventMask, false, [](FakeUartState& s) { s.lines &= ~kLineCts; },
                 {"EVENT: CTS \r\n"}},
        // A ring too short for the sampling still shows through the counters.
        UartCase{"RingPulse", kDefaultEventMask, false, [](FakeUartState& s) { ++s.counters.ring; },
                 {"EVENT: RING \r\n"}},
        UartCase{"BreakAndFrameError", kDefaultEventMask, false,
                 [](FakeUartState& s) {
                     ++s.counters.brk;
                     ++s.counters.frame;
                     s.inQueue = 5;
                 },
                 {"EVENT: ERR BREAK \r\n", "ERROR: BREAK FRAME \r\n", "5 bytes in input buffer.\r\n"}},
        UartCase{"CtsHoldWithCtsFlowControl", kDefaultEventMask, true,
                 [](FakeUartState& s) {
                     s.lines &= ~kLineCts;
                     ++s.counters.overrun;
                 },
                 {"EVENT: CTS ERR \r\n", "ERROR: OVERRUN \r\n", "Tx waiting for CTS signal.\r\n"}}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(EngineEvents, ErrorsNotWatchedAreClearedNotReportedLater)
{
    port.m_dwEventMask = EV_CTS;
    UseFakeUart();
    Open();
    Uart([](FakeUartState& s) { ++s.counters.parity; });
    owner.PumpFor(700ms);  // the idle time-out clears them
    port.SetEventMask(EV_ERR | EV_CTS);
    ASSERT_TRUE(owner.WaitText("EVENT: NULL\r\n"));
    Uart([](FakeUartState& s) { ++s.counters.overrun; });
    ASSERT_TRUE(owner.WaitText("ERROR: OVERRUN \r\n"));
    EXPECT_FALSE(owner.HasText("ERROR: OVERRUN RXPARITY \r\n"));
}

TEST_F(EngineEvents, TxEmptyWaitsForTheDriverQueueAndDtrFollowsTheConnection)
{
    port.m_dwEventMask = EV_TXEMPTY;
    Uart([](FakeUartState& s) { s.outQueue = 10; });
    UseFakeUart();
    Open();
    Uart([](FakeUartState& s) { EXPECT_TRUE(s.lines & kLineDtr) << "raised at open"; });
    const std::uint8_t out[] = {9};
    ASSERT_TRUE(port.SendBytes(out, 1));
    owner.PumpFor(150ms);
    EXPECT_FALSE(owner.HasText("EVENT: TXEMPTY \r\n"));
    Uart([](FakeUartState& s) { s.outQueue = 0; });
    EXPECT_TRUE(owner.WaitText("EVENT: TXEMPTY \r\n"));
    ASSERT_TRUE(port.ClosePort());
    Uart([](FakeUartState& s) { EXPECT_FALSE(s.lines & kLineDtr) << "lowered at close"; });
}

TEST_F(EngineEvents, ModemLinesThatCannotBeReadSayWhyAndMeanTheDeviceIsGone)
{
    UseFakeUart();
    Open();
    Uart([](FakeUartState& s) { s.gone = true; });  // the tty itself has not noticed yet
    ASSERT_TRUE(owner.PumpUntil([&] { return owner.portGone > 0; }));
    EXPECT_TRUE(owner.HasText("Device gone: " + pty.SlavePath() + "\r\n"));
    EXPECT_TRUE(diagnostics.Has("Cannot read the modem lines of " + pty.SlavePath() + ": Input/output error"));
    owner.PumpFor(200ms);
    EXPECT_EQ(diagnostics.Count("GetCommModemStatus"), 1) << "asked once, then left alone";
}

}  // namespace
