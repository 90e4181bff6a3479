// The TCP server of the main frame: a pty as the serial device, real sockets
// on 127.0.0.1, the real window under the offscreen platform.

#include "AppTestSupport.h"

#include "app/EventMessageBox.h"
#include "app/MainFrame.h"
#include "app/TcpBridge.h"
#include "app/TcpPortDlg.h"
#include "app/Trevane2App.h"
#include "comm/CommPort2.h"
#include "comm/PortDevices.h"
#include "net/SocketWnd.h"
#include "terminal/Trevane2Doc.h"
#include "terminal/Trevane2View.h"
#include "tests/net/NetTestSupport.h"

#include <QAction>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QKeyEvent>
#include <QTimer>

#include <poll.h>

namespace {

using namespace apptest;
using nettest::FreePort;
using nettest::Pattern;
using nettest::TcpClient;

std::string Utf8(const QString& s) { return s.toStdString(); }

// Types `text` into `widget` key by key, as a person would.
void TypeKeys(QWidget* widget, const QString& text)
{
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(widget, &press);
        QCoreApplication::sendEvent(widget, &release);
    }
}

// The master side of a pty; its far end is COM1.
class Device {
public:
    bool Open()
    {
        m_master.reset(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
        char name[128];
        if (!m_master || grantpt(m_master.get()) != 0 || unlockpt(m_master.get()) != 0 ||
            ptsname_r(m_master.get(), name, sizeof name) != 0)
            return false;
        m_path = name;
        return true;
    }
    const std::string& Path() const { return m_path; }
    // Writes all of it, pumping the event loop while the pty is full.
    bool Write(const std::string& bytes)
    {
        std::size_t done = 0;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (done < bytes.size() && std::chrono::steady_clock::now() < end) {
            const ssize_t n = ::write(m_master.get(), bytes.data() + done, bytes.size() - done);
            if (n > 0)
                done += static_cast<std::size_t>(n);
            else
                QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        }
        return done == bytes.size();
    }
    // Reads until `count` bytes came or `timeoutMs` passed, pumping meanwhile.
    std::string ReadPumping(std::size_t count, int timeoutMs)
    {
        std::string got;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (got.size() < count && std::chrono::steady_clock::now() < end) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            char buffer[4096];
            const ssize_t n = ::read(m_master.get(), buffer, sizeof buffer);
            if (n > 0)
                got.append(buffer, static_cast<std::size_t>(n));
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return got;
    }

private:
    platform::UniqueFd m_master;
    std::string m_path;
};

class TcpBridgeTest : public AppFixture {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        ClearRunDevicePaths();
    }
    void TearDown() override
    {
        if (m_app)
            m_app->ExitInstance();
        m_app.reset();
        ClearRunDevicePaths();
        AppFixture::TearDown();
    }

    CMainFrame* Start(bool connectDevice = true)
    {
        if (connectDevice) {
            EXPECT_TRUE(m_device.Open());
            SetRunDevicePath(1, m_device.Path());
        }
        m_app = std::make_unique<CTrevane2App>();
        CommandLineOptions o;
        o.noSplash = true;
        EXPECT_TRUE(m_app->InitInstance(o));
        m_frame = m_app->GetMainFrame();
        m_bridge = m_frame->TcpBridge();
        if (connectDevice) {
            m_frame->Action(32771)->trigger();
            EXPECT_EQ(m_frame->m_pCommPort->m_bConnected, 1);
        }
        return m_frame;
    }

    // Opens the server on a free port of 127.0.0.1 through the menu command.
    void OpenServer()
    {
        m_bridge->SetBindAddress(INADDR_LOOPBACK);
        for (int attempt = 0; attempt < 5 && !m_bridge->IsListening(); ++attempt) {
            m_port = FreePort();
            m_bridge->SetServerPort(m_port);
            m_frame->Action(32781)->trigger();
        }
        ASSERT_TRUE(m_bridge->IsListening());
    }

    // A client connects and is being served.
    void ConnectClient(TcpClient& client, int receiveBuffer = 0)
    {
        ASSERT_TRUE(client.Connect(m_port, receiveBuffer));
        ASSERT_TRUE(PumpUntil([&] { return m_bridge->IsServing(); }));
    }

    QString ViewText() const
    {
        CTrevane2View* view = m_frame->GetActiveView();
        view->FlushPending();
        return view->PlainText();
    }
    QString EventBoxText() const { return m_frame->EventBox()->toPlainText(); }
    int EventLines(const QString& text) const { return static_cast<int>(EventBoxText().count(text)); }

