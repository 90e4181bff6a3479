// A device that goes away and comes back under the main frame (offscreen):
// a pty behind a symbolic link plays it, as a USB adapter behind its stable
// name. The wait, the reopen with the same settings, a device held by
// another program, a flapping device, the TCP client let go with
// reconnecting off, and the twin adapter never taken. The wait at start and
// the client kept across the gap: the headless process test.

#include "AppTestSupport.h"

#include "app/MyStatusBar.h"
#include "app/PortReconnect.h"
#include "app/TcpBridge.h"
#include "comm/StableDeviceName.h"
#include "resources/MenuTable.h"
#include "support/Profile.h"
#include "tests/common/LinkedPty.h"
#include "tests/net/NetTestSupport.h"

#include <QLabel>

#include <fcntl.h>
#include <sys/file.h>
#include <termios.h>

#include <chrono>

namespace {

using namespace apptest;

class ReconnectTest : public AppFixture {
protected:
    // COM1 is the linked device, at 115200 baud, opened by hand.
    void StartOnLink(CommandLineOptions options = Quiet())
    {
        ASSERT_TRUE(m_device.Appear());
        SetRunDevicePath(1, m_device.Link());
        Start(options);
        PortSettings settings = Port().Settings();
        settings.m_dwBaudRate = 115200;
        Port().ApplySettings(settings);
        Frame()->Action(res::ID_COMM_OPEN)->trigger();
        ASSERT_TRUE(Port().IsOpen());
    }
    CCommPort2& Port() const { return *Frame()->m_pCommPort; }
    bool Waiting() const { return Frame()->Reconnect()->Waiting(); }
    bool Shows(const std::string& text, int ms = 5000)
    {
        return PumpUntil([&] { return EventBoxText().contains(QString::fromStdString(text)); }, ms);
    }
    int Lines(const std::string& text) const { return static_cast<int>(EventBoxText().count(QString::fromStdString(text))); }
    std::string Pane() const { return Utf8(Frame()->StatusBar()->ConnectionPane()->text()); }
    // The device is gone and Kestrana knows it.
    void GoAway()
    {
        m_device.Vanish();
        ASSERT_TRUE(PumpUntil([&] { return !Port().IsOpen(); }));
    }
    // Back, with a line written the moment it can be opened.
    void ComeBack(const std::string& first)
    {
        ASSERT_TRUE(m_device.Appear());
        ASSERT_TRUE(m_device.Pty().WriteMaster(first + "\r\n"));
        EXPECT_TRUE(PumpUntil([&] { return ViewText().contains(QString::fromStdString(first)); }))
            << Utf8(EventBoxText());
    }

