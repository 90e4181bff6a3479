// Connecting the main frame to a pseudo-terminal: what the window, the event
// box and the event log show, a device that fails or goes away, and the port
// settings dialog. Shutting down while open: ProcessTest's headless bridge.

#include "AppTestSupport.h"

#include "app/CommSettingsDlg.h"
#include "app/MyStatusBar.h"
#include "support/LogFile.h"
#include "support/Profile.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>

#include <functional>

namespace {

using namespace apptest;

class ConnectTest : public AppFixture {
protected:
    // The commands and buttons that follow the connection.
    void ExpectConnected(bool connected)
    {
        EXPECT_EQ(Frame()->m_pCommPort->IsOpen(), connected);
        EXPECT_EQ(Frame()->Action(32771)->isEnabled(), !connected);
        EXPECT_EQ(Frame()->Action(32773)->isEnabled(), !connected);
        EXPECT_EQ(Frame()->Action(32772)->isEnabled(), connected);
        EXPECT_EQ(Frame()->BarButton(1003)->isEnabled(), connected);
    }
    std::vector<std::string> EventLogLines()
    {
        Frame()->m_pEventLog->Flush();
        return ReadLines(WorkFile(Utf8(Frame()->EventLogName())));
    }
};

TEST_F(ConnectTest, AMissingDeviceFailsSaysWhichAndWhyAndStaysClosed)
{
    const std::string device = m_temp.path() + "/no-such-tty";
    SetRunDevicePath(1, device);
    Start();
    Frame()->Action(32771)->trigger();
    ASSERT_EQ(m_boxes.Texts(), std::vector<std::string>{"Connection Failed! \n"});
    // Which device and why: in the box's detail, the event box and the event log.
    const std::string cause = "Cannot open " + device + ": No such file or directory";
    EXPECT_EQ(m_boxes.Details()[0], cause);
    EXPECT_TRUE(EventBoxText().contains(QString::fromStdString(cause + "\n"))) << Utf8(EventBoxText());
    const std::vector<std::string> lines = EventLogLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_TRUE(lines[1].ends_with(" - " + cause)) << lines[1];
    ExpectConnected(false);
}

TEST_F(ConnectTest, AConnectionShowsItsLineLogsItAndShowsWhatComes)
{
    StartConnected();
    EXPECT_TRUE(m_boxes.Texts().empty());
    ExpectConnected(true);
    EXPECT_EQ(Utf8(Frame()->StatusBar()->ConnectionPane()->text()), "COM1: 9600 / N / 8 / 1");
    const QRegularExpression first(QStringLiteral("(^|\\n)\\d+:Status message go here:\\n"));
    EXPECT_TRUE(PumpUntil([&] { return first.match(EventBoxText()).hasMatch(); })) << Utf8(EventBoxText());
    EXPECT_TRUE(EventLogLines().at(1).ends_with(" - COM1 Opened"));

    Frame()->Action(32772)->trigger();
    ExpectConnected(false);
    Frame()->Action(32771)->trigger();
    ASSERT_TRUE(m_pty.WriteMaster("hello device\n"));
    EXPECT_TRUE(PumpUntil([&] { return ViewText().contains(QStringLiteral("hello device")); }));
}

bool RunSettingsDialog(CMainFrame* frame, const std::function<void(CCommSettingsDlg&)>& act)
{
    return RunModal<CCommSettingsDlg>([frame] { frame->Action(32773)->trigger(); }, act);
}

QComboBox* Combo(QDialog& d, const char* name) { return d.findChild<QComboBox*>(QString::fromLatin1(name)); }
void Ok(QDialog& d) { d.findChild<QPushButton*>(QStringLiteral("button1"))->click(); }

TEST_F(ConnectTest, TheSettingsDialogStoresPositionsMapsADeviceAndRefusesARelativePath)
{
    Start();
    ASSERT_EQ(Frame()->m_pCommPort->Settings().m_dwBaudRate, 9600u);
    ASSERT_TRUE(RunSettingsDialog(Frame(), [](CCommSettingsDlg& d) { d.reject(); }));
    EXPECT_EQ(Frame()->m_pCommPort->Settings().m_dwBaudRate, 110u) << "even Cancel loads the stored first position";
    ASSERT_TRUE(RunSettingsDialog(Frame(), [](CCommSettingsDlg& d) {
        const QString stable = QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1-if00-port0");
        d.SetDetectedDevices({{QStringLiteral("/dev/ttyUSB0"), QStringLiteral("FT232R USB UART"), stable},
                              {QStringLiteral("/dev/ttyS0"), QString(), QString()}});
        QComboBox* device = Combo(d, "combo549");
        EXPECT_TRUE(device->itemText(0).contains(QStringLiteral("FT232R USB UART")));
        EXPECT_EQ(device->itemData(1).toString(), stable) << "the stable name, beside its node";
        Combo(d, "combo544")->setCurrentIndex(2);   // COM3
        Combo(d, "combo545")->setCurrentIndex(12);  // 115200
        EXPECT_EQ(Utf8(device->currentText()), "/dev/ttyS2");
        device->setCurrentIndex(0);
        emit device->activated(0);
        Ok(d);
    }));
    EXPECT_EQ(Frame()->m_pCommPort->Settings().m_nPort, 2u);
    EXPECT_EQ(Frame()->m_pCommPort->Settings().m_dwBaudRate, 115200u);
    EXPECT_EQ(support::GetProfileInt("CommPortSettings", "BaudRate", -5), 12);
    EXPECT_EQ(DevicePathForSlot(3), "/dev/ttyUSB0");
    EXPECT_EQ(support::GetProfileString("CommPortSettings", "Device3", ""), "/dev/ttyUSB0");
    EXPECT_EQ(DevicePathForSlot(1), "/dev/ttyS0");

    bool stayedOpen = false;
    ASSERT_TRUE(RunSettingsDialog(Frame(), [&stayedOpen](CCommSettingsDlg& d) {
        Combo(d, "combo549")->setEditText(QStringLiteral("ttyUSB0"));
        Ok(d);
        stayedOpen = d.isVisible();
    }));
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(m_boxes.Texts().size(), 1u);
    EXPECT_EQ(DevicePathForSlot(3), "/dev/ttyUSB0");
}

}  // namespace
