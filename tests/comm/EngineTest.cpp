// The engine on a pty (and a fake UART for what a pty lacks), part by part.

#include "CommTestSupport.h"

#include "comm/Termios2.h"
#include "tests/common/TestFiles.h"

#include <sys/fsuid.h>
#include <sys/stat.h>
#include <termios.h>

#include <atomic>
#include <thread>
#include <tuple>

using namespace commtest;

namespace {

bool Send(CCommPort2& port, const std::string& bytes)
{
    return port.SendBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

// A file block's own copy of `bytes`, as the file sender hands it over.
std::unique_ptr<std::uint8_t[]> Copy(const std::string& bytes)
{
    auto block = std::make_unique<std::uint8_t[]>(bytes.size());
    std::copy_n(bytes.data(), bytes.size(), block.get());
    return block;
}

// Opening and closing the engine on a pty: the tty's own settings come back,
// a refused open says what failed on which device and why, a device that goes
// away is reported once without a busy loop, and a close is never stuck.

using EngineLifecycle = EngineTest;

TEST_F(EngineLifecycle, OpensAndClosesAgainAndGivesTheTtyItsSettingsBack)
{
    termios before{};
    ASSERT_EQ(::tcgetattr(pty.Master(), &before), 0);
    before.c_lflag |= ICANON | ECHO;
    before.c_iflag |= ICRNL;
    cfsetispeed(&before, B4800);
    cfsetospeed(&before, B4800);
    ASSERT_EQ(::tcsetattr(pty.Master(), TCSANOW, &before), 0);
    ASSERT_EQ(::tcgetattr(pty.Master(), &before), 0);
    EditSettings(port, [](PortSettings& s) { s.m_dwBaudRate = 115200; });
    for (const std::string marker : {"round0", "round1"}) {
        ASSERT_TRUE(port.OpenPort() && port.IsOpen());
        termios during{};
        ASSERT_EQ(::tcgetattr(pty.Master(), &during), 0);
        EXPECT_TRUE((during.c_lflag & (ICANON | ECHO)) == 0 && cfgetospeed(&during) == B115200) << marker;
        ASSERT_TRUE(pty.WriteMaster(marker));
        ASSERT_TRUE(owner.WaitBytes(marker.size()));
        EXPECT_EQ(owner.bytes, marker);
        owner.bytes.clear();
        ASSERT_TRUE(Send(port, "ok"));
        EXPECT_EQ(pty.ReadCount(2), "ok");
        EXPECT_TRUE(port.ClosePort());
        EXPECT_FALSE(port.ClosePort()) << "closed already";
        termios after{};
        ASSERT_EQ(::tcgetattr(pty.Master(), &after), 0);
        EXPECT_TRUE(after.c_lflag == before.c_lflag && after.c_iflag == before.c_iflag &&
                    after.c_cflag == before.c_cflag && cfgetospeed(&after) == B4800) << marker;
    }
}

TEST_F(EngineLifecycle, ARefusedOpenSaysWhatFailedOnWhichDeviceAndWhy)
{
    testfiles::TempDir temp("kestrana-open");
    testfiles::WriteFile(temp.path() + "/plain", "x");
    const struct {
        std::string device;  // "" for a slot beyond the last
        std::string cause;
    } cases[] = {
        {temp.path() + "/no/such/tty", "Cannot open " + temp.path() + "/no/such/tty: No such file or directory"},
        {temp.path() + "/plain", "Cannot open " + temp.path() + "/plain: Inappropriate ioctl for device"},
        {"", "Cannot open COM9: No such device"},
    };
    for (const auto& c : cases) {
        CCommPort2 other;
        SetRunDevicePath(2, c.device);
        EditSettings(other, [&c](PortSettings& s) { s.m_nPort = c.device.empty() ? 8 : 1; });
        EXPECT_FALSE(other.OpenPort()) << c.cause;
        EXPECT_EQ(other.LastOpenError(), c.cause);
        EXPECT_TRUE(diagnostics.Has(c.cause)) << c.cause;
        EXPECT_FALSE(Send(other, "abc")) << "sent on a port that did not open";
    }
    EXPECT_EQ(diagnostics.Count("CreateFile Failed!"), 3) << "the fixed text, for each refused open";
    EXPECT_EQ(diagnostics.Count("SendBytes: the port is closed, 3 bytes not sent"), 3);
    PortSettings unusable = port.Settings();
    unusable.m_byParity = 9;
    EXPECT_TRUE(!port.OpenPort(unusable) && port.LastOpenError() == "Cannot open with parity code 9" &&
                port.Settings().m_byParity == 0) << "refused, and not taken";

    // Held by another engine: the exclusive mode refuses others, the lock
    // refuses root too; free again after the close. The second engine is
    // destroyed open, its owner outliving it as a window that owns it does:
    // that closes it.
    {
        platform::MessageQueue window;
        CCommPort2 second;
        MapSlotToPty(second, pty, 2);
        ASSERT_TRUE(port.OpenPort());
        EXPECT_FALSE(second.OpenPort());
        EXPECT_EQ(second.LastOpenError(),
                  "Cannot open " + pty.SlavePath() + ": Device or resource busy (another program is using it)");
        EXPECT_FALSE(DeviceIsFree(pty.SlavePath()));
        ASSERT_TRUE(port.ClosePort());
        second.SetOwner(&window);
        EXPECT_TRUE(second.OpenPort());
        EXPECT_EQ(second.LastOpenError(), "") << "a success forgets the last failure";
        ASSERT_TRUE(pty.WriteMaster("x"));
        EXPECT_TRUE(window.Take(5000ms).has_value());
    }
    EXPECT_TRUE(DeviceIsFree(pty.SlavePath())) << "destroyed open, and not closed";
}

TEST_F(EngineLifecycle, AForbiddenDeviceSuggestsTheDialoutGroup)
{
    ASSERT_EQ(::chmod(pty.SlavePath().c_str(), 0), 0);
    bool opened = false;
    std::string cause;
    std::thread([&] {
        // Root passes any permission; with a file-system identity of its own
        // this thread (only) is held to the file's mode like anyone else.
        if (::geteuid() == 0)
            ::setfsuid(65534);
        opened = port.OpenPort();
        cause = port.LastOpenError();
        if (opened)
            port.ClosePort();
    }).join();
    if (opened)
        GTEST_SKIP() << "this user opens a device with mode 000 anyway";
    EXPECT_EQ(cause, "Cannot open " + pty.SlavePath() + ": Permission denied (add yourself to the dialout group)");
}

TEST_F(EngineLifecycle, ACloseIsNotStuckBehindXoff)
{
    EditSettings(port, [](PortSettings& s) { s.m_bXonXoffOut = 1; });
    ASSERT_TRUE(port.OpenPort());
    ASSERT_TRUE(pty.WriteMaster("\x13"));  // XOFF: the line stops (and nobody reads it anyway)
    const std::string block = Pattern(1024);
    for (int i = 0; i < 40; ++i)
        Send(port, block);
    ASSERT_TRUE(owner.PumpUntil([&] { return port.PendingWriteRequests() > 0; }));
    EXPECT_TRUE(port.ClosePort());
    EXPECT_EQ(diagnostics.Count("Writer Thread didn't exit.\n\r") + diagnostics.Count("Reader/Status Thread didn't exit.\n\r"), 0);
}

// A hang-up seen by the tty, or only by the modem lines (a fake UART whose
// every call fails once the device is gone, as a driver's do).
class DeviceGone : public EngineTest, public ::testing::WithParamInterface<bool> {};

TEST_P(DeviceGone, IsReportedOnceAndTheReaderDoesNotSpin)
{
    const bool watchingLines = GetParam();
    if (watchingLines)
        UseFakeUart();
    Open();
    ASSERT_TRUE(pty.WriteMaster("last"));
    ASSERT_TRUE(owner.WaitBytes(4));
    if (watchingLines) {
        ASSERT_TRUE(owner.PumpUntil([&] {
            std::lock_guard lock(uart->mutex);
            return uart->modemReads >= 2;  // the line sampling is running
        }));
        Uart([](FakeUartState& s) { s.gone = true; });  // the tty itself has not noticed
    } else {
        pty.CloseMaster();
    }
    ASSERT_TRUE(owner.PumpUntil([&] { return owner.portGone > 0; }));
    EXPECT_TRUE(owner.HasText("Device gone: " + pty.SlavePath() + "\r\n"));
    EXPECT_EQ(diagnostics.Count("Cannot read the modem lines of " + pty.SlavePath() + ": Input/output error"),
              watchingLines ? 1 : 0) << "asked once, then left alone";

    const std::uint64_t wakeupsBefore = port.ReaderWakeups();
    int callsBefore = 0;
    Uart([&](FakeUartState& s) { callsBefore = s.callsAfterGone; });
    owner.PumpFor(1000ms);  // nobody closes the port
    // Idle, the reader wakes about twice a second; a spinning one wakes
    // hundreds of thousands of times.
    EXPECT_LT(port.ReaderWakeups() - wakeupsBefore, 40u);
    Uart([&](FakeUartState& s) { EXPECT_LT(s.callsAfterGone - callsBefore, 10); });
    EXPECT_EQ(owner.portGone, 1);
    EXPECT_EQ(owner.bytes, "last") << "nothing twice";
    Send(port, "x");  // dropped, not a failure loop
    if (!watchingLines) {  // the tty's calls fail with EIO: a line setting is refused with its cause
        EXPECT_FALSE(port.ApplyLineSettings());
        EXPECT_TRUE(diagnostics.Has("SetCommState") &&
                    diagnostics.Has("Cannot apply the line settings to " + pty.SlavePath() + ": Input/output error"))
            << ::testing::PrintToString(diagnostics.texts());
    }
    EXPECT_TRUE(port.ClosePort());
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutModemLines, DeviceGone, ::testing::Bool(),
                         [](const auto& param) { return param.param ? "FakeUart" : "Pty"; });

// Closing never waits past its time-out: a thread held in a call that does
// not return is reported by name, the port is closed regardless, and nothing
// the late thread may still touch is freed or reused under it.

// For the close that is to give up on a held thread: long enough that the
// thread which is free to end does so even on a busy machine.
constexpr auto kHeldCloseTimeout = 2000ms;

// A window whose PostMessage does not return until released: the writer
// thread posts to it after a file block, so it holds the writer there.
class HoldingWindow final : public platform::MessageTarget {
public:
    bool PostMessage(unsigned, platform::WPARAM, platform::LPARAM) override
    {
        held.Set();
        return released.Wait(-1ms);
    }
    platform::Event held{platform::ResetMode::Manual};
    platform::Event released{platform::ResetMode::Manual};
};

class EngineBoundedClose : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        UseFakeUart();
        Open();
    }
    void TearDown() override
    {
        window.released.Set();
        EngineTest::TearDown();
    }