    std::unique_ptr<CTrevane2App> m_app;
    CMainFrame* m_frame = nullptr;
    CTcpBridge* m_bridge = nullptr;
    Device m_device;
    int m_port = 0;
};

TEST_F(TcpBridgeTest, TheServerStartsClosedOnPort2000)
{
    Start(false);
    EXPECT_EQ(m_bridge->ServerPort(), 2000);
    EXPECT_FALSE(m_bridge->IsListening());
    EXPECT_FALSE(m_bridge->HoldsWinsock());
    // The three commands have no enabling rule.
    m_frame->UpdateCommandUI();
    for (unsigned id : {32780u, 32781u, 32782u}) {
        ASSERT_NE(m_frame->Action(id), nullptr) << id;
        EXPECT_TRUE(m_frame->Action(id)->isEnabled()) << id;
    }
}

TEST_F(TcpBridgeTest, OpenServeAndCloseWithAClientConnected)
{
    Start();
    OpenServer();
    EXPECT_TRUE(m_bridge->HoldsWinsock());
    EXPECT_TRUE(EventBoxText().contains(QStringLiteral("TCP server listening on 127.0.0.1:%1").arg(m_port)));
    TcpClient client;
    ConnectClient(client);
    EXPECT_TRUE(EventBoxText().contains(QStringLiteral("TCP client 127.0.0.1:")));

    m_frame->Action(32782)->trigger();
    EXPECT_FALSE(m_bridge->IsListening());
    EXPECT_FALSE(m_bridge->IsServing());
    EXPECT_FALSE(m_bridge->HoldsWinsock());
    EXPECT_TRUE(client.WaitClosedPumping(5000));
    TcpClient late;
    EXPECT_FALSE(late.Connect(m_port));
    // Serial data now goes to the terminal only.
    ASSERT_TRUE(m_device.Write("after close"));
    EXPECT_TRUE(PumpUntil([&] { return ViewText().contains(QStringLiteral("after close")); }));
    EXPECT_TRUE(m_boxes.Texts().empty());

    // And the server opens again on the same port at once.
    m_frame->Action(32781)->trigger();
    EXPECT_TRUE(m_bridge->IsListening());
}

TEST_F(TcpBridgeTest, OpeningTwiceKeepsTheOneListeningSocket)
{
    Start(false);
    OpenServer();
    const int handle = m_bridge->ListenSocket()->Handle();
    m_bridge->SetServerPort(FreePort());  // a new port waits for the next open
    m_frame->Action(32781)->trigger();
    ASSERT_TRUE(m_bridge->IsListening());
    EXPECT_EQ(m_bridge->ListenSocket()->Handle(), handle);
    EXPECT_EQ(m_bridge->ListenSocket()->LocalName(), "127.0.0.1:" + std::to_string(m_port));
    EXPECT_EQ(EventLines(QStringLiteral("TCP server already listening")), 1);
    EXPECT_TRUE(m_boxes.Texts().empty());
    TcpClient client;
    ConnectClient(client);
}

TEST_F(TcpBridgeTest, APortInUseOrOutOfRangeIsRefusedWithTheReason)
{
    Start(false);
    platform::UniqueFd other(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const int busy = FreePort();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(busy));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(other.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(other.get(), 1), 0);

    struct Case {
        int port;
        const char* reason;
    };
    const Case cases[] = {{busy, "Address already in use"}, {0, "1 to 65535"}, {70000, "1 to 65535"},
                          {-5, "1 to 65535"}};
    m_bridge->SetBindAddress(INADDR_LOOPBACK);
    for (const Case& c : cases) {
        const std::size_t before = m_boxes.Texts().size();
        m_bridge->SetServerPort(c.port);
        m_frame->Action(32781)->trigger();
        ASSERT_EQ(m_boxes.Texts().size(), before + 1) << c.port;
        EXPECT_EQ(m_boxes.Texts().back(), "Stream socket initialization failed.");
        EXPECT_NE(m_boxes.Details().back().find(c.reason), std::string::npos) << m_boxes.Details().back();
        EXPECT_FALSE(m_bridge->IsListening());
        // The sockets holder stays until the server is closed.
        EXPECT_TRUE(m_bridge->HoldsWinsock());
    }
    m_frame->Action(32782)->trigger();
    EXPECT_FALSE(m_bridge->HoldsWinsock());
}

struct Mode {
    const char* name;
    int hex;
    const char* clientSends;
    const char* deviceSends;
    const char* shownForClient;  // in the sent colour
    const char* shownForDevice;  // in the received colour
};

