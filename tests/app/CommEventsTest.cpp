// The comm events dialog on the frame's engine, with a pty as the device.

#include "AppTestSupport.h"

#include "app/CommEventsDlg.h"
#include "app/MainFrame.h"
#include "app/Trevane2App.h"
#include "comm/CommEvents.h"
#include "comm/CommPort2.h"
#include "comm/PortDevices.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>

#include <functional>

namespace {

using namespace apptest;

// Each box and the event it watches.
struct EventBox {
    const char* name;
    std::uint32_t bit;
};
const EventBox kEventBoxes[] = {
    {"check1020", EV_BREAK},  {"check1021", EV_CTS},    {"check1022", EV_DSR},
    {"check1023", EV_ERR},    {"check1024", EV_RING},   {"check1025", EV_RLSD},
    {"check1026", EV_RXCHAR}, {"check1027", EV_RXFLAG}, {"check1028", EV_TXEMPTY},
};

QCheckBox* Box(QDialog& d, const char* name) { return d.findChild<QCheckBox*>(QString::fromLatin1(name)); }
QLineEdit* Edit(QDialog& d, const char* name) { return d.findChild<QLineEdit*>(QString::fromLatin1(name)); }
QPushButton* Button(QDialog& d, const char* name) { return d.findChild<QPushButton*>(QString::fromLatin1(name)); }

std::uint32_t BoxesMask(QDialog& d)
{
    std::uint32_t mask = 0;
    for (const EventBox& entry : kEventBoxes)
        if (Box(d, entry.name)->isChecked())
            mask |= entry.bit;
    return mask;
}

class CommEventsTest : public AppFixture {
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
    CMainFrame* StartConnected()
    {
        EXPECT_TRUE(m_pty.Open());
        SetRunDevicePath(1, m_pty.SlavePath());
        CMainFrame* frame = Start();
        frame->Action(32771)->trigger();
        EXPECT_EQ(frame->m_pCommPort->m_bConnected, 1);
        return frame;
    }
    // Clicks "Events..." and runs `act` on the dialog from inside its loop.
    bool RunDialog(CMainFrame* frame, const std::function<void(CCommEventsDlg&)>& act)
    {
        bool seen = false;
        QTimer timer;  // goes with this call, even if no dialog came up
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (auto* dialog = qobject_cast<CCommEventsDlg*>(QApplication::activeModalWidget())) {
                seen = true;
                act(*dialog);
            }
            // Whatever happened, the loop must end.
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                dialog->reject();
        });
        timer.start(0);
        frame->BarButton(1002)->click();
        return seen;
    }
    // Event texts in the box that match `pattern` (one per line).
    static int CountLines(CMainFrame* frame, const QString& pattern)
    {
        const QRegularExpression re(pattern, QRegularExpression::MultilineOption);
        int n = 0;
        for (auto it = re.globalMatch(frame->EventBox()->toPlainText()); it.hasNext(); it.next())
            ++n;
        return n;
    }

    std::unique_ptr<CTrevane2App> m_app;
    Pty m_pty;
};

TEST(CommEventsFlagText, HexTextGivesTheFlagCharacter)
{
    struct Case {
        const char* text;
        std::uint8_t current;
        std::uint8_t expected;
    };
    const Case cases[] = {
        {"", 0x41, 0x00},     // empty: 0
        {"0A", 0x41, 0x0A},   {"0a", 0x41, 0x0A}, {"FF", 0x41, 0xFF}, {"7E", 0x00, 0x7E},
        {"A", 0x41, 0x0A},    // one digit
        {"123", 0x41, 0x12},  // at most the first two characters
        {"AZ", 0x41, 0x0A},   // the digits up to the first non-digit
        {"ZZ", 0x41, 0x41},   // no leading digit: the current one stays
        {" A", 0x41, 0x41},   {"-1", 0x0D, 0x0D}, {"G0", 0x0D, 0x0D},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CCommEventsDlg::FlagFromHexText(QString::fromLatin1(c.text), c.current), c.expected)
            << '"' << c.text << '"';
}

