#include "CommTestSupport.h"

#include <sys/file.h>
#include <termios.h>

#include <gtest/gtest.h>

using namespace commtest;

TEST(EngineLifecycle, MissingDeviceIsRefused)
{
    DiagnosticCapture diagnostics;
    CCommPort2 port;
    SetRunDevicePath(2, "/nonexistent/kestrana-tty");
    port.m_nPort = 1;
    EXPECT_FALSE(port.OpenPort());
    EXPECT_EQ(port.m_bConnected, 0);
    EXPECT_STREQ(port.m_szPortName, "COM2");
    EXPECT_TRUE(diagnostics.Has("CreateFile Failed!"));
    EXPECT_EQ(port.LastOpenError(), "Cannot open /nonexistent/kestrana-tty: No such file or directory");
    EXPECT_FALSE(port.ClosePort());
    ClearRunDevicePaths();
}

TEST(EngineLifecycle, OpenCloseOpenAndCloseTwice)
{
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    CCommPort2 port;
    MapSlotToPty(port, pty);
    TestOwner owner(port);
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(port.OpenPort());
        EXPECT_EQ(port.m_bConnected, 1);
        EXPECT_EQ(port.DevicePath(), pty.path());
        const std::string marker = "round" + std::to_string(round);
        ASSERT_TRUE(pty.Write(marker));
        ASSERT_TRUE(owner.WaitBytes(marker.size()));
        EXPECT_EQ(std::string(owner.bytes.begin(), owner.bytes.end()), marker);
        owner.bytes.clear();
        const std::uint8_t out[] = {'o', 'k'};
        ASSERT_TRUE(port.SendBytes(out, 2));
        EXPECT_EQ(pty.Read(2).size(), 2u);
        EXPECT_TRUE(port.ClosePort());
        EXPECT_EQ(port.m_bConnected, 0);
        EXPECT_FALSE(port.ClosePort());
    }
}

TEST(EngineLifecycle, SettingsSavedAtOpenAndRestoredAtClose)
{
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    termios before{};
    ASSERT_EQ(::tcgetattr(pty.master(), &before), 0);
    before.c_lflag |= ICANON | ECHO;
    before.c_iflag |= ICRNL;
    cfsetispeed(&before, B4800);
    cfsetospeed(&before, B4800);
    ASSERT_EQ(::tcsetattr(pty.master(), TCSANOW, &before), 0);
    ASSERT_EQ(::tcgetattr(pty.master(), &before), 0);

    CCommPort2 port;
    MapSlotToPty(port, pty);
    port.m_dwBaudRate = 115200;
    ASSERT_TRUE(port.OpenPort());
    termios during{};
    ASSERT_EQ(::tcgetattr(pty.master(), &during), 0);
    EXPECT_EQ(during.c_lflag & (ICANON | ECHO), 0u);
    EXPECT_EQ(cfgetospeed(&during), static_cast<speed_t>(B115200));
    ASSERT_TRUE(port.ClosePort());

    termios after{};
    ASSERT_EQ(::tcgetattr(pty.master(), &after), 0);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    EXPECT_EQ(cfgetospeed(&after), static_cast<speed_t>(B4800));
}