    // The close that gives up on `thread`, which is named, then the close's
    // own failure; the other thread ended in time.
    void CloseGivesUpOn(const std::string& thread, const std::string& other)
    {
        port.SetCloseTimeout(kHeldCloseTimeout);
        EXPECT_TRUE(port.ClosePort());
        EXPECT_FALSE(port.IsOpen());
        const std::vector<std::string> all = diagnostics.texts();
        const auto at = std::find(all.begin(), all.end(), thread + " didn't exit.\n\r");
        ASSERT_TRUE(at != all.end() && at + 1 != all.end()) << thread;
        EXPECT_EQ(at[1], "Error closing port.\n");
        EXPECT_FALSE(diagnostics.Has(other + " didn't exit.\n\r"));
        EXPECT_TRUE(DeviceIsFree(pty.SlavePath())) << "the device was let go";
    }

    // The engine opens again once the late thread has ended (bounded wait).
    bool ReopensAfterTheLateThread()
    {
        for (int i = 0; i < 1000 && !port.OpenPort(); ++i)
            std::this_thread::sleep_for(10ms);
        return port.IsOpen();
    }

    HoldingWindow window;
};

TEST_F(EngineBoundedClose, ReaderHeldInADriverCall)
{
    Uart([](FakeUartState& s) { s.holdModemReads = true; });  // the reader samples the lines every few ms
    ASSERT_TRUE(uart->WaitHeld(1));
    CloseGivesUpOn("Reader/Status Thread", "Writer Thread");
    Uart([](FakeUartState& s) { EXPECT_TRUE(s.loweredByEngine & kLineDtr) << "the rest of the close ran"; });

    // While that thread lives, its rings are not handed to new threads.
    EXPECT_FALSE(port.OpenPort());
    EXPECT_EQ(port.LastOpenError(),
              "Cannot open " + pty.SlavePath() + ": the reader/status thread of the last connection has not ended");
    EXPECT_FALSE(Send(port, "x"));

    uart->ReleaseHolds();
    ASSERT_TRUE(ReopensAfterTheLateThread());
    owner.bytes.clear();
    ASSERT_TRUE(pty.WriteMaster("again") && owner.WaitBytes(5));
    EXPECT_EQ(owner.bytes, "again");
    EXPECT_TRUE(port.ClosePort());
    EXPECT_FALSE(diagnostics.Has("Waiting for the reader/status thread to end"));
}

