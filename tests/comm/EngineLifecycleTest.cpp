// Opening and closing the engine on a pty: the tty's own settings come back,
// a refused open says what failed on which device and why, a device that goes
// away is reported once without a busy loop, and a close is never stuck.

#include "CommTestSupport.h"

#include "tests/common/TestFiles.h"

#include <sys/fsuid.h>
#include <sys/stat.h>
#include <termios.h>

#include <gtest/gtest.h>

#include <thread>

using namespace commtest;

namespace {

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
        ASSERT_TRUE(port.SendBytes(reinterpret_cast<const std::uint8_t*>("ok"), 2));
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
    }
    EXPECT_EQ(diagnostics.Count("CreateFile Failed!"), 3) << "the fixed text, for each refused open";
    PortSettings unusable = port.Settings();
    unusable.m_byParity = 9;
    EXPECT_TRUE(!port.OpenPort(unusable) && port.LastOpenError() == "Cannot open with parity code 9" &&
                port.Settings().m_byParity == 0) << "refused, and not taken";

    // Held by another engine: the exclusive mode refuses others, the lock
    // refuses root too; free again after the close.
    CCommPort2 second;
    MapSlotToPty(second, pty, 2);
    ASSERT_TRUE(port.OpenPort());
    EXPECT_FALSE(second.OpenPort());
    EXPECT_EQ(second.LastOpenError(),
              "Cannot open " + pty.SlavePath() + ": Device or resource busy (another program is using it)");
    EXPECT_FALSE(DeviceIsFree(pty.SlavePath()));
    ASSERT_TRUE(port.ClosePort());
    EXPECT_TRUE(second.OpenPort());
    EXPECT_EQ(second.LastOpenError(), "") << "a success forgets the last failure";
    EXPECT_TRUE(second.ClosePort());
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

TEST_F(EngineLifecycle, DestroyingAnOpenEngineClosesIt)
{
    {
        // The owner outlives the engine, as a window that owns it does.
        platform::MessageQueue window;
        CCommPort2 engine;
        MapSlotToPty(engine, pty, 2);
        engine.SetOwner(&window);
        ASSERT_TRUE(engine.OpenPort());
        ASSERT_TRUE(pty.WriteMaster("x"));
        EXPECT_TRUE(window.Take(5000ms).has_value());
    }
    EXPECT_TRUE(DeviceIsFree(pty.SlavePath()));
}

TEST_F(EngineLifecycle, ACloseIsNotStuckBehindXoff)
{
    EditSettings(port, [](PortSettings& s) { s.m_bXonXoffOut = 1; });
    ASSERT_TRUE(port.OpenPort());
    ASSERT_TRUE(pty.WriteMaster("\x13"));  // XOFF: the line stops (and nobody reads it anyway)
    const std::string block = Pattern(1024);
    for (int i = 0; i < 40; ++i)
        port.SendBytes(reinterpret_cast<const std::uint8_t*>(block.data()), block.size());
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
    const std::uint8_t byte = 1;
    port.SendBytes(&byte, 1);  // dropped, not a failure loop
    EXPECT_TRUE(port.ClosePort());
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutModemLines, DeviceGone, ::testing::Bool(),
                         [](const auto& param) { return param.param ? "FakeUart" : "Pty"; });

}  // namespace