TEST(EngineLifecycle, SecondOpenOfTheSameDeviceIsRefused)
{
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    DiagnosticCapture diagnostics;
    CCommPort2 first;
    CCommPort2 second;
    MapSlotToPty(first, pty);
    MapSlotToPty(second, pty);
    ASSERT_TRUE(first.OpenPort());
    EXPECT_FALSE(second.OpenPort());
    EXPECT_EQ(second.m_bConnected, 0);
    EXPECT_TRUE(diagnostics.Has("CreateFile Failed!"));

    // Another program: it cannot take the lock either.
    const int other = ::open(pty.path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (other >= 0) {
        EXPECT_NE(::flock(other, LOCK_EX | LOCK_NB), 0);
        ::close(other);
    }
    ASSERT_TRUE(first.ClosePort());
    EXPECT_TRUE(second.OpenPort());  // free again after the close
    EXPECT_TRUE(second.ClosePort());
}

TEST(EngineLifecycle, CloseWithReadAndEventWaitPendingIsPrompt)
{
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    CCommPort2 port;
    MapSlotToPty(port, pty);
    ASSERT_TRUE(port.OpenPort());
    std::this_thread::sleep_for(50ms);  // both threads are in their waits now
    const auto start = Clock::now();
    EXPECT_TRUE(port.ClosePort());
    EXPECT_LT(Clock::now() - start, 5s);  // far below the 20 s limit
}

TEST(EngineLifecycle, CloseWhileTheLineIsStoppedByXoff)
{
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    CCommPort2 port;
    MapSlotToPty(port, pty);
    port.m_bXonXoffOut = 1;
    ASSERT_TRUE(port.OpenPort());
    const std::uint8_t xoff = 0x13;
    ASSERT_TRUE(pty.Write(&xoff, 1));
    std::this_thread::sleep_for(50ms);
    const auto block = Pattern(1024);
    for (int i = 0; i < 40; ++i)
        port.SendBytes(block.data(), block.size());
    std::this_thread::sleep_for(50ms);
    EXPECT_GT(port.PendingWriteRequests(), 0u);  // the writer is stuck behind XOFF
    const auto start = Clock::now();
    EXPECT_TRUE(port.ClosePort());
    EXPECT_LT(Clock::now() - start, 5s);
}

TEST(EngineLifecycle, DestroyingAnOpenEngineClosesIt)
{
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    {
        // The owner outlives the engine, as a window that owns it does.
        platform::MessageQueue owner;
        CCommPort2 port;
        MapSlotToPty(port, pty);
        port.SetOwner(&owner);
        ASSERT_TRUE(port.OpenPort());
        ASSERT_TRUE(pty.Write("x"));
        EXPECT_TRUE(owner.Take(5000ms).has_value());
    }
    // The device is free again: the destructor closed it.
    CCommPort2 again;
    MapSlotToPty(again, pty);
    EXPECT_TRUE(again.OpenPort());
    EXPECT_TRUE(again.ClosePort());
}

TEST(EngineLifecycle, DeviceThatGoesAwayIsReportedOnceWithoutBusyLoop)
{
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    CCommPort2 port;
    MapSlotToPty(port, pty);
    const std::string path = pty.path();
    TestOwner owner(port);
    ASSERT_TRUE(port.OpenPort());
    ASSERT_TRUE(pty.Write("last"));
    ASSERT_TRUE(owner.WaitBytes(4));
    pty.CloseMaster();
    ASSERT_TRUE(owner.PumpUntil([&] { return owner.portGone > 0; }));
    EXPECT_TRUE(owner.HasText("Device gone: " + path + "\r\n"));

    const std::uint64_t wakeupsBefore = port.ReaderWakeups();
    owner.PumpFor(1000ms);
    EXPECT_LT(port.ReaderWakeups() - wakeupsBefore, 40u);  // a spinning thread: hundreds of thousands
    EXPECT_EQ(owner.portGone, 1);
    EXPECT_EQ(std::string(owner.bytes.begin(), owner.bytes.end()), "last");  // nothing twice

    const std::uint8_t byte = 1;
    port.SendBytes(&byte, 1);  // dropped, not a failure loop
    EXPECT_TRUE(port.ClosePort());
    EXPECT_EQ(port.m_bConnected, 0);
}

TEST(EngineLifecycle, StatusNumbersRunOnAcrossCloseAndOpen)
{
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    CCommPort2 port;
    MapSlotToPty(port, pty);
    TestOwner owner(port);
    ASSERT_TRUE(port.OpenPort());
    ASSERT_TRUE(owner.WaitText("Status message go here:\r\n"));
    port.UpdateStatus("one\r\n");
    ASSERT_TRUE(owner.WaitText("one\r\n"));
    ASSERT_TRUE(port.ClosePort());
    port.UpdateStatus("two\r\n");  // queued while closed
    port.UpdateStatus("three\r\n");
    owner.PumpFor(100ms);
    EXPECT_FALSE(owner.HasText("two\r\n"));
    ASSERT_TRUE(port.OpenPort());
    ASSERT_TRUE(owner.WaitText("three\r\n"));
    ASSERT_GE(owner.texts.size(), 4u);
    for (std::size_t i = 1; i < owner.texts.size(); ++i)
        EXPECT_EQ(TestOwner::NumberOf(owner.texts[i]), TestOwner::NumberOf(owner.texts[i - 1]) + 1);
    EXPECT_TRUE(port.ClosePort());
}

TEST(EngineLifecycle, LongStatusTextIsCutSafely)
{
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    CCommPort2 port;
    MapSlotToPty(port, pty);
    TestOwner owner(port);
    ASSERT_TRUE(port.OpenPort());
    port.UpdateStatus(std::string(400, 'L') + "\r\n");
    ASSERT_TRUE(owner.PumpUntil([&] { return !owner.texts.empty() && owner.texts.back().size() > 100; }));
    const std::string& text = owner.texts.back();
    EXPECT_EQ(text.size(), kStatusTextCapacity - 1);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    EXPECT_TRUE(port.ClosePort());
}