TEST_F(EngineBoundedClose, WriterHeldWhileItHoldsAQueuedRequest)
{
    ASSERT_TRUE(port.QueueWriteRequest(FileBlock, 3, 0, Copy("abc"), &window));
    ASSERT_TRUE(Send(port, "de"));
    ASSERT_TRUE(window.held.Wait(10s));  // the writer is inside the file block's notice

    CloseGivesUpOn("Writer Thread", "Reader/Status Thread");
    EXPECT_EQ(port.LastOpenError(), "");
    EXPECT_FALSE(port.OpenPort());
    EXPECT_EQ(port.LastOpenError(),
              "Cannot open " + pty.SlavePath() + ": the writer thread of the last connection has not ended");

    // Released, the writer finishes with the request it holds (its buffer was
    // not freed under it) and ends; what it writes now goes nowhere.
    window.released.Set();
    ASSERT_TRUE(ReopensAfterTheLateThread());
    ASSERT_TRUE(Send(port, "new"));
    // "abc" went out before the close; "de" was still queued and never reaches
    // the device; the new connection's queue starts empty.
    EXPECT_EQ(pty.ReadCount(6), "abcnew");
    EXPECT_TRUE(port.ClosePort());
}

TEST_F(EngineBoundedClose, DestroyingTheEngineWaitsForTheLateThread)
{
    ASSERT_TRUE(port.ClosePort());
    auto engine = std::make_unique<CCommPort2>();
    MapSlotToPty(*engine, pty, 2);
    engine->SetLineControlFactory([this](int) { return std::make_unique<FakeUart>(uart); });
    engine->SetCloseTimeout(kHeldCloseTimeout);
    ASSERT_TRUE(engine->OpenPort());
    Uart([](FakeUartState& s) { s.holdModemReads = true; });
    ASSERT_TRUE(uart->WaitHeld(1));
    // The thread is let go only once the destructor waits for it: the engine
    // must not be freed before then.
    bool sawWait = false;
    std::thread releaser([&] {
        const auto end = Clock::now() + 10s;
        while (!(sawWait = diagnostics.Has("Waiting for the reader/status thread to end")) && Clock::now() < end)
            std::this_thread::sleep_for(5ms);
        uart->ReleaseHolds();
    });
    engine.reset();
    releaser.join();
    EXPECT_TRUE(sawWait);
    EXPECT_TRUE(diagnostics.Has("Reader/Status Thread didn't exit.\n\r"));
}