TEST(CommEventsFlagText, HexShownAsTwoDigitsOfTheUnsignedByte)
{
    EXPECT_EQ(CCommEventsDlg::FlagHexText(0x0A), QStringLiteral("0A"));
    EXPECT_EQ(CCommEventsDlg::FlagHexText(0x00), QStringLiteral("00"));
    EXPECT_EQ(CCommEventsDlg::FlagHexText(0xE9), QStringLiteral("E9"));
    EXPECT_EQ(CCommEventsDlg::FlagHexText(0xFF), QStringLiteral("FF"));
}

TEST_F(CommEventsTest, OpensWithTheDefaultsFromTheEventsButton)
{
    CMainFrame* frame = Start();
    EXPECT_TRUE(RunDialog(frame, [](CCommEventsDlg& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("Select Comm Events"));
        EXPECT_EQ(BoxesMask(d), 0x1F8u);
        EXPECT_FALSE(Box(d, "check1026")->isChecked());
        EXPECT_FALSE(Box(d, "check1027")->isChecked());
        EXPECT_FALSE(Box(d, "check1028")->isChecked());
        EXPECT_EQ(Edit(d, "edit1029")->text(), QStringLiteral("0A"));
        EXPECT_EQ(Edit(d, "edit1036")->text(), QStringLiteral("\n"));
        EXPECT_FALSE(Edit(d, "edit1029")->isEnabled());
        EXPECT_FALSE(Edit(d, "edit1036")->isEnabled());
        // Ticking the flag event does not open the edits while the dialog is up.
        Box(d, "check1027")->setChecked(true);
        EXPECT_FALSE(Edit(d, "edit1029")->isEnabled());
        Button(d, "button2")->click();
    }));
    EXPECT_EQ(frame->m_pCommPort->m_dwEventMask.load(), 0x1F8u);
}

TEST_F(CommEventsTest, EachBoxWatchesItsOwnEvent)
{
    CMainFrame* frame = Start();
    for (const EventBox& entry : kEventBoxes) {
        EXPECT_TRUE(RunDialog(frame, [&entry](CCommEventsDlg& d) {
            for (const EventBox& other : kEventBoxes)
                Box(d, other.name)->setChecked(false);
            Box(d, entry.name)->setChecked(true);
            Button(d, "button1")->click();
        }));
        EXPECT_EQ(frame->m_pCommPort->m_dwEventMask.load(), entry.bit) << entry.name;
    }
}

TEST_F(CommEventsTest, DefaultsThenCancelLeavesTheEngine)
{
    CMainFrame* frame = Start();
    CCommPort2& port = *frame->m_pCommPort;
    port.SetEventMask(EV_RXCHAR | EV_RXFLAG);
    port.m_chFlag = static_cast<char>(0xE9);
    EXPECT_TRUE(RunDialog(frame, [](CCommEventsDlg& d) {
        EXPECT_EQ(BoxesMask(d), EV_RXCHAR | EV_RXFLAG);
        EXPECT_TRUE(Edit(d, "edit1029")->isEnabled());
        // A byte above 0x7F shows as itself, not as a negative number.
        EXPECT_EQ(Edit(d, "edit1029")->text(), QStringLiteral("E9"));
        EXPECT_EQ(Edit(d, "edit1036")->text(), QString(QChar(0xE9)));
        Button(d, "button1030")->click();
        EXPECT_EQ(BoxesMask(d), 0x1F8u);
        EXPECT_EQ(Edit(d, "edit1029")->text(), QStringLiteral("E9"));  // still the engine's
        EXPECT_FALSE(Edit(d, "edit1029")->isEnabled());
        Button(d, "button2")->click();
    }));
    EXPECT_EQ(port.m_dwEventMask.load(), EV_RXCHAR | EV_RXFLAG);
    EXPECT_EQ(static_cast<std::uint8_t>(port.m_chFlag), 0xE9);
}

