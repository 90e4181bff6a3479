// Typing and sending through the real frame and engine, with a
// pseudo-terminal as the device: the bytes are read at its far end (the view
// on its own, every key, paste, find, decoding, is tried in tests/terminal);
// and the comm events dialog on the frame's engine.

#include "AppTestSupport.h"

#include "app/CommEventsDlg.h"
#include "comm/CommEvents.h"
#include "resources/MenuTable.h"
#include "support/Profile.h"
#include "support/TrafficLog.h"
#include "text/BlockPresenter.h"
#include "text/TerminalCharset.h"

#include <QCheckBox>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <map>

namespace {

using namespace apptest;

class SendTest : public AppFixture {
protected:
    void SetUp() override { AppFixture::SetUp(), SetTerminalCharset(""); }
    void TearDown() override { AppFixture::TearDown(), SetTerminalCharset(""); }
    // The program started and connected to the pty, its window active and
    // the terminal holding the keyboard.
    CMainFrame* StartTyping(std::optional<std::string> charset = std::nullopt)
    {
        CommandLineOptions options = Quiet();
        options.charset = std::move(charset);
        CMainFrame* frame = StartConnected(options);
        QApplication::setActiveWindow(frame);
        EXPECT_TRUE(QTest::qWaitForWindowActive(frame));
        View()->setFocus();
        return frame;
    }
    // What reached the device: typed keys are followed by a marker key, and
    // everything before its byte is what the keys sent.
    std::string SentBeforeMarker()
    {
        Doc()->m_bHexMode = 0;
        QTest::keyClick(View(), '~');
        std::string got = m_pty.ReadUntil("~");
        EXPECT_TRUE(!got.empty() && got.back() == '~') << got;
        if (!got.empty())
            got.pop_back();
        return got;
    }
};

TEST_F(SendTest, TextAndAHexLineWithItsCrcReachTheDeviceAndAClosedPortKeepsTheLine)
{
    CMainFrame* frame = StartTyping();
    Doc()->m_bSendLF = 1;
    QTest::keyClicks(View(), QStringLiteral("AT"));
    QTest::keyClick(View(), Qt::Key_Return);
    EXPECT_EQ(m_pty.ReadCount(4), "AT\r\n");
    Doc()->m_bHexMode = 1;
    Doc()->m_bAppendCRC = 1;
    QTest::keyClicks(View(), QStringLiteral("010203"));
    QTest::keyClick(View(), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(m_pty.ReadCount(5), std::string("\x01\x02\x03\x40\xA7", 5));
    EXPECT_EQ(ViewText(), QStringLiteral("AT\n01 02 03 CRC-16:40 A7\n"));
    EXPECT_TRUE(m_boxes.Texts().empty());

    Doc()->m_bAppendCRC = 0;
    frame->Action(res::ID_COMM_CLOSE)->trigger();
    QTest::keyClicks(View(), QStringLiteral("a1b2"));
    QTest::keyClick(View(), Qt::Key_Return);
    EXPECT_EQ(m_boxes.Texts(), std::vector<std::string>{"Comm Port was not opened!"});
    frame->Action(res::ID_COMM_OPEN)->trigger();
    ASSERT_TRUE(frame->m_pCommPort->IsOpen());
    QTest::keyClick(View(), Qt::Key_Return);
    EXPECT_EQ(m_pty.ReadCount(2), "\xA1\xB2");
}

TEST_F(SendTest, EveryAcceleratorIsTakenByTheWindowAndNeverSent)
{
    CMainFrame* frame = StartTyping();
    // Each command counts its triggers instead of doing its work (some open
    // file dialogs that would wait for a person).
    std::map<unsigned, int> triggered;
    for (const res::Accelerator& accel : res::kAccelerators) {
        QAction* action = frame->Action(accel.id);
        ASSERT_NE(action, nullptr) << accel.keys;
        QObject::disconnect(action, &QAction::triggered, nullptr, nullptr);
        QObject::connect(action, &QAction::triggered, [&triggered, id = accel.id] { ++triggered[id]; });
    }
    for (const res::Accelerator& accel : res::kAccelerators) {
        const QKeyCombination keys = QKeySequence(QString::fromLatin1(accel.keys))[0];
        const int before = triggered[accel.id];
        QTest::keyClick(View(), keys.key(),
                        keys.keyboardModifiers() | (keys.key() == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier));
        EXPECT_EQ(triggered[accel.id], before + 1) << accel.keys;
    }
    EXPECT_EQ(SentBeforeMarker(), "");
    EXPECT_EQ(ViewText(), QStringLiteral("~"));
}

TEST_F(SendTest, KoreanGoesBothWaysInTheChosenCharacterSetKeptForTheNextRunsUntilForgottenOrUnknown)
{
    StartTyping("CP949");
    QInputMethodEvent event(QString(), {});
    event.setCommitString(QStringLiteral("한글"));
    QCoreApplication::sendEvent(View(), &event);
    EXPECT_EQ(m_pty.ReadCount(4), "\xC7\xD1\xB1\xDB");
    ASSERT_TRUE(m_pty.WriteMaster("\r\n\xC7\xD1\xB1\xDB!"));
    ASSERT_TRUE(PumpUntil([&] { return ViewText().endsWith(QLatin1Char('!')); }));
    EXPECT_EQ(ViewText(), QStringLiteral("한글\n한글!"));
    Stop();
    const std::pair<std::optional<std::string>, std::string> runs[] = {
        {std::nullopt, "CP949"}, {"", LocaleCharset()}, {std::nullopt, LocaleCharset()}};
    for (const auto& [given, used] : runs) {
        SetTerminalCharset("");
        CommandLineOptions options = Quiet();
        options.charset = given;
        Start(options);
        EXPECT_EQ(TerminalCharset(), used) << given.value_or("(none)");
        Stop();
    }
    EXPECT_EQ(support::GetProfileString("Terminal Settings", "Charset", "?"), "") << "forgotten";
    ASSERT_TRUE(support::WriteProfileString("Terminal Settings", "Charset", "GONE-8"));
    SetTerminalCharset("CP949");
    Start();
    EXPECT_EQ(TerminalCharset(), LocaleCharset()) << "a kept name the C library no longer knows";
}

// Each box and the event it watches.
const std::pair<const char*, std::uint32_t> kEventBoxes[] = {
    {"check1020", EV_BREAK}, {"check1021", EV_CTS},   {"check1022", EV_DSR},    {"check1023", EV_ERR},
    {"check1024", EV_RING},  {"check1025", EV_RLSD}, {"check1026", EV_RXCHAR}, {"check1027", EV_RXFLAG},
    {"check1028", EV_TXEMPTY},
};

QCheckBox* Box(QDialog& d, const char* name) { return d.findChild<QCheckBox*>(QString::fromLatin1(name)); }
QLineEdit* Edit(QDialog& d, const char* name) { return d.findChild<QLineEdit*>(QString::fromLatin1(name)); }
void Click(QDialog& d, const char* name) { d.findChild<QPushButton*>(QString::fromLatin1(name))->click(); }

std::uint32_t BoxesMask(QDialog& d)
{
    std::uint32_t mask = 0;
    for (const auto& [name, bit] : kEventBoxes)
        mask |= Box(d, name)->isChecked() ? bit : 0;
    return mask;
}

class CommEventsTest : public AppFixture {
protected:
    // Clicks "Events..." and runs `act` on the dialog.
    bool RunDialog(const std::function<void(CCommEventsDlg&)>& act)
    {
        return RunModal<CCommEventsDlg>([this] { Frame()->BarButton(1002)->click(); }, act);
    }
    // Event texts in the box that match `pattern` (one per line).
    int CountLines(const QString& pattern) const
    {
        return static_cast<int>(EventBoxText().count(QRegularExpression(pattern, QRegularExpression::MultilineOption)));
    }
};

TEST_F(CommEventsTest, CancelKeepsTheMaskAndTheFlagEventGoesOnAndOffOnALivePort)
{
    StartConnected();
    CCommPort2& port = *Frame()->m_pCommPort;
    EXPECT_TRUE(RunDialog([](CCommEventsDlg& d) {
        EXPECT_EQ(BoxesMask(d), 0x1F8u);
        EXPECT_FALSE(Edit(d, "edit1029")->isEnabled()) << "the flag is not watched";
        Box(d, "check1027")->setChecked(true);
        Click(d, "button2");
    }));
    EXPECT_EQ(port.Settings().m_dwEventMask, 0x1F8u) << "nothing after Cancel";
    ASSERT_TRUE(PumpUntil([&] { return EventBoxText().contains(QStringLiteral("Status message")); }));
    const QString flagText = QStringLiteral("^\\d+:EVENT: .*RXFLAG");
    const QString charOnly = QStringLiteral("^\\d+:EVENT: RXCHAR $");
    // The reader takes a new mask by ending its wait with no event: data is
    // sent only once that is reported, so it is judged under the new mask.
    const QString maskTaken = QStringLiteral("^\\d+:EVENT: NULL$");
    auto apply = [&](const std::function<void(CCommEventsDlg&)>& act) {
        const int nulls = CountLines(maskTaken);
        EXPECT_TRUE(RunDialog([&](CCommEventsDlg& d) {
            act(d);
            Click(d, "button1");
        }));
        EXPECT_TRUE(PumpUntil([&] { return CountLines(maskTaken) > nulls; })) << Utf8(EventBoxText());
    };
    // Sends `bytes` and waits for the event text that goes with them.
    auto receive = [&](const std::string& bytes, bool expectFlag) {
        const int flags = CountLines(flagText), before = CountLines(expectFlag ? flagText : charOnly);
        ASSERT_TRUE(m_pty.WriteMaster(bytes));
        EXPECT_TRUE(PumpUntil([&] { return CountLines(expectFlag ? flagText : charOnly) > before; }))
            << bytes << Utf8(EventBoxText());
        EXPECT_EQ(CountLines(flagText), flags + (expectFlag ? 1 : 0)) << bytes;
    };

    apply([](CCommEventsDlg& d) {
        Box(d, "check1026")->setChecked(true);
        Box(d, "check1027")->setChecked(true);
    });
    EXPECT_EQ(port.Settings().m_dwEventMask, 0x1F8u | EV_RXCHAR | EV_RXFLAG);
    receive("no flag here", false);
    receive("a line\n", true);  // the flag is still the line feed
    EXPECT_TRUE(EventBoxText().contains(QStringLiteral("EVENT: RXFLAG RXCHAR")));

    // Now the edits are open: 'A' becomes the flag character.
    PortSettings settings = port.Settings();
    settings.m_chFlag = static_cast<char>(0xE9);
    port.ApplySettings(settings);
    EXPECT_TRUE(RunDialog([](CCommEventsDlg& d) {
        // A byte above 0x7F shows as itself, not as a negative number.
        EXPECT_TRUE(Edit(d, "edit1029")->text() == QStringLiteral("E9") && Edit(d, "edit1036")->text() == QChar(0xE9));
        Edit(d, "edit1029")->setText(QStringLiteral("41"));
        Click(d, "button1");
    }));
    EXPECT_EQ(port.Settings().m_chFlag, 'A');
    receive("line\n", false);
    receive("xAy", true);

    apply([](CCommEventsDlg& d) { Box(d, "check1027")->setChecked(false); });
    EXPECT_EQ(port.Settings().m_dwEventMask, 0x1F8u | EV_RXCHAR);
    receive("xAy\n", false);
}

}  // namespace

namespace {

// Hex frames with stamps from a pty with chosen gaps, a typed request among
// them, and the traffic log of the same run: both in the order things crossed
// the line, the log byte-exact (no added line feed, the request as sent).
TEST_F(SendTest, FramesAndTheTrafficLogFollowTheLineInOrder)
{
    CommandLineOptions options = Quiet();
    options.trafficLog = true;
    CMainFrame* frame = StartConnected(options);
    QApplication::setActiveWindow(frame);
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame));
    View()->setFocus();
    Doc()->m_bHexMode = 1;
    Doc()->m_bHexFrames = 1;
    Doc()->m_nTimestamps = static_cast<int>(StampForm::TimeOfDay);
    Doc()->m_bReceiveLF = 1;  // adds to what is shown, never to the log
    const auto viewHas = [&](const QString& tail) {
        return PumpUntil([&] { return ViewText().endsWith(tail); }, 5000);
    };