void PrintTo(const Mode& mode, std::ostream* out) { *out << mode.name; }

class TcpBridgeModes : public TcpBridgeTest, public ::testing::WithParamInterface<Mode> {};

TEST_P(TcpBridgeModes, BytesCrossBothWaysAndShowInTheirColours)
{
    const Mode& mode = GetParam();
    Start();
    m_frame->GetActiveDocument()->m_bHexMode = mode.hex;
    OpenServer();
    TcpClient client;
    ConnectClient(client);

    ASSERT_TRUE(client.Send(mode.clientSends));
    EXPECT_EQ(m_device.ReadPumping(std::strlen(mode.clientSends), 5000), mode.clientSends);
    ASSERT_TRUE(PumpUntil([&] { return ViewText().contains(QString::fromUtf8(mode.shownForClient)); }));

    const QString before = ViewText();
    ASSERT_TRUE(m_device.Write(mode.deviceSends));
    EXPECT_EQ(client.ReadPumping(std::strlen(mode.deviceSends), 5000), mode.deviceSends);
    const auto shownLength = static_cast<qsizetype>(std::strlen(mode.shownForDevice));
    ASSERT_TRUE(PumpUntil([&] { return ViewText().size() >= before.size() + shownLength; }));
    EXPECT_EQ(Utf8(ViewText()), std::string(mode.shownForClient) + mode.shownForDevice);

    const TerminalText& text = m_frame->GetActiveDocument()->Text();
    EXPECT_EQ(text.ColorAt(0), m_app->m_appearance.m_crSent);
    EXPECT_EQ(text.ColorAt(static_cast<std::uint64_t>(before.size())), m_app->m_appearance.m_crReceived);
    EXPECT_TRUE(m_boxes.Texts().empty());
}

INSTANTIATE_TEST_SUITE_P(
    TextAndHex, TcpBridgeModes,
    ::testing::Values(Mode{"text", 0, "AB", "hello", "AB", "hello"},
                      Mode{"hex", 1, "AB", "\x01\xFF", "41 42 ", "01 FF "}),
    [](const ::testing::TestParamInfo<Mode>& param) { return std::string(param.param.name); });

TEST_F(TcpBridgeTest, TheDisplayLineFeedReachesNeitherTheLineNorTheClient)
{
    Start();
    CTrevane2Doc* doc = m_frame->GetActiveDocument();
    doc->m_bHexMode = 1;
    doc->m_bReceiveLF = 1;
    OpenServer();
    TcpClient client;
    ConnectClient(client);

    // Client to device: the display gets a line feed after the first CR only.
    ASSERT_TRUE(client.Send("AB\rCD\r"));
    EXPECT_EQ(m_device.ReadPumping(6, 5000), "AB\rCD\r");
    ASSERT_TRUE(PumpUntil([&] { return ViewText().size() >= 21; }));
    EXPECT_EQ(Utf8(ViewText()), "41 42 0D 0A 43 44 0D ");

    // Device to client: the client gets the block as the device sent it.
    ASSERT_TRUE(m_device.Write("x\ry"));
    EXPECT_EQ(client.ReadPumping(3, 5000), "x\ry");
    ASSERT_TRUE(PumpUntil([&] { return ViewText().endsWith(QStringLiteral("79 ")); }));
    EXPECT_TRUE(ViewText().endsWith(QStringLiteral("78 0D 0A 79 ")));
}

TEST_F(TcpBridgeTest, AFullReceiveBufferWithReceiveLineFeedShowsEveryByte)
{
    Start(false);  // no serial port: the block is only shown
    m_frame->GetActiveDocument()->m_bReceiveLF = 1;
    OpenServer();
    TcpClient client;
    ConnectClient(client);
    // Blocks of up to 1596 bytes with a CR in each, so a full buffer gets
    // its line feed too.
    const std::string bytes = std::string(1595, 'a') + "\r" + std::string(1595, 'b') + "\r";
    ASSERT_TRUE(client.Send(bytes));
    ASSERT_TRUE(PumpUntil([&] { return ViewText().count(QLatin1Char('b')) == 1595; }));
    const QString shown = ViewText();
    EXPECT_EQ(shown.count(QLatin1Char('a')), 1595);
    EXPECT_GE(shown.count(QLatin1Char('\n')), 1);
}

