// The TCP server of the main frame: a pty as the serial device, real sockets
// on 127.0.0.1, the real window under the offscreen platform.

#include "AppTestSupport.h"

#include "app/EventMessageBox.h"
#include "app/TcpBridge.h"
#include "app/TcpPortDlg.h"
#include "net/SocketWnd.h"
#include "tests/net/NetTestSupport.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include <cstring>
#include <thread>

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
        if (device)
            StartConnected();
        else
            Start();
        m_bridge = Frame()->TcpBridge();
        m_bridge->SetBindAddress(INADDR_LOOPBACK);
    }
    // Opens the server on a free port of 127.0.0.1 through the menu command.
    void OpenServer()
    {
        for (int attempt = 0; attempt < 5 && !m_bridge->IsListening(); ++attempt) {
            m_port = FreePort();
            m_bridge->SetServerPort(m_port);
            Frame()->Action(32781)->trigger();
        }
        ASSERT_TRUE(m_bridge->IsListening());
    }
    // A client connects and is being served.
    void ConnectClient(TcpClient& client, int receiveBuffer = 0)
    {
        ASSERT_TRUE(client.Connect(m_port, receiveBuffer));
        ASSERT_TRUE(PumpUntil([&] { return m_bridge->IsServing(); }));
    }
    std::string ListeningOn() const { return m_bridge->ListenSocket()->LocalName(); }
    int EventLines(const QString& text) const { return static_cast<int>(EventBoxText().count(text)); }

    CTcpBridge* m_bridge = nullptr;
    int m_port = 0;
};

TEST_F(TcpBridgeTest, OpenTwiceServeCloseOpenOnTheNewPortAndShutdownClosesTheClient)
{
    StartBridge();
    OpenServer();
    EXPECT_TRUE(m_bridge->HoldsWinsock());
    EXPECT_TRUE(EventBoxText().contains(QStringLiteral("TCP server listening on 127.0.0.1:%1").arg(m_port)));
    // Opened again: the one listening socket stays; a new port waits for the next open.
    const int handle = m_bridge->ListenSocket()->Handle();
    const int newPort = FreePort();
    m_bridge->SetServerPort(newPort);
    Frame()->Action(32781)->trigger();
    EXPECT_EQ(m_bridge->ListenSocket()->Handle(), handle);
    EXPECT_EQ(ListeningOn(), "127.0.0.1:" + std::to_string(m_port));
    EXPECT_EQ(EventLines(QStringLiteral("TCP server already listening")), 1);
    TcpClient client;
    ConnectClient(client);
    EXPECT_TRUE(EventBoxText().contains(QStringLiteral("TCP client 127.0.0.1:")));

    Frame()->Action(32782)->trigger();
    EXPECT_FALSE(m_bridge->IsListening() || m_bridge->IsServing() || m_bridge->HoldsWinsock());
    EXPECT_TRUE(client.WaitClosedPumping(5000));
    TcpClient late;
    EXPECT_FALSE(late.Connect(m_port));
    ASSERT_TRUE(m_pty.WriteMaster("after close"));  // to the terminal only now
    EXPECT_TRUE(PumpUntil([&] { return ViewText().contains(QStringLiteral("after close")); }));

    Frame()->Action(32781)->trigger();
    ASSERT_TRUE(m_bridge->IsListening());
    EXPECT_EQ(ListeningOn(), "127.0.0.1:" + std::to_string(newPort));
    m_port = newPort;
    TcpClient again;
    ConnectClient(again);
    Stop();
    EXPECT_TRUE(again.WaitClosedPumping(5000));
    EXPECT_FALSE(late.Connect(m_port));
    EXPECT_TRUE(m_boxes.Texts().empty());
}