TEST_F(CommEventsTest, EmptyHexEditSetsTheFlagToZeroAndOtherTextKeepsIt)
{
    CMainFrame* frame = Start();
    CCommPort2& port = *frame->m_pCommPort;
    port.SetEventMask(0x1F8 | EV_RXFLAG);
    EXPECT_TRUE(RunDialog(frame, [](CCommEventsDlg& d) {
        Edit(d, "edit1029")->setText(QStringLiteral("ZZ"));
        Button(d, "button1")->click();
    }));
    EXPECT_EQ(port.m_chFlag, 0x0A);
    EXPECT_TRUE(RunDialog(frame, [](CCommEventsDlg& d) {
        Edit(d, "edit1029")->clear();
        Button(d, "button1")->click();
    }));
    EXPECT_EQ(port.m_chFlag, 0);
}

TEST_F(CommEventsTest, FlagEventOnAndOffOnALivePort)
{
    CMainFrame* frame = StartConnected();
    CCommPort2& port = *frame->m_pCommPort;
    const QString flagText = QStringLiteral("^\\d+:EVENT: .*RXFLAG");
    const QString charOnly = QStringLiteral("^\\d+:EVENT: RXCHAR $");
    // Sends `bytes` and waits for the event text that goes with them.
    auto receive = [&](const std::string& bytes, bool expectFlag) {
        const int flagsBefore = CountLines(frame, flagText);
        const int charsBefore = CountLines(frame, charOnly);
        ASSERT_TRUE(m_pty.Write(bytes));
        if (expectFlag) {
            EXPECT_TRUE(PumpUntil([&] { return CountLines(frame, flagText) > flagsBefore; }))
                << frame->EventBox()->toPlainText().toStdString();
        } else {
            EXPECT_TRUE(PumpUntil([&] { return CountLines(frame, charOnly) > charsBefore; }))
                << frame->EventBox()->toPlainText().toStdString();
            EXPECT_EQ(CountLines(frame, flagText), flagsBefore);
        }
    };

    // The reader takes a new mask by ending its event wait with no event:
    // data is sent only once that has been reported, so it is judged under
    // the new mask.
    const QString maskTaken = QStringLiteral("^\\d+:EVENT: NULL$");
    auto waitForMaskTaken = [&](int before) {
        EXPECT_TRUE(PumpUntil([&] { return CountLines(frame, maskTaken) > before; }))
            << frame->EventBox()->toPlainText().toStdString();
    };
    ASSERT_TRUE(PumpUntil([&] { return frame->EventBox()->toPlainText().contains(QStringLiteral("Status message")); }));

    // Character and flag reception on, the flag left at its line feed.
    int nulls = CountLines(frame, maskTaken);
    EXPECT_TRUE(RunDialog(frame, [](CCommEventsDlg& d) {
        Box(d, "check1026")->setChecked(true);
        Box(d, "check1027")->setChecked(true);
        Button(d, "button1")->click();
    }));
    EXPECT_EQ(port.m_dwEventMask.load(), 0x1F8u | EV_RXCHAR | EV_RXFLAG);
    waitForMaskTaken(nulls);
    receive("no flag here", false);
    receive("a line\n", true);
    EXPECT_TRUE(frame->EventBox()->toPlainText().contains(QStringLiteral("EVENT: RXFLAG RXCHAR")));

    // Now the edits are open: 'A' becomes the flag character.
    EXPECT_TRUE(RunDialog(frame, [](CCommEventsDlg& d) {
        ASSERT_TRUE(Edit(d, "edit1029")->isEnabled());
        Edit(d, "edit1029")->setText(QStringLiteral("41"));
        Button(d, "button1")->click();
    }));
    EXPECT_EQ(port.m_chFlag, 'A');
    receive("line\n", false);
    receive("xAy", true);

    // Flag reception off again.
    nulls = CountLines(frame, maskTaken);
    EXPECT_TRUE(RunDialog(frame, [](CCommEventsDlg& d) {
        Box(d, "check1027")->setChecked(false);
        Button(d, "button1")->click();
    }));
    EXPECT_EQ(port.m_dwEventMask.load(), 0x1F8u | EV_RXCHAR);
    waitForMaskTaken(nulls);
    receive("xAy\n", false);
    EXPECT_EQ(port.m_bConnected, 1);
}

}  // namespace
