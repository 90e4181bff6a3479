// The main frame with a pseudo-terminal as the serial device.

#include "AppTestSupport.h"

#include "app/MainFrame.h"
#include "app/MyStatusBar.h"
#include "app/Trevane2App.h"
#include "comm/CommPort2.h"
#include "app/CommSettingsDlg.h"
#include "comm/PortDevices.h"
#include "support/LogFile.h"
#include "support/Profile.h"
#include "terminal/Trevane2Doc.h"
#include "terminal/Trevane2View.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>

namespace {

using namespace apptest;

std::string Utf8(const QString& s) { return s.toStdString(); }

class ConnectTest : public AppFixture {
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

    CMainFrame* Start()
    {
        m_app = std::make_unique<CTrevane2App>();
        CommandLineOptions o;
        o.noSplash = true;
        EXPECT_TRUE(m_app->InitInstance(o));
        return m_app->GetMainFrame();
    }

    // A pty mapped to COM1 and connected.
    CMainFrame* StartConnected()
    {
        EXPECT_TRUE(m_pty.Open());
        SetRunDevicePath(1, m_pty.SlavePath());
        CMainFrame* frame = Start();
        frame->Action(32771)->trigger();
        EXPECT_EQ(frame->m_pCommPort->m_bConnected, 1);
        return frame;
    }

    QString ViewText() const
    {
        CTrevane2View* view = m_app->GetMainFrame()->GetActiveView();
        view->FlushPending();
        return view->PlainText();
    }

