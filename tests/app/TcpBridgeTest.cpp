// The TCP server of the main frame: a pty as the serial device, real sockets
// on 127.0.0.1, the real window under the offscreen platform.

#include "AppTestSupport.h"

#include "app/ClientPortControl.h"
#include "app/EventMessageBox.h"
#include "app/TcpBridge.h"
#include "app/TcpPortDlg.h"
#include "net/SocketWnd.h"
#include "support/Profile.h"
#include "tests/comm/FakeUart.h"
#include "tests/common/ChildProcess.h"
#include "tests/net/NetTestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>

namespace {

using namespace apptest;
using nettest::FreePort;
using nettest::TcpClient;
using testpty::Pattern;

class TcpBridgeTest : public AppFixture {
protected:
    // With `device`, COM1 is a pty (read and written while the event loop
    // runs) and connected.
    void StartBridge(bool device = true)
    {
        m_pty.SetWhileWaiting([] { QCoreApplication::processEvents(QEventLoop::AllEvents, 5); });
        device ? (void)StartConnected() : (void)Start();
        m_bridge = Frame()->TcpBridge();
        m_bridge->SetBindAddress("127.0.0.1");
    }
    // Opens the server on a free port and lets `client` in from `host`.
    void Serve(int receiveBuffer = 0, const char* host = "127.0.0.1")
    {
        for (int attempt = 0; attempt < 5 && !m_bridge->IsListening(); ++attempt) {
            m_port = FreePort();
            m_bridge->SetServerPort(m_port);
            Frame()->Action(32781)->trigger();
        }
        ASSERT_TRUE(m_bridge->IsListening());
        ConnectClient(client, receiveBuffer, host);
    }
    void ConnectClient(TcpClient& c, int receiveBuffer = 0, const char* host = "127.0.0.1")
    {
        ASSERT_TRUE(c.Connect(m_port, receiveBuffer, host));
        ASSERT_TRUE(PumpUntil([&] { return m_bridge->IsServing(); }));
    }
    void ExpectServedBoth(TcpClient& c, const std::string& down, const std::string& up)
    {
        ASSERT_TRUE(m_pty.WriteMaster(down));
        EXPECT_EQ(c.ReadPumping(down.size(), 5000), down);
        ASSERT_TRUE(c.Send(up));
        EXPECT_EQ(m_pty.ReadCount(up.size()), up);
    }
    std::string ListeningOn() const { return m_bridge->ListenSocket()->LocalName(); }
    int EventLines(const QString& text) const { return static_cast<int>(EventBoxText().count(text)); }