    testpty::LinkedPty m_device{m_temp.path() + "/ttyDEV"};
};

TEST_F(ReconnectTest, TheDeviceIsWaitedForAndReopenedWithTheSameSettingsLosingNothingOrOnceLetGo)
{
    StartOnLink();
    GoAway();
    const std::string waiting = "COM1: waiting for " + m_device.Link();
    EXPECT_TRUE(Shows(waiting + " to come back"));
    EXPECT_EQ(Pane(), waiting);
    EXPECT_FALSE(EventBoxText().contains(QStringLiteral("went away"))) << "waiting, not closed";
    EXPECT_TRUE(Waiting());
    EXPECT_TRUE(Frame()->Action(res::ID_COMM_CLOSE)->isEnabled());
    EXPECT_FALSE(Frame()->Action(res::ID_COMM_SETTINGS)->isEnabled());
    EXPECT_TRUE(m_boxes.Texts().empty());
    testpty::PtyPair stranger;  // likely given the old node's name; the link is not made anew
    ASSERT_TRUE(stranger.Open(false));
    Pump(300);
    EXPECT_FALSE(Port().IsOpen()) << "a stranger under the old name was taken";

    ComeBack("first line after boot");
    EXPECT_TRUE(Port().IsOpen());
    EXPECT_EQ(Lines("COM1 reopened"), 1);
    EXPECT_EQ(Pane(), "COM1: 115200 / N / 8 / 1");
    termios line{};
    ASSERT_EQ(tcgetattr(m_device.Pty().Master(), &line), 0);
    EXPECT_EQ(cfgetospeed(&line), B115200) << "the stored speed, whatever the new device had";
    ASSERT_TRUE(m_device.Pty().WriteMaster("second\r\n"));
    EXPECT_TRUE(PumpUntil([&] { return ViewText().contains(QStringLiteral("second")); }));

    // A device held by another program is said once and taken when let go.
    GoAway();
    ASSERT_TRUE(m_device.Appear());
    {
        const platform::UniqueFd holder(::open(m_device.Link().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
        ASSERT_TRUE(holder);
        ASSERT_EQ(::flock(holder.get(), LOCK_EX | LOCK_NB), 0);
        EXPECT_TRUE(Shows("Device or resource busy; still waiting"));
        Pump(2 * CPortReconnect::kBusyRetryMs + 200);
        EXPECT_EQ(Lines("Device or resource busy"), 1) << Utf8(EventBoxText());
        EXPECT_FALSE(Port().IsOpen());
    }
    EXPECT_TRUE(PumpUntil([&] { return Lines("COM1 reopened") == 2; }, 3 * CPortReconnect::kBusyRetryMs));

    // Closing by hand ends the wait: a device that comes back later stays shut.
    GoAway();
    ASSERT_TRUE(PumpUntil([&] { return Waiting(); }));
    Frame()->Action(res::ID_COMM_CLOSE)->trigger();
    EXPECT_FALSE(Waiting());
    EXPECT_EQ(Pane(), "연결해제");
    ASSERT_TRUE(m_device.Appear());
    Pump(300);
    EXPECT_FALSE(Port().IsOpen());

    // The menu's check item is kept for later runs.
    QAction* reconnect = Frame()->Action(res::ID_COMM_RECONNECT);
    for (const bool on : {false, true}) {
        reconnect->trigger();
        EXPECT_EQ(reconnect->isChecked(), on);
        EXPECT_EQ(support::GetProfileInt("CommPortSettings", "Reconnect", -1), on ? 1 : 0);
    }
}

TEST_F(ReconnectTest, AFlappingDeviceCostsAFewLinesASecondAndEndsOpen)
{
    StartOnLink();
    const auto start = std::chrono::steady_clock::now();
    constexpr int kCycles = 30;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        m_device.Vanish();
        Pump(5);
        ASSERT_TRUE(m_device.Appear());
        Pump(5);
    }
    ComeBack("settled");
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    Pump(1200);  // the held lines are summed up
    const int lines = Lines("COM1");
    EXPECT_LE(lines, CPortReconnect::kReportsPerSecond * (static_cast<int>(seconds) + 2) + 1)
        << seconds << " s:\n" << Utf8(EventBoxText());
    EXPECT_TRUE(Port().IsOpen());
}

// With reconnecting off the port closes as it always did, and a TCP client
// is let go with the reason rather than left talking into a void. (With it
// on, the client is kept: the headless process test.)
TEST_F(ReconnectTest, WithReconnectingOffTheTcpClientIsLetGo)
{
    CommandLineOptions options = Quiet();
    options.noReconnect = true;
    StartOnLink(options);
    EXPECT_FALSE(Frame()->Action(res::ID_COMM_RECONNECT)->isChecked());
    CTcpBridge* bridge = Frame()->TcpBridge();
    bridge->SetBindAddress("127.0.0.1");
    for (int attempt = 0; attempt < 5 && !bridge->IsListening(); ++attempt) {
        bridge->SetServerPort(nettest::FreePort());
        Frame()->Action(res::ID_TCP_OPEN)->trigger();
    }
    nettest::TcpClient client;
    ASSERT_TRUE(client.Connect(bridge->ServerPort()));
    ASSERT_TRUE(PumpUntil([&] { return bridge->IsServing(); }));
    GoAway();
    EXPECT_TRUE(client.WaitClosedPumping(5000));
    EXPECT_TRUE(Shows("disconnected: the serial port's device went away"));
    EXPECT_TRUE(Shows("Port closed: the device went away"));
    EXPECT_FALSE(Waiting());
    EXPECT_TRUE(m_boxes.Texts().empty());
}

TEST_F(ReconnectTest, AnAdapterIsFollowedByItsStableNameNotItsTwinUnderTheOldName)
{
    const std::string byId = m_temp.path() + "/by-id";
    std::filesystem::create_directories(byId);
    SetStableNameFolder(byId);
    const std::unique_ptr<const char, void (*)(const char*)> restore("/dev/serial/by-id",
                                                                     [](const char* f) { SetStableNameFolder(f); });
    testpty::LinkedPty adapter(byId + "/usb-Kestrana_Adapter_A-if00-port0");
    testpty::LinkedPty twin(byId + "/usb-Kestrana_Adapter_B-if00-port0");
    ASSERT_TRUE(adapter.Appear());
    SetRunDevicePath(1, adapter.Pty().SlavePath());  // named by its node, as /dev/ttyUSB0
    Start();
    Frame()->Action(res::ID_COMM_OPEN)->trigger();
    ASSERT_TRUE(Port().IsOpen());

    adapter.Vanish();
    ASSERT_TRUE(PumpUntil([&] { return Waiting(); }));
    EXPECT_EQ(Frame()->Reconnect()->FollowedPath(), adapter.Link());
    ASSERT_TRUE(twin.Appear());  // the kernel may give it the old node's name
    ASSERT_TRUE(twin.Pty().WriteMaster("twin\r\n"));
    Pump(300);
    EXPECT_FALSE(Port().IsOpen()) << "the twin was taken";
    ASSERT_TRUE(adapter.Appear());
    ASSERT_TRUE(adapter.Pty().WriteMaster("mine\r\n"));
    EXPECT_TRUE(PumpUntil([&] { return ViewText().contains(QStringLiteral("mine")); }));
    EXPECT_FALSE(ViewText().contains(QStringLiteral("twin")));
}

}  // namespace