    std::unique_ptr<CTrevane2App> m_app;
    Pty m_pty;
};

TEST_F(ConnectTest, MissingDeviceFailsAndStaysClosed)
{
    const std::string device = m_temp.path() + "/no-such-tty";
    SetRunDevicePath(1, device);
    CMainFrame* frame = Start();
    frame->Action(32771)->trigger();
    ASSERT_EQ(m_boxes.Texts().size(), 1u);
    EXPECT_EQ(m_boxes.Texts()[0], "Connection Failed! \n");
    // Which device and why: in the box's detail, the event box and the event log.
    const std::string cause = "Cannot open " + device + ": No such file or directory";
    EXPECT_EQ(m_boxes.Details()[0], cause);
    EXPECT_TRUE(frame->EventBox()->toPlainText().contains(QString::fromStdString(cause + "\n")))
        << Utf8(frame->EventBox()->toPlainText());
    frame->m_pEventLog->Flush();
    const std::vector<std::string> lines = ReadLines(WorkFile(Utf8(frame->EventLogName())));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_TRUE(EndsWith(lines[1], " - " + cause)) << lines[1];
    EXPECT_NE(frame->m_pCommPort->m_bConnected, 1);
    EXPECT_TRUE(frame->Action(32771)->isEnabled());
    EXPECT_TRUE(frame->Action(32773)->isEnabled());
    EXPECT_FALSE(frame->Action(32772)->isEnabled());
    for (unsigned id : {1003u, 1004u, 1005u})
        EXPECT_FALSE(frame->BarButton(id)->isEnabled());
    EXPECT_EQ(Utf8(frame->m_strConnStatus), "연결해제");
}

TEST_F(ConnectTest, ConnectShowsTheLineAndLogsIt)
{
    CMainFrame* frame = StartConnected();
    EXPECT_TRUE(m_boxes.Texts().empty());
    EXPECT_EQ(Utf8(frame->m_strConnStatus), "COM1: 9600 / N / 8 / 1");
    EXPECT_EQ(Utf8(frame->StatusBar()->ConnectionPane()->text()), "COM1: 9600 / N / 8 / 1");
    EXPECT_FALSE(frame->Action(32771)->isEnabled());
    EXPECT_FALSE(frame->Action(32773)->isEnabled());
    EXPECT_TRUE(frame->Action(32772)->isEnabled());
    for (unsigned id : {1003u, 1004u, 1005u})
        EXPECT_TRUE(frame->BarButton(id)->isEnabled());

    // The engine numbers its texts process-wide: "1:" when this test runs alone.
    const QRegularExpression first(QStringLiteral("(^|\\n)\\d+:Status message go here:\\n"));
    EXPECT_TRUE(PumpUntil([&] { return first.match(frame->EventBox()->toPlainText()).hasMatch(); }))
        << Utf8(frame->EventBox()->toPlainText());
    frame->m_pEventLog->Flush();
    const std::vector<std::string> lines = ReadLines(WorkFile(Utf8(frame->EventLogName())));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_TRUE(EndsWith(lines[1], " - COM1 Opened")) << lines[1];
    EXPECT_TRUE(PumpUntil([&] {
        frame->m_pEventLog->Flush();
        return ReadFile(WorkFile(Utf8(frame->EventLogName()))).find(":Status message go here:") !=
               std::string::npos;
    }));

    frame->Action(32772)->trigger();
    EXPECT_EQ(frame->m_pCommPort->m_bConnected, 0);
    EXPECT_EQ(Utf8(frame->StatusBar()->ConnectionPane()->text()), "연결해제");
    EXPECT_TRUE(frame->Action(32771)->isEnabled());
    EXPECT_FALSE(frame->BarButton(1003)->isEnabled());
}

TEST_F(ConnectTest, ClockStillRunsWhileOpen)
{
    CMainFrame* frame = StartConnected();
    frame->StatusBar()->RefreshPanes();
    EXPECT_TRUE(frame->StatusBar()->ClockPane()->isEnabled());
    EXPECT_EQ(frame->StatusBar()->ClockPane()->text(), frame->StatusBar()->ClockText());
}

TEST_F(ConnectTest, ReceivedTextReachesTheView)
{
    StartConnected();
    ASSERT_TRUE(m_pty.Write("hello device\n"));
    EXPECT_TRUE(PumpUntil([&] { return ViewText().contains(QStringLiteral("hello device")); }));
}

TEST_F(ConnectTest, ReceiveLineFeedOnExpandsTheFirstCarriageReturn)
{
    CMainFrame* frame = StartConnected();
    CTrevane2Doc* doc = frame->GetActiveDocument();
    doc->m_bHexMode = 1;  // shows every byte as it reached the view
    doc->m_bReceiveLF = 1;
    ASSERT_TRUE(m_pty.Write("AB\rCD"));
    EXPECT_TRUE(PumpUntil([&] { return ViewText().contains(QStringLiteral("44 ")); }));
    EXPECT_EQ(Utf8(ViewText()), "41 42 0D 0A 43 44 ");
    ASSERT_TRUE(m_pty.Write("A\rB\r"));
    EXPECT_TRUE(PumpUntil([&] { return ViewText().size() > 18; }));
    Pump(50);
    EXPECT_EQ(Utf8(ViewText()), "41 42 0D 0A 43 44 41 0D 0A 42 0D ");
}

TEST_F(ConnectTest, ReceiveLineFeedOffLeavesTheBlock)
{
    CMainFrame* frame = StartConnected();
    CTrevane2Doc* doc = frame->GetActiveDocument();
    doc->m_bHexMode = 1;
    doc->m_bReceiveLF = 0;
    ASSERT_TRUE(m_pty.Write("AB\rCD"));
    EXPECT_TRUE(PumpUntil([&] { return ViewText().contains(QStringLiteral("44 ")); }));
    EXPECT_EQ(Utf8(ViewText()), "41 42 0D 43 44 ");
}

TEST_F(ConnectTest, EventBoxStartsAfreshPast20000Bytes)
{
    CMainFrame* frame = StartConnected();
    ASSERT_TRUE(PumpUntil([&] { return frame->m_nEventChars > 0; }));
    const std::string filler(100, 'x');
    int sent = 0;
    // Status texts go through the engine's own queue, a few at a time.
    while (frame->m_nEventChars <= CMainFrame::kEventBoxLimit && sent < 1000) {
        for (int i = 0; i < 5; ++i, ++sent)
            frame->m_pCommPort->UpdateStatus(filler + "\r\n");
        PumpUntil([&] { return false; }, 30);
    }
    ASSERT_GT(frame->m_nEventChars, CMainFrame::kEventBoxLimit);
    const int before = frame->m_nEventChars;
    frame->m_pCommPort->UpdateStatus("LAST ONE\r\n");
    ASSERT_TRUE(PumpUntil([&] { return frame->EventBox()->toPlainText().contains(QStringLiteral("LAST ONE")); }));
    EXPECT_LT(frame->m_nEventChars, before);
    // The new text stands alone at the top of the emptied box.
    const QString box = frame->EventBox()->toPlainText().trimmed();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d+:LAST ONE$")).match(box).hasMatch())
        << Utf8(box.left(200));
}

TEST_F(ConnectTest, DeviceGoingAwayClosesThePort)
{
    CMainFrame* frame = StartConnected();
    m_pty.Close();
    EXPECT_TRUE(PumpUntil([&] { return frame->m_pCommPort->m_bConnected != 1; }));
    EXPECT_EQ(Utf8(frame->m_strConnStatus), "연결해제");
    EXPECT_TRUE(frame->Action(32771)->isEnabled());
    EXPECT_FALSE(frame->Action(32772)->isEnabled());
    EXPECT_TRUE(frame->EventBox()->toPlainText().contains(QStringLiteral("device went away")));
    EXPECT_TRUE(m_boxes.Texts().empty());
}

TEST_F(ConnectTest, ShutdownWhileOpenWritesTheEndLines)
{
    CMainFrame* frame = StartConnected();
    const std::string log = WorkFile(Utf8(frame->EventLogName()));
    ASSERT_TRUE(m_pty.Write("x"));
    Pump(50);
    m_app->ExitInstance();
    const std::vector<std::string> lines = ReadLines(log);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_TRUE(EndsWith(lines.back(), " - Logging End!")) << lines.back();
}

// Runs `act` on the settings dialog once it is up, from inside its loop.
void OnDialog(std::function<void(CCommSettingsDlg&)> act, bool& seen)
{
    QTimer::singleShot(0, [act, &seen] {
        if (auto* dialog = qobject_cast<CCommSettingsDlg*>(QApplication::activeModalWidget())) {
            seen = true;
            act(*dialog);
        }
    });
}

TEST_F(ConnectTest, SettingsDialogFirstRunAndStore)
{
    CMainFrame* frame = Start();
    bool seen = false;
    OnDialog(
        [](CCommSettingsDlg& d) {
            auto* port = d.findChild<QComboBox*>(QStringLiteral("combo544"));
            auto* baud = d.findChild<QComboBox*>(QStringLiteral("combo545"));
            EXPECT_EQ(Utf8(port->currentText()), "COM1");
            EXPECT_EQ(Utf8(baud->currentText()), "110");
            EXPECT_EQ(Utf8(d.findChild<QComboBox*>(QStringLiteral("combo546"))->currentText()), "8");
            EXPECT_EQ(Utf8(d.findChild<QComboBox*>(QStringLiteral("combo547"))->currentText()), "No");
            EXPECT_EQ(Utf8(d.findChild<QComboBox*>(QStringLiteral("combo548"))->currentText()), "1");
            EXPECT_EQ(port->count(), 8);
            EXPECT_EQ(baud->count(), 15);
            port->setCurrentIndex(7);   // COM8
            baud->setCurrentIndex(12);  // 115200
            d.findChild<QPushButton*>(QStringLiteral("button1"))->click();
        },
        seen);
    frame->Action(32773)->trigger();
    ASSERT_TRUE(seen);
    EXPECT_EQ(frame->m_pCommPort->m_nPort, 7u);
    EXPECT_EQ(frame->m_pCommPort->m_dwBaudRate, 115200u);
    EXPECT_EQ(support::GetProfileInt("CommPortSettings", "Port", -5), 7);
    EXPECT_EQ(support::GetProfileInt("CommPortSettings", "BaudRate", -5), 12);
    EXPECT_EQ(support::GetProfileInt("CommPortSettings", "DataBits", -5), 4);
}

TEST_F(ConnectTest, SettingsCancelStillLoadsTheStoredValues)
{
    CMainFrame* frame = Start();
    EXPECT_EQ(frame->m_pCommPort->m_dwBaudRate, 9600u);
    bool seen = false;
    OnDialog([](CCommSettingsDlg& d) { d.reject(); }, seen);
    frame->Action(32773)->trigger();
    ASSERT_TRUE(seen);
    EXPECT_EQ(frame->m_pCommPort->m_dwBaudRate, 110u);
}

TEST_F(ConnectTest, SettingsDialogMapsADeviceToASlot)
{
    CMainFrame* frame = Start();
    bool seen = false;
    OnDialog(
        [](CCommSettingsDlg& d) {
            d.SetDetectedDevices({{QStringLiteral("/dev/ttyUSB0"), QStringLiteral("FT232R USB UART")},
                                  {QStringLiteral("/dev/ttyS0"), QString()}});
            auto* device = d.findChild<QComboBox*>(QStringLiteral("combo549"));
            EXPECT_EQ(device->count(), 2);
            EXPECT_TRUE(device->itemText(0).contains(QStringLiteral("FT232R USB UART")));
            EXPECT_EQ(Utf8(d.DeviceForSlot(1)), "/dev/ttyS0");
            d.findChild<QComboBox*>(QStringLiteral("combo544"))->setCurrentIndex(2);  // COM3
            EXPECT_EQ(Utf8(device->currentText()), "/dev/ttyS2");
            device->setCurrentIndex(0);
            emit device->activated(0);
            EXPECT_EQ(Utf8(d.DeviceForSlot(3)), "/dev/ttyUSB0");
            d.findChild<QPushButton*>(QStringLiteral("button1"))->click();
        },
        seen);
    frame->Action(32773)->trigger();
    ASSERT_TRUE(seen);
    EXPECT_EQ(DevicePathForSlot(3), "/dev/ttyUSB0");
    EXPECT_EQ(support::GetProfileString("CommPortSettings", "Device3", ""), "/dev/ttyUSB0");
    EXPECT_EQ(DevicePathForSlot(1), "/dev/ttyS0");
}

TEST_F(ConnectTest, SettingsDialogRefusesARelativeDevice)
{
    CMainFrame* frame = Start();
    bool seen = false;
    bool stillOpen = false;
    OnDialog(
        [&stillOpen](CCommSettingsDlg& d) {
            d.findChild<QComboBox*>(QStringLiteral("combo549"))->setEditText(QStringLiteral("ttyUSB0"));
            d.findChild<QPushButton*>(QStringLiteral("button1"))->click();
            stillOpen = d.isVisible();
            d.reject();
        },
        seen);
    frame->Action(32773)->trigger();
    ASSERT_TRUE(seen);
    EXPECT_TRUE(stillOpen);
    ASSERT_EQ(m_boxes.Texts().size(), 1u);
    EXPECT_EQ(DevicePathForSlot(1), "/dev/ttyS0");
}

}  // namespace