// Bytes through the engine both ways on a pty: nothing lost, repeated or
// reordered, however the blocks fall and however slowly either end takes them.

using EngineTransfer = EngineTest;

TEST_F(EngineTransfer, WhatTheDeviceSendsInOneGoArrivesInPacketsOfAtMost512)
{
    ASSERT_TRUE(port.OpenPort());
    for (const std::size_t size : {1, 300, 2000}) {
        owner.bytes.clear();
        owner.packetLengths.clear();
        const std::string data = Pattern(size, static_cast<std::uint32_t>(size));
        ASSERT_TRUE(pty.WriteMaster(data));
        ASSERT_TRUE(owner.WaitBytes(data.size())) << size;
        EXPECT_EQ(owner.bytes, data) << size;
        EXPECT_TRUE(size > 512 || owner.packetLengths.size() == 1) << size;
        for (std::uint32_t length : owner.packetLengths)
            EXPECT_TRUE(length >= 1 && length <= 512) << length;
    }
    EXPECT_TRUE(owner.zerosAfterData) << "a packet's unused rest is zero";
}

TEST_F(EngineTransfer, ASlowOwnerLosesNothing)
{
    ASSERT_TRUE(port.OpenPort());
    // The owner keeps every packet: the engine must stop at 15 and leave the
    // rest in the kernel until packets come back.
    owner.holdPackets = true;
    const std::string data = Pattern(40000, 2);
    std::atomic<bool> written{false};
    std::thread writer([&] { written = pty.WriteMaster(data); });
    owner.PumpUntil([&] { return owner.held.size() >= 15; });
    owner.PumpFor(200ms);
    EXPECT_EQ(owner.held.size(), 15u) << "nothing more until a packet is back";
    owner.holdPackets = false;
    for (ReceivePacket* packet : owner.held)
        port.ReleasePacket(packet);
    EXPECT_TRUE(owner.WaitBytes(data.size(), 20000ms));
    writer.join();
    EXPECT_TRUE(written);
    EXPECT_EQ(owner.bytes, data);
}