TEST_F(TcpBridgeTest, APortInUseOrOutOfRangeIsRefusedWithTheReason)
{
    StartBridge(false);
    const int busy = FreePort();
    const platform::UniqueFd other = nettest::ListenOn(busy);
    ASSERT_TRUE(other);
    const std::pair<int, const char*> cases[] = {{busy, "Address already in use"}, {70000, "1 to 65535"}};
    for (const auto& [port, reason] : cases) {
        const std::size_t before = m_boxes.Texts().size();
        m_bridge->SetServerPort(port);
        Frame()->Action(32781)->trigger();
        ASSERT_EQ(m_boxes.Texts().size(), before + 1) << port;
        EXPECT_EQ(m_boxes.Texts().back(), "Stream socket initialization failed.");
        EXPECT_NE(m_boxes.Details().back().find(reason), std::string::npos) << m_boxes.Details().back();
        EXPECT_FALSE(m_bridge->IsListening());
        EXPECT_TRUE(m_bridge->HoldsWinsock()) << "the sockets stay started until the server is closed";
    }
    Frame()->Action(32782)->trigger();
    EXPECT_FALSE(m_bridge->HoldsWinsock());
}

struct Mode {
    const char* name;
    int hex;
    const char* deviceSends;
    const char* shownForClient;  // "AB" from the client, in the sent colour
    const char* shownForDevice;  // in the received colour
};

void PrintTo(const Mode& mode, std::ostream* out) { *out << mode.name; }

class TcpBridgeModes : public TcpBridgeTest, public ::testing::WithParamInterface<Mode> {};

TEST_P(TcpBridgeModes, BytesCrossBothWaysAndShowInTheirColours)
{
    const Mode& mode = GetParam();
    StartBridge();
    Doc()->m_bHexMode = mode.hex;
    OpenServer();
    TcpClient client;
    ConnectClient(client);
    ASSERT_TRUE(client.Send("AB"));
    EXPECT_EQ(m_pty.ReadCount(2), "AB");
    const QString sent = QString::fromUtf8(mode.shownForClient);
    ASSERT_TRUE(PumpUntil([&] { return ViewText() == sent; })) << Utf8(ViewText());
    ASSERT_TRUE(m_pty.WriteMaster(mode.deviceSends));
    EXPECT_EQ(client.ReadPumping(std::strlen(mode.deviceSends), 5000), mode.deviceSends);
    ASSERT_TRUE(PumpUntil([&] { return ViewText() == sent + QString::fromUtf8(mode.shownForDevice); }))
        << Utf8(ViewText());
    EXPECT_EQ(Doc()->Text().ColorAt(0), m_app->m_appearance.m_crSent);
    EXPECT_EQ(Doc()->Text().ColorAt(static_cast<std::uint64_t>(sent.size())), m_app->m_appearance.m_crReceived);
    EXPECT_TRUE(m_boxes.Texts().empty());
}