TEST_F(TcpBridgeTest, LongClientBlocksReachTheLineWholeAndInOrder)
{
    Start();
    OpenServer();
    TcpClient client;
    ConnectClient(client);
    // One block above 1024 bytes, then a stream that fills the line's queue.
    const std::string one = Pattern(1500, 1);
    ASSERT_TRUE(client.Send(one));
    EXPECT_EQ(m_device.ReadPumping(one.size(), 5000), one);
    const std::string many = Pattern(300 * 1000, 9);
    std::thread sender([&] { client.Send(many); });
    const std::string got = m_device.ReadPumping(many.size(), 30000);
    sender.join();
    EXPECT_EQ(got.size(), many.size());
    EXPECT_TRUE(got == many) << "the stream arrived changed";
}

TEST_F(TcpBridgeTest, WithTheSerialPortClosedClientDataIsOnlyShown)
{
    Start(false);
    OpenServer();
    TcpClient client;
    ConnectClient(client);
    ASSERT_TRUE(client.Send("shown only"));
    EXPECT_TRUE(PumpUntil([&] { return ViewText().contains(QStringLiteral("shown only")); }));
    EXPECT_TRUE(m_boxes.Texts().empty());
}

TEST_F(TcpBridgeTest, ASecondClientIsTurnedAwayOncePerAttempt)
{
    Start();
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
    EXPECT_EQ(EventLines(QStringLiteral("Already serving a client.")), 2);
    EXPECT_TRUE(m_boxes.Texts().empty());
    EXPECT_EQ(m_frame->EventMessages()->OpenBox(), nullptr);

    // The first client is not disturbed.
    ASSERT_TRUE(m_device.Write("still here"));
    EXPECT_EQ(first.ReadPumping(10, 5000), "still here");
    // Once it leaves, the next one is served.
    first.Close();
    ASSERT_TRUE(PumpUntil([&] { return !m_bridge->IsServing(); }));
    EXPECT_TRUE(EventBoxText().contains(QStringLiteral(" left")));
    TcpClient next;
    ConnectClient(next);
    ASSERT_TRUE(m_device.Write("next"));
    EXPECT_EQ(next.ReadPumping(4, 5000), "next");
}

TEST_F(TcpBridgeTest, AClientResetFreesTheSlot)
{
    Start();
    OpenServer();
    TcpClient first;
    ConnectClient(first);
    first.Reset();
    ASSERT_TRUE(PumpUntil([&] { return !m_bridge->IsServing(); }));
    EXPECT_TRUE(EventBoxText().contains(QStringLiteral("Connection reset by peer"))) << Utf8(EventBoxText());
    TcpClient next;
    ConnectClient(next);
    EXPECT_EQ(EventLines(QStringLiteral("Already serving a client.")), 0);
}