    CTcpBridge* m_bridge = nullptr;
    int m_port = 0;
    TcpClient client;
};

TEST_F(TcpBridgeTest, OpenTwiceServeCloseOpenOnTheNewPortAndShutdownClosesTheClient)
{
    StartBridge();
    Serve();
    EXPECT_TRUE(m_bridge->HoldsWinsock());
    EXPECT_TRUE(EventBoxText().contains(QStringLiteral("TCP server listening on 127.0.0.1:%1").arg(m_port)));
    EXPECT_TRUE(EventBoxText().contains(QStringLiteral("TCP client 127.0.0.1:")));
    // Opened again: the one listening socket stays; a new port waits for the next open.
    const int newPort = FreePort();
    m_bridge->SetServerPort(newPort);
    Frame()->Action(32781)->trigger();
    EXPECT_EQ(ListeningOn(), "127.0.0.1:" + std::to_string(m_port));
    EXPECT_EQ(EventLines(QStringLiteral("TCP server already listening")), 1);

    Frame()->Action(32782)->trigger();
    EXPECT_FALSE(m_bridge->IsListening() || m_bridge->IsServing() || m_bridge->HoldsWinsock());
    EXPECT_TRUE(client.WaitClosedPumping(5000));
    TcpClient late;
    EXPECT_FALSE(late.Connect(m_port));
    ASSERT_TRUE(m_pty.WriteMaster("after close"));  // to the terminal only now
    EXPECT_TRUE(PumpUntil([&] { return ViewText().contains(QStringLiteral("after close")); }));

    Frame()->Action(32781)->trigger();
    ASSERT_EQ(ListeningOn(), "127.0.0.1:" + std::to_string(newPort));
    m_port = newPort;
    TcpClient again;
    ConnectClient(again);
    Stop();
    EXPECT_TRUE(again.WaitClosedPumping(5000));
    EXPECT_TRUE(m_boxes.Texts().empty());
}

// With the serial port closed: a server port in use or out of range is
// refused with the reason; then client bytes are shown, not sent, and that is
// said once.
TEST_F(TcpBridgeTest, APortInUseOrOutOfRangeIsRefusedWithTheReasonAndWithoutAPortClientBytesAreOnlyShown)
{
    StartBridge(false);
    const int busy = FreePort();
    const platform::UniqueFd other = nettest::ListenOn(busy);
    ASSERT_TRUE(other);
    for (const auto& [port, reason] : {std::pair<int, const char*>{busy, "Address already in use"}, {70000, "1 to 65535"}}) {
        m_bridge->SetServerPort(port);
        Frame()->Action(32781)->trigger();
        ASSERT_EQ(m_boxes.Texts().back(), "Stream socket initialization failed.");
        EXPECT_NE(m_boxes.Details().back().find(reason), std::string::npos) << m_boxes.Details().back();
        EXPECT_FALSE(m_bridge->IsListening());
    }
    EXPECT_EQ(m_boxes.Texts().size(), 2u);
    EXPECT_TRUE(m_bridge->HoldsWinsock()) << "the sockets stay started until the server is closed";
    Serve();
    for (const char* bytes : {"ab", "cd"}) {
        ASSERT_TRUE(client.Send(bytes));
        ASSERT_TRUE(PumpUntil([&] { return ViewText().endsWith(QString::fromLatin1(bytes)); }));
    }
    EXPECT_EQ(EventLines(QStringLiteral("TCP client data not sent: the serial port is closed")), 1);
    Frame()->Action(32782)->trigger();
    EXPECT_FALSE(m_bridge->HoldsWinsock());
}

TEST_F(TcpBridgeTest, BytesCrossBothWaysAndShowInTheirColoursAsTextOrHex)
{
    const struct {
        int hex;
        const char *deviceSends, *shownForClient, *shownForDevice;
    } modes[] = {{0, "hello", "AB", "hello"}, {1, "\x01\xFF", "41 42 ", "01 FF "}};
    StartBridge();
    Serve();
    for (const auto& mode : modes) {
        Doc()->m_bHexMode = mode.hex;
        const qsizetype base = ViewText().size();
        const QString shown = QString::fromUtf8(mode.shownForDevice) + QString::fromUtf8(mode.shownForClient);
        ExpectServedBoth(client, mode.deviceSends, "AB");
        ASSERT_TRUE(PumpUntil([&] { return ViewText().size() >= base + shown.size(); })) << Utf8(ViewText());
        EXPECT_TRUE(ViewText().mid(base) == shown) << Utf8(ViewText());
        EXPECT_EQ(Doc()->Text().ColorAt(base), m_app->m_appearance.m_crReceived) << mode.hex;
        EXPECT_EQ(Doc()->Text().ColorAt(base + shown.size() - 1), m_app->m_appearance.m_crSent) << mode.hex;
    }
    // The display's line feed after a CR reaches neither the line nor the client.
    Doc()->m_bReceiveLF = 1;
    const qsizetype base = ViewText().size();
    ExpectServedBoth(client, "x\ry", "AB\rCD\r");
    ASSERT_TRUE(PumpUntil([&] { return ViewText().size() >= base + 33; }));
    EXPECT_EQ(Utf8(ViewText().mid(base)), "78 0D 0A 79 41 42 0D 0A 43 44 0D ");
    EXPECT_TRUE(m_boxes.Texts().empty());
}

TEST_F(TcpBridgeTest, LongClientBlocksReachTheLineWholeAndInOrder)
{
    StartBridge();
    Serve();
    // One block above 1024 bytes, then a stream that fills the line's queue.
    const std::string one = Pattern(1500, 1);
    ASSERT_TRUE(client.Send(one));
    EXPECT_EQ(m_pty.ReadCount(one.size()), one);
    // The line stalls (nothing reads the device) until the bridge waits for
    // room; the engine says when there is some again.
    const std::string many = Pattern(2 * 1000 * 1000, 9);
    std::thread sender([&] { client.Send(many); });
    EXPECT_TRUE(PumpUntil([&] { return Frame()->m_pCommPort->PendingWriteRequests() > CTcpBridge::kSerialBacklogLimit; }, 20000));
    const std::string got = m_pty.ReadCount(many.size(), 30000);
    sender.join();
    EXPECT_TRUE(got == many) << "the stream arrived changed: " << got.size() << " of " << many.size() << " bytes";
}

TEST_F(TcpBridgeTest, ASecondClientIsTurnedAwayUntilTheFirstLeavesOrIsReset)
{
    StartBridge();
    Serve();
    for (int attempt = 1; attempt <= 2; ++attempt) {
        TcpClient second;
        ASSERT_TRUE(second.Connect(m_port));
        EXPECT_TRUE(second.WaitClosedPumping(5000)) << attempt;
        ASSERT_TRUE(PumpUntil([&] { return EventLines(QStringLiteral("Already serving a client.")) == attempt; }));
    }
    EXPECT_TRUE(m_boxes.Texts().empty());
    ExpectServedBoth(client, "still here", "me too");  // the first client is not disturbed
    client.Close();
    // A reset is named as one whichever direction meets it first: the
    // device talks to each client, unread, before and after it resets.
    for (int reset = 1; reset <= 5; ++reset) {
        TcpClient next;
        ConnectClient(next);
        ASSERT_TRUE(next.Send("n"));
        EXPECT_EQ(m_pty.ReadCount(1), "n");
        ASSERT_TRUE(m_pty.WriteMaster(Pattern(2000, reset)));
        ASSERT_TRUE(PumpUntil([&] { return m_bridge->IsServing() && m_bridge->ClientSocket()->QueuedSendBytes() == 0; }));
        next.Reset();
        ASSERT_TRUE(m_pty.WriteMaster(Pattern(2000, reset)));
        ASSERT_TRUE(PumpUntil([&] { return !m_bridge->IsServing(); }));
        EXPECT_EQ(EventLines(QStringLiteral("(Connection reset by peer)")), reset) << Utf8(EventBoxText());
    }
    EXPECT_EQ(EventLines(QStringLiteral(" left")), 6) << "the first client's leave, then five resets";
    EXPECT_EQ(EventLines(QStringLiteral("Already serving a client.")), 2);
}

// The old client's end may still be on its way as notices when the next
// connection waits: the slot is judged on what the client has done.
TEST_F(TcpBridgeTest, AClientThatComesStraightBackIsServedWhileTheDeviceTalks)
{
    StartBridge();
    Serve();
    const std::string traffic = Pattern(200, 5);
    for (int round = 0; round < 200; ++round) {
        ASSERT_TRUE(m_pty.WriteMaster(traffic));
        client.Close();
        ASSERT_TRUE(client.Connect(m_port));
        ASSERT_TRUE(PumpUntil([&] {
            return EventLines(QStringLiteral(" connected")) == round + 2 || EventLines(QStringLiteral("Already serving")) > 0;
        })) << round;
    }
    EXPECT_EQ(EventLines(QStringLiteral("Already serving a client.")), 0);
    ASSERT_TRUE(client.Send("last"));
    EXPECT_EQ(m_pty.ReadCount(4), "last");
}

// socat sends, says it has finished (half-close) and waits two seconds for
// the answer, as a scripted client does.
TEST_F(TcpBridgeTest, AClientThatHasFinishedSendingStillGetsTheAnswer)
{
    StartBridge();
    Serve();
    client.Close();
    testchild::ChildProcess socat;
    testchild::ChildOptions options;
    options.out = testchild::Stream::File;
    options.outputFile = m_temp.path() + "/socat.out";
    const std::string script = "printf 'AT\\r' | socat -t2 - TCP:127.0.0.1:" + std::to_string(m_port);
    ASSERT_TRUE(socat.Start({"sh", "-c", script}, options));
    EXPECT_EQ(m_pty.ReadCount(3), "AT\r");
    ASSERT_TRUE(m_pty.WriteMaster("OK\r\n"));
    ASSERT_TRUE(PumpUntil([&] { return socat.WaitExit(std::chrono::milliseconds(0)).has_value(); }, 10000));
    EXPECT_EQ(testfiles::ReadFile(options.outputFile), "OK\r\n");
    // Gone once the device has been quiet a while.
    ASSERT_TRUE(PumpUntil([&] { return !m_bridge->IsServing(); }, CTcpBridge::kHalfClosedQuietMs + 3000));
    EXPECT_TRUE(EventBoxText().contains(QStringLiteral(" left"))) << Utf8(EventBoxText());
}

TEST_F(TcpBridgeTest, AClientThatStopsReadingIsDisconnectedWithTheReason)
{
    StartBridge();
    m_bridge->SetClientBacklogLimit(256 * 1024);
    Serve(4096);
    // Small kernel buffers on both ends, so the bound is what fills.
    const int small = 4096;
    setsockopt(m_bridge->ClientSocket()->Handle(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    const std::string chunk = Pattern(4096, 2);
    for (int i = 0; i < 400 && m_bridge->IsServing(); ++i)
        ASSERT_TRUE(m_pty.WriteMaster(chunk));
    ASSERT_TRUE(PumpUntil([&] { return !m_bridge->IsServing(); }, 20000));
    EXPECT_TRUE(EventBoxText().contains(QStringLiteral("reads too slowly"))) << Utf8(EventBoxText());
    EXPECT_TRUE(m_boxes.Texts().empty());
    TcpClient next;
    ConnectClient(next);
}

TEST_F(TcpBridgeTest, OneEventMessageBoxAtATimeAndDataKeepsMoving)
{
    StartBridge();
    Serve();
    CEventMessageBox* boxes = Frame()->EventMessages();
    for (const char* detail : {"first", "second", "third"})
        boxes->Show("Error sending data.", detail);
    boxes->Show("Error accepting client connection.", "fourth");
    QMessageBox* open = boxes->OpenBox();
    ASSERT_TRUE(open != nullptr && open->isVisible());
    EXPECT_EQ(boxes->HeldBackCount(), 3);
    // A burst of one message gives one line.
    EXPECT_EQ(EventLines(QStringLiteral("(not shown: another message box is open)")), 2);
    // The handler that raised it returned at once: both directions still move.
    ExpectServedBoth(client, "while open", "back");
    open->button(QMessageBox::Ok)->click();
    ASSERT_TRUE(PumpUntil([&] { return boxes->OpenBox() == nullptr; }));
    EXPECT_TRUE(EventBoxText().contains(QStringLiteral("3 messages came while the message box was open")));
}

TEST_F(TcpBridgeTest, AClientThatStopsAcknowledgingIsCutOffByTheKeepaliveTimeoutWithTheReason)
{
    StartBridge();
    Serve();
    int idle = 0;
    socklen_t length = sizeof idle;
    getsockopt(m_bridge->ClientSocket()->Handle(), IPPROTO_TCP, TCP_KEEPIDLE, &idle, &length);
    EXPECT_EQ(idle, CTcpBridge::kDefaultKeepAliveSeconds);
    // A vanished peer cannot be made on loopback without root; a peer whose
    // window stays shut meets the same user timeout (1 + 3 x 1 s here).
    client.Close();
    m_bridge->SetKeepAlive(1);
    TcpClient silent;
    ConnectClient(silent, 4096);
    const int small = 4096;
    setsockopt(m_bridge->ClientSocket()->Handle(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    ASSERT_TRUE(m_pty.WriteMaster(Pattern(256 * 1024, 3)));
    ASSERT_TRUE(PumpUntil([&] { return !m_bridge->IsServing(); }, 15000));
    EXPECT_TRUE(EventBoxText().contains(QStringLiteral(" left (Connection timed out)"))) << Utf8(EventBoxText());
}

TEST_F(TcpBridgeTest, AnIdleClientIsDisconnectedWhileOneThatTalksStays)
{
    StartBridge();
    m_bridge->SetIdleTimeout(1);
    Serve();
    for (int i = 0; i < 8; ++i) {  // 2 s of talk, a block every 250 ms
        ASSERT_TRUE(client.Send("."));
        Pump(250);
        ASSERT_TRUE(m_bridge->IsServing()) << i;
    }
    EXPECT_TRUE(client.WaitClosedPumping(3000));
    EXPECT_TRUE(EventBoxText().contains(QStringLiteral(" disconnected: idle for 1 s"))) << Utf8(EventBoxText());
}

TEST_F(TcpBridgeTest, WithTakeoverANewClientReplacesTheOldOneWhoseBytesStillGoOut)
{
    StartBridge();
    Serve();
    for (const bool takeover : {false, true}) {
        m_bridge->SetTakeover(takeover);
        ASSERT_TRUE(client.Send("sent before"));
        TcpClient next;
        ASSERT_TRUE(next.Connect(m_port));
        EXPECT_TRUE((takeover ? client : next).WaitClosedPumping(5000)) << takeover;
        EXPECT_EQ(m_pty.ReadCount(11), "sent before") << takeover;
        ExpectServedBoth(takeover ? next : client, "down", "up");
    }
    EXPECT_EQ(EventLines(QStringLiteral("Already serving a client.")), 1);
    EXPECT_EQ(EventLines(QStringLiteral(" disconnected: replaced by 127.0.0.1:")), 1) << Utf8(EventBoxText());
}

TEST_F(TcpBridgeTest, IPv6ClientsAreServedOnTheirAddressAndByTheDefaultServerBesideIPv4Ones)
{
    if (!nettest::HasIPv6Loopback())
        GTEST_SKIP() << "::1 cannot be bound on this machine";
    StartBridge();
    m_bridge->SetBindAddress("::1");
    Serve(0, "::1");
    EXPECT_EQ(ListeningOn(), "[::1]:" + std::to_string(m_port));
    ExpectServedBoth(client, "six", "VI");
    EXPECT_TRUE(EventBoxText().contains(QStringLiteral("TCP client [::1]:"))) << Utf8(EventBoxText());
    Frame()->Action(32782)->trigger();
    m_bridge->SetBindAddress("");
    Frame()->Action(32781)->trigger();
    ASSERT_EQ(ListeningOn(), "[::]:" + std::to_string(m_port));
    for (const char* host : {"127.0.0.1", "::1"}) {
        TcpClient c;
        ConnectClient(c, 0, host);
        ExpectServedBoth(c, host, "up");
        const std::string name = m_bridge->ClientSocket()->PeerName();
        EXPECT_EQ(name.rfind(std::string(host) == "::1" ? "[::1]:" : "127.0.0.1:", 0), 0u) << name;
        c.Close();
        ASSERT_TRUE(PumpUntil([&] { return !m_bridge->IsServing(); }));
    }
}

// Telnet mode: the greeting, commands out of what reaches the line, answers
// back, 0xFF doubled both ways.
TEST_F(TcpBridgeTest, TelnetModeStripsCommandsAnswersOnceAndDoublesIac)
{
    StartBridge();
    m_bridge->SetMode(TcpMode::Telnet);
    Serve();
    EXPECT_EQ(client.ReadPumping(9, 5000), std::string("\xff\xfb\x00\xff\xfd\x00\xff\xfb\x03", 9));
    EXPECT_TRUE(EventBoxText().contains(QStringLiteral(" connected (telnet)")));
    ASSERT_TRUE(client.Send(std::string("a\xff\xff" "b\xff\xfd\x01\xff\xfb\x18\xff\xfb\x18" "c", 14)));
    EXPECT_EQ(m_pty.ReadCount(4), std::string("a\xff" "bc"));
    EXPECT_EQ(client.ReadPumping(6, 5000), std::string("\xff\xfb\x01\xff\xfe\x18", 6));
    ASSERT_TRUE(m_pty.WriteMaster(std::string("x\xffy", 3)));
    EXPECT_EQ(client.ReadPumping(4, 5000), std::string("x\xff\xffy", 4));
}

// RFC 2217 by hand: the option agreed, DTR off answered on a pty that has
// no modem lines, and a break the client leaves on ends by itself.
TEST_F(TcpBridgeTest, Rfc2217ModeAnswersDtrAndEndsABreakByItself)
{
    StartBridge();
    m_bridge->SetMode(TcpMode::Rfc2217);
    Serve();
    EXPECT_EQ(client.ReadPumping(9, 5000).size(), 9u);
    ASSERT_TRUE(client.Send(std::string("\xff\xfb\x2c", 3)));
    EXPECT_EQ(client.ReadPumping(3, 5000), std::string("\xff\xfd\x2c", 3));
    // The lines' state once (a pty has none).
    EXPECT_EQ(client.ReadPumping(7, 5000), std::string("\xff\xfa\x2c\x6b\x00\xff\xf0", 7));
    auto request = [&](char value) {
        EXPECT_TRUE(client.Send(std::string("\xff\xfa\x2c\x05", 4) + value + "\xff\xf0"));
        return client.ReadPumping(7, 5000);
    };
    EXPECT_EQ(request(9), std::string("\xff\xfa\x2c\x69\x09\xff\xf0", 7));
    EXPECT_EQ(request(5), std::string("\xff\xfa\x2c\x69\x05\xff\xf0", 7));
    Pump(CClientPortControl::kMaxBreakMs + 300);
    EXPECT_EQ(request(4), std::string("\xff\xfa\x2c\x69\x06\xff\xf0", 7));
}

// Serial bytes held while the client has suspended them are escaped like
// any others when they go out.
TEST_F(TcpBridgeTest, Rfc2217BytesHeldWhileSuspendedComeOutEscaped)
{
    StartBridge();
    m_bridge->SetMode(TcpMode::Rfc2217);
    Serve();
    EXPECT_EQ(client.ReadPumping(9, 5000).size(), 9u);
    ASSERT_TRUE(client.Send(std::string("\xff\xfb\x2c\xff\xfa\x2c\x08\xff\xf0", 9)));
    EXPECT_EQ(client.ReadPumping(3 + 7, 5000).size(), 10u);
    ASSERT_TRUE(m_pty.WriteMaster(std::string("x\xffy", 3)));
    EXPECT_EQ(client.ReadPumping(1, 500), "") << "held while suspended";
    ASSERT_TRUE(client.Send(std::string("\xff\xfa\x2c\x09\xff\xf0", 6)));
    EXPECT_EQ(client.ReadPumping(4, 5000), std::string("x\xff\xffy", 4));
}

// A purge of the receive buffer also drops the serial bytes still waiting
// for the client; its answer and what the device says next still come.
TEST_F(TcpBridgeTest, Rfc2217PurgeOfTheReceiveBufferDropsSerialBytesWaitingForTheClient)
{
    StartBridge();
    m_bridge->SetMode(TcpMode::Rfc2217);
    Serve(4096);
    const int small = 4096;
    setsockopt(m_bridge->ClientSocket()->Handle(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    EXPECT_EQ(client.ReadPumping(9, 5000).size(), 9u);
    ASSERT_TRUE(client.Send(std::string("\xff\xfb\x2c", 3)));
    EXPECT_EQ(client.ReadPumping(3 + 7, 5000).size(), 10u);
    const std::string flood(256 * 1024, 'a');
    ASSERT_TRUE(m_pty.WriteMaster(flood));
    ASSERT_TRUE(PumpUntil([&] { return m_bridge->ClientSocket()->QueuedSendBytes() > 128 * 1024; }));
    ASSERT_TRUE(client.Send(std::string("\xff\xfa\x2c\x0c\x01\xff\xf0", 7)));
    ASSERT_TRUE(PumpUntil([&] { return m_bridge->ClientSocket()->QueuedSendBytes() < 64 * 1024; }));
    ASSERT_TRUE(m_pty.WriteMaster("END"));
    std::string got;
    for (int round = 0; round < 50 && !got.ends_with("END"); ++round)
        got += client.ReadPumping(1 << 20, 200);
    ASSERT_TRUE(got.ends_with("END")) << got.size();
    EXPECT_NE(got.find(std::string("\xff\xfa\x2c\x70\x01\xff\xf0", 7)), std::string::npos) << "the answer";
    EXPECT_LT(std::count(got.begin(), got.end(), 'a'), 64 * 1024);
}

// RFC 2217 modem state notices from a UART's lines: the current state once
// the option is agreed, then each change the client's mask lets through.
TEST_F(TcpBridgeTest, Rfc2217ModeNotifiesModemLineChanges)
{
    auto uart = std::make_shared<commtest::FakeUartState>();
    ASSERT_TRUE(m_pty.Open(false));
    SetRunDevicePath(1, m_pty.SlavePath());
    Start();
    Frame()->m_pCommPort->SetLineControlFactory([uart](int) { return std::make_unique<commtest::FakeUart>(uart); });
    Frame()->Action(32771)->trigger();
    ASSERT_TRUE(Frame()->m_pCommPort->IsOpen());
    m_bridge = Frame()->TcpBridge();
    m_bridge->SetBindAddress("127.0.0.1");
    m_bridge->SetMode(TcpMode::Rfc2217);
    Serve();
    EXPECT_EQ(client.ReadPumping(9, 5000).size(), 9u);
    ASSERT_TRUE(client.Send(std::string("\xff\xfb\x2c\xff\xfa\x2c\x0b\xb0\xff\xf0", 10)));
    EXPECT_EQ(client.ReadPumping(3 + 7, 5000), std::string("\xff\xfd\x2c\xff\xfa\x2c\x6f\xb0\xff\xf0", 10));
    EXPECT_EQ(client.ReadPumping(7, 5000), std::string("\xff\xfa\x2c\x6b\x30\xff\xf0", 7));
    {
        std::lock_guard lock(uart->mutex);
        uart->lines |= kLineCd;
    }
    EXPECT_EQ(client.ReadPumping(7, 5000), std::string("\xff\xfa\x2c\x6b\xb0\xff\xf0", 7));
}

TEST_F(TcpBridgeTest, ThePortDialogTakesANumberInRangeOnly)
{
    StartBridge(false);
    std::vector<bool> stayedOpen;
    ASSERT_TRUE(RunModal<CTcpPortDlg>([this] { Frame()->Action(32780)->trigger(); }, [&](CTcpPortDlg& d) {
        auto* edit = d.findChild<QLineEdit*>(QStringLiteral("edit1005"));
        d.findChild<QSpinBox*>(QStringLiteral("spinIdleTimeout"))->setValue(90);
        d.findChild<QCheckBox*>(QStringLiteral("checkTakeover"))->setChecked(true);
        d.findChild<QComboBox*>(QStringLiteral("comboMode"))->setCurrentIndex(2);
        for (const char* text : {"0", "65536", "7000"}) {
            edit->setText(QString::fromLatin1(text));
            d.findChild<QPushButton*>(QStringLiteral("button1"))->click();
            stayedOpen.push_back(d.isVisible());
        }
    }));
    EXPECT_EQ(stayedOpen, (std::vector<bool>{true, true, false}));
    EXPECT_EQ(m_boxes.Texts(), std::vector<std::string>(2, "The TCP port must be a number from 1 to 65535."));
    EXPECT_EQ(m_bridge->ServerPort(), 7000);
    EXPECT_TRUE(m_bridge->IdleTimeout() == 90 && m_bridge->Takeover());
    EXPECT_EQ(support::GetProfileInt(kTcpSection, kTcpIdleTimeoutEntry, 0), 90) << "stored for later runs";
    EXPECT_EQ(support::GetProfileInt(kTcpSection, kTcpTakeoverEntry, 0), 1);
    EXPECT_EQ(m_bridge->Mode(), TcpMode::Rfc2217);
    EXPECT_EQ(support::GetProfileInt(kTcpSection, kTcpModeEntry, 0), 2);
}

}  // namespace