    ASSERT_TRUE(m_pty.WriteMaster("\x01\x0D"));
    ASSERT_TRUE(viewHas(QStringLiteral("RX 01 0D 0A ")));
    Pump(30);  // quiet well past the engine's 1 ms: the next block is a frame of its own
    ASSERT_TRUE(m_pty.WriteMaster("\x03"));
    ASSERT_TRUE(viewHas(QStringLiteral("RX 03 ")));
    QTest::keyClicks(View(), QStringLiteral("0a0B"));
    QTest::keyClick(View(), Qt::Key_Return);
    EXPECT_EQ(m_pty.ReadCount(2), "\x0A\x0B");
    ASSERT_TRUE(viewHas(QStringLiteral("TX 0A 0B ")));
    // With a join gap, blocks closer than it make one frame.
    Doc()->m_nFrameGapMs = 200;
    frame->UpdateTrafficLog();
    ASSERT_TRUE(m_pty.WriteMaster("\x05"));
    Pump(20);
    ASSERT_TRUE(m_pty.WriteMaster("\xFF"));
    ASSERT_TRUE(viewHas(QStringLiteral("RX 05 FF ")));

    const QString stamp = QStringLiteral("\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d ");
    const QRegularExpression shown(QStringLiteral("^%1RX 01 0D 0A \\n%1RX 03 \\n%1TX 0A 0B \\n%1RX 05 FF $").arg(stamp));
    EXPECT_TRUE(shown.match(ViewText()).hasMatch()) << Utf8(ViewText());