INSTANTIATE_TEST_SUITE_P(TextAndHex, TcpBridgeModes,
                         ::testing::Values(Mode{"text", 0, "hello", "AB", "hello"},
                                           Mode{"hex", 1, "\x01\xFF", "41 42 ", "01 FF "}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(TcpBridgeTest, TheDisplayLineFeedReachesNeitherTheLineNorTheClient)
{
    StartBridge();
    Doc()->m_bHexMode = 1;
    Doc()->m_bReceiveLF = 1;
    OpenServer();
    TcpClient client;
    ConnectClient(client);
    // Client to device: the display gets a line feed after the first CR only.
    ASSERT_TRUE(client.Send("AB\rCD\r"));
    EXPECT_EQ(m_pty.ReadCount(6), "AB\rCD\r");
    ASSERT_TRUE(PumpUntil([&] { return ViewText().size() >= 21; }));
    EXPECT_EQ(Utf8(ViewText()), "41 42 0D 0A 43 44 0D ");
    // Device to client: the client gets the block as the device sent it.
    ASSERT_TRUE(m_pty.WriteMaster("x\ry"));
    EXPECT_EQ(client.ReadPumping(3, 5000), "x\ry");
    ASSERT_TRUE(PumpUntil([&] { return ViewText().endsWith(QStringLiteral("78 0D 0A 79 ")); })) << Utf8(ViewText());
}

TEST_F(TcpBridgeTest, WithTheSerialPortClosedFullClientBlocksAreShownWhole)
{
    StartBridge(false);  // no serial port: the blocks are only shown
    Doc()->m_bReceiveLF = 1;
    OpenServer();
    TcpClient client;
    ConnectClient(client);
    // Blocks of up to 1596 bytes with a CR in each, so a full buffer is to
    // get its line feed too.
    const std::string bytes = std::string(1595, 'a') + "\r" + std::string(1595, 'b') + "\r";
    ASSERT_TRUE(client.Send(bytes));
    ASSERT_TRUE(PumpUntil([&] { return ViewText().count(QLatin1Char('b')) == 1595; }));
    EXPECT_EQ(ViewText().count(QLatin1Char('a')), 1595);
    EXPECT_GE(ViewText().count(QLatin1Char('\n')), 1);
    EXPECT_TRUE(m_boxes.Texts().empty());
}

TEST_F(TcpBridgeTest, LongClientBlocksReachTheLineWholeAndInOrder)
{
    StartBridge();
    OpenServer();
    TcpClient client;
    ConnectClient(client);
    // One block above 1024 bytes, then a stream that fills the line's queue.
    const std::string one = Pattern(1500, 1);
    ASSERT_TRUE(client.Send(one));
    EXPECT_EQ(m_pty.ReadCount(one.size()), one);
    const std::string many = Pattern(300 * 1000, 9);
    std::thread sender([&] { client.Send(many); });
    const std::string got = m_pty.ReadCount(many.size(), 30000);
    sender.join();
    EXPECT_EQ(got.size(), many.size());
    EXPECT_TRUE(got == many) << "the stream arrived changed";
}

TEST_F(TcpBridgeTest, ASecondClientIsTurnedAwayUntilTheFirstLeavesOrIsReset)
{
    StartBridge();
    OpenServer();
    TcpClient first;
    ConnectClient(first);
    for (int attempt = 1; attempt <= 2; ++attempt) {
        TcpClient second;
        ASSERT_TRUE(second.Connect(m_port));
        EXPECT_TRUE(second.WaitClosedPumping(5000)) << attempt;
        ASSERT_TRUE(PumpUntil([&] { return EventLines(QStringLiteral("Already serving a client.")) == attempt; }));
    }
    Pump(100);
    EXPECT_EQ(EventLines(QStringLiteral("Already serving a client.")), 2) << "once per attempt";
    EXPECT_TRUE(m_boxes.Texts().empty());
    EXPECT_EQ(Frame()->EventMessages()->OpenBox(), nullptr);
    ASSERT_TRUE(m_pty.WriteMaster("still here"));
    EXPECT_EQ(first.ReadPumping(10, 5000), "still here") << "the first client is not disturbed";
    first.Close();
    ASSERT_TRUE(PumpUntil([&] { return !m_bridge->IsServing(); }));
    EXPECT_TRUE(EventBoxText().contains(QStringLiteral(" left")));

    TcpClient next;
    ConnectClient(next);
    ASSERT_TRUE(m_pty.WriteMaster("next"));
    EXPECT_EQ(next.ReadPumping(4, 5000), "next");
    next.Reset();
    ASSERT_TRUE(PumpUntil([&] { return !m_bridge->IsServing(); }));
    EXPECT_TRUE(EventBoxText().contains(QStringLiteral("Connection reset by peer"))) << Utf8(EventBoxText());
    TcpClient last;
    ConnectClient(last);
    EXPECT_EQ(EventLines(QStringLiteral("Already serving a client.")), 2);
}

TEST_F(TcpBridgeTest, AClientThatStopsReadingIsDisconnectedWithTheReason)
{
    StartBridge();
    m_bridge->SetClientBacklogLimit(256 * 1024);
    OpenServer();
    TcpClient lazy;
    ConnectClient(lazy, 4096);
    // Small kernel buffers on both ends, so the bound is what fills.
    const int small = 4096;
    setsockopt(m_bridge->ClientSocket()->Handle(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    const std::string chunk = Pattern(4096, 2);
    for (int i = 0; i < 400 && m_bridge->IsServing(); ++i)
        ASSERT_TRUE(m_pty.WriteMaster(chunk));
    ASSERT_TRUE(PumpUntil([&] { return !m_bridge->IsServing(); }, 20000));
    EXPECT_TRUE(EventBoxText().contains(QStringLiteral("reads too slowly"))) << Utf8(EventBoxText());
    EXPECT_TRUE(m_boxes.Texts().empty());
    EXPECT_EQ(Frame()->EventMessages()->OpenBox(), nullptr);
    EXPECT_TRUE(m_bridge->IsListening());
    TcpClient next;
    ConnectClient(next);
}

TEST_F(TcpBridgeTest, OneEventMessageBoxAtATimeAndDataKeepsMoving)
{
    StartBridge();
    OpenServer();
    TcpClient client;
    ConnectClient(client);
    CEventMessageBox* boxes = Frame()->EventMessages();
    boxes->Show("Error sending data.", "first");
    QMessageBox* open = boxes->OpenBox();
    ASSERT_NE(open, nullptr);
    EXPECT_TRUE(open->isVisible());
    EXPECT_EQ(Utf8(open->text()), "Error sending data.");
    boxes->Show("Error sending data.", "second");
    boxes->Show("Error sending data.", "third");
    boxes->Show("Error accepting client connection.", "fourth");
    EXPECT_EQ(boxes->OpenBox(), open);
    EXPECT_EQ(boxes->HeldBackCount(), 3);
    EXPECT_EQ(EventLines(QStringLiteral("(not shown: another message box is open)")), 2);
    // The handler that raised it returned at once: both directions still move.
    ASSERT_TRUE(m_pty.WriteMaster("while open"));
    EXPECT_EQ(client.ReadPumping(10, 5000), "while open");
    ASSERT_TRUE(client.Send("back"));
    EXPECT_EQ(m_pty.ReadCount(4), "back");

    open->button(QMessageBox::Ok)->click();
    ASSERT_TRUE(PumpUntil([&] { return boxes->OpenBox() == nullptr; }));
    EXPECT_TRUE(EventBoxText().contains(QStringLiteral("3 messages came while the message box was open")));
    boxes->Show("Error sending data.", "later");
    EXPECT_NE(boxes->OpenBox(), nullptr);
}

TEST_F(TcpBridgeTest, ThePortDialogTakesDigitsInRangeOnly)
{
    StartBridge(false);
    std::vector<bool> stayedOpen;
    ASSERT_TRUE(RunModal<CTcpPortDlg>([this] { Frame()->Action(32780)->trigger(); }, [&](CTcpPortDlg& d) {
        auto* edit = d.findChild<QLineEdit*>(QStringLiteral("edit1005"));
        auto* ok = d.findChild<QPushButton*>(QStringLiteral("button1"));
        EXPECT_EQ(Utf8(edit->text()), "2000");
        edit->clear();
        for (const QChar c : QStringLiteral("7a0-0 0")) {  // typed key by key, as a person would
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QCoreApplication::sendEvent(edit, &press);
        }
        EXPECT_EQ(Utf8(edit->text()), "7000") << "letters and signs do not go in";
        for (const char* bad : {"0", "70000", "65536", ""}) {
            edit->setText(QString::fromLatin1(bad));
            ok->click();
            stayedOpen.push_back(d.isVisible());
        }
        edit->setText(QStringLiteral("7000"));
        ok->click();
    }));
    EXPECT_EQ(stayedOpen, std::vector<bool>(4, true));
    EXPECT_EQ(m_boxes.Texts(), std::vector<std::string>(4, "The TCP port must be a number from 1 to 65535."));
    EXPECT_EQ(m_bridge->ServerPort(), 7000);
}

}  // namespace