TEST_F(EngineTransfer, AStalledLineTakesPartialWritesAndFileBlocksInOrder)
{
    ASSERT_TRUE(port.OpenPort());
    // More than the pty holds, in pieces of odd sizes, with requests of
    // other kinds between them: the writer has to stop on a full line and go
    // on mid-block without losing or repeating a byte.
    std::string expected;
    EXPECT_TRUE(port.SendBytes(nullptr, 0));
    for (std::uint32_t seed = 7; expected.size() < 400000; ++seed) {
        const std::string block = Pattern(700 + (seed * 131) % 3000, seed);
        ASSERT_TRUE(Send(port, block));
        expected += block;
        if (seed % 5 == 0) {
            ASSERT_TRUE(port.QueueWriteRequest(SingleChar, 0, 'x', nullptr, nullptr));
            expected += 'x';
        }
    }
    // A file's blocks go out in their place, and each is answered.
    platform::MessageQueue window;
    EXPECT_TRUE(port.QueueWriteRequest(FileStart, 3, 0, nullptr, nullptr));
    EXPECT_TRUE(port.QueueWriteRequest(FileBlock, 3, 0, Copy("abc"), &window));
    EXPECT_TRUE(port.QueueWriteRequest(FileEnd, 0, 0, nullptr, nullptr));
    expected += "abc";
    std::this_thread::sleep_for(100ms);  // let the line fill up before reading
    EXPECT_EQ(pty.ReadCount(expected.size()), expected);
    EXPECT_EQ(pty.ReadCount(1, 50), "") << "nothing more";
    EXPECT_TRUE(port.WaitTransferDone(5000ms));
    const auto notice = window.Take(5000ms);
    EXPECT_TRUE(notice && notice->message == WM_FILEBLOCKDONE);
}

// The texts the engine posts for line events, errors and queue states: on a
// pty for characters, on a fake UART for modem lines and error counters. The
// flag character: the comm events dialog in tests/app/SendTest.cpp.

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

// The line settings applied to a real tty: what it takes and what it cannot
// take (reported, never silently dropped). A write that fails: DeviceGone.

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

}  // namespace