    // Saved as text, the stamps go with the frames.
    const QString saved = QString::fromStdString(WorkFile("frames.txt"));
    ASSERT_TRUE(Doc()->OnSaveDocument(saved));
    EXPECT_EQ(QString::fromStdString(ReadFile(saved.toStdString())), ViewText());

    ASSERT_NE(frame->TrafficLog(), nullptr);
    frame->TrafficLog()->Drain();
    const auto logs = testfiles::FileNames(m_workDir);
    const auto name = std::find_if(logs.begin(), logs.end(), [](auto& n) { return n.starts_with("traffic"); });
    ASSERT_NE(name, logs.end());
    const std::vector<std::string> lines = ReadLines(WorkFile(*name));
    const char* expected[] = {" RX 01 0D  ..", " RX 03  .", " TX 0A 0B  ..", " RX 05 FF  .."};
    ASSERT_EQ(lines.size(), std::size(expected)) << ReadFile(WorkFile(*name));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d")).match(
            QString::fromStdString(lines[i])).hasMatch()) << lines[i];
        EXPECT_TRUE(lines[i].ends_with(expected[i])) << lines[i];
    }
}

}  // namespace

namespace {

// Without a window nobody reads the terminal: blocks reach the logs, and no
// terminal text (nor history file) piles up.
TEST_F(SendTest, WithoutAWindowBlocksReachTheLogsButNoTextIsKept)
{
    CommandLineOptions options = Quiet();
    options.headless = true;
    StartConnected(options);
    Doc()->m_bHexMode = 1;
    ASSERT_TRUE(m_pty.WriteMaster("\x01\x02"));
    const auto receiveLog = [&] {
        for (const std::string& name : testfiles::FileNames(m_workDir))
            if (name.starts_with("receive"))
                return ReadFile(WorkFile(name));
        return std::string();
    };
    EXPECT_TRUE(PumpUntil([&] { return receiveLog().find(" - 01 02 \r\n") != std::string::npos; }, 5000))
        << receiveLog();
    EXPECT_EQ(Doc()->Text().Size(), 0u);
}

}  // namespace