TEST_F(TcpBridgeTest, AClientThatStopsReadingIsDisconnectedWithTheReason)
{
    Start();
    m_bridge->SetClientBacklogLimit(256 * 1024);
    OpenServer();
    TcpClient lazy;
    ConnectClient(lazy, 4096);
    // Small kernel buffers on both ends, so the bound is what fills.
    const int small = 4096;
    setsockopt(m_bridge->ClientSocket()->Handle(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);

    const std::string chunk = Pattern(4096, 2);
    for (int i = 0; i < 400 && m_bridge->IsServing(); ++i)
        ASSERT_TRUE(m_device.Write(chunk));
    ASSERT_TRUE(PumpUntil([&] { return !m_bridge->IsServing(); }, 20000));
    EXPECT_TRUE(EventBoxText().contains(QStringLiteral("reads too slowly"))) << Utf8(EventBoxText());
    EXPECT_TRUE(m_boxes.Texts().empty());
    EXPECT_EQ(m_frame->EventMessages()->OpenBox(), nullptr);
    // The terminal still shows the device, and the slot is free.
    EXPECT_TRUE(m_bridge->IsListening());
    TcpClient next;
    ConnectClient(next);
}

TEST_F(TcpBridgeTest, OneEventMessageBoxAtATimeAndDataKeepsMoving)
{
    Start();
    OpenServer();
    TcpClient client;
    ConnectClient(client);
    CEventMessageBox* boxes = m_frame->EventMessages();
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
    ASSERT_TRUE(m_device.Write("while open"));
    EXPECT_EQ(client.ReadPumping(10, 5000), "while open");
    ASSERT_TRUE(client.Send("back"));
    EXPECT_EQ(m_device.ReadPumping(4, 5000), "back");

    open->button(QMessageBox::Ok)->click();
    ASSERT_TRUE(PumpUntil([&] { return boxes->OpenBox() == nullptr; }));
    EXPECT_TRUE(EventBoxText().contains(QStringLiteral("3 messages came while the message box was open")));
    boxes->Show("Error sending data.", "later");
    EXPECT_NE(boxes->OpenBox(), nullptr);
}

TEST_F(TcpBridgeTest, ShutdownClosesTheServerAndTheClient)
{
    Start();
    OpenServer();
    TcpClient client;
    ConnectClient(client);
    m_app->ExitInstance();
    EXPECT_TRUE(client.WaitClosedPumping(5000));
    TcpClient late;
    EXPECT_FALSE(late.Connect(m_port));
}

// Runs `act` on the port dialog once it is up, from inside its loop.
void OnPortDialog(std::function<void(CTcpPortDlg&)> act, bool& seen)
{
    QTimer::singleShot(0, [act, &seen] {
        if (auto* dialog = qobject_cast<CTcpPortDlg*>(QApplication::activeModalWidget())) {
            seen = true;
            act(*dialog);
        }
    });
}

TEST_F(TcpBridgeTest, PortDialogTakesDigitsInRangeOnly)
{
    Start(false);
    bool seen = false;
    std::vector<bool> stayedOpen;
    OnPortDialog(
        [&](CTcpPortDlg& d) {
            EXPECT_EQ(Utf8(d.windowTitle()), "TCP포트설정");
            auto* edit = d.findChild<QLineEdit*>(QStringLiteral("edit1005"));
            auto* ok = d.findChild<QPushButton*>(QStringLiteral("button1"));
            ASSERT_NE(edit, nullptr);
            ASSERT_NE(ok, nullptr);
            ASSERT_NE(d.findChild<QPushButton*>(QStringLiteral("button2")), nullptr);
            EXPECT_EQ(Utf8(edit->text()), "2000");
            edit->clear();
            TypeKeys(edit, QStringLiteral("7a0-0 0"));
            EXPECT_EQ(Utf8(edit->text()), "7000");  // letters and signs do not go in
            for (const char* bad : {"0", "70000", "65536", ""}) {
                edit->setText(QString::fromLatin1(bad));
                ok->click();
                stayedOpen.push_back(d.isVisible());
            }
            edit->setText(QStringLiteral("7000"));
            ok->click();
        },
        seen);
    m_frame->Action(32780)->trigger();
    ASSERT_TRUE(seen);
    EXPECT_EQ(stayedOpen, std::vector<bool>(4, true));
    ASSERT_EQ(m_boxes.Texts().size(), 4u);
    for (const std::string& text : m_boxes.Texts())
        EXPECT_EQ(text, "The TCP port must be a number from 1 to 65535.");
    EXPECT_EQ(m_bridge->ServerPort(), 7000);
}

TEST_F(TcpBridgeTest, ANewPortWaitsUntilTheServerIsOpenedAgain)
{
    Start(false);
    OpenServer();
    const int newPort = FreePort();
    bool seen = false;
    OnPortDialog(
        [&](CTcpPortDlg& d) {
            d.findChild<QLineEdit*>(QStringLiteral("edit1005"))->setText(QString::number(newPort));
            d.findChild<QPushButton*>(QStringLiteral("button1"))->click();
        },
        seen);
    m_frame->Action(32780)->trigger();
    ASSERT_TRUE(seen);
    EXPECT_EQ(m_bridge->ServerPort(), newPort);
    EXPECT_EQ(m_bridge->ListenSocket()->LocalName(), "127.0.0.1:" + std::to_string(m_port));
    m_frame->Action(32782)->trigger();
    m_frame->Action(32781)->trigger();
    ASSERT_TRUE(m_bridge->IsListening());
    EXPECT_EQ(m_bridge->ListenSocket()->LocalName(), "127.0.0.1:" + std::to_string(newPort));
}

TEST_F(TcpBridgeTest, TheCommandLineOpensTheServerAtStart)
{
    m_app = std::make_unique<CTrevane2App>();
    CommandLineOptions o;
    o.noSplash = true;
    o.tcpServer = true;
    o.tcpPort = FreePort();
    o.tcpBind = "127.0.0.1";
    o.tcpBindAddress = INADDR_LOOPBACK;
    ASSERT_TRUE(m_app->InitInstance(o));
    m_frame = m_app->GetMainFrame();
    m_bridge = m_frame->TcpBridge();
    ASSERT_TRUE(PumpUntil([&] { return m_bridge->IsListening(); }));
    EXPECT_EQ(m_bridge->ListenSocket()->LocalName(), "127.0.0.1:" + std::to_string(o.tcpPort));
}

}  // namespace
