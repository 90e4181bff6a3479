// The texts the engine posts for line events, errors and queue states: on a
// pty for characters, on a fake UART for modem lines and error counters. The
// flag character: tests/app/CommEventsTest.cpp.

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
    EditSettings(port, [&c](PortSettings& s) {
        s.m_dwEventMask = c.mask;
        s.m_bCtsOutFlow = c.ctsFlow;
        s.m_nRtsControl = c.ctsFlow ? 2 : 1;
    });
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

}  // namespace
