// Typing and sending through the real frame and engine, with a
// pseudo-terminal as the device: the bytes are read at its far end. The view
// on its own (every key, paste, find, decoding) is tried in tests/terminal.

#include "AppTestSupport.h"

#include "resources/MenuTable.h"
#include "support/Profile.h"
#include "text/TerminalCharset.h"

#include <QInputMethodEvent>
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

TEST_F(SendTest, KoreanGoesBothWaysInTheChosenCharacterSet)
{
    StartTyping("CP949");
    QInputMethodEvent event(QString(), {});
    event.setCommitString(QStringLiteral("한글"));
    QCoreApplication::sendEvent(View(), &event);
    EXPECT_EQ(m_pty.ReadCount(4), "\xC7\xD1\xB1\xDB");
    ASSERT_TRUE(m_pty.WriteMaster("\r\n\xC7\xD1\xB1\xDB!"));
    ASSERT_TRUE(PumpUntil([&] { return ViewText().endsWith(QLatin1Char('!')); }));
    EXPECT_EQ(ViewText(), QStringLiteral("한글\n한글!"));
}

TEST_F(SendTest, TheCharacterSetIsKeptForTheNextRunUntilForgottenOrUnknown)
{
    const std::pair<std::optional<std::string>, std::string> runs[] = {
        {"CP949", "CP949"}, {std::nullopt, "CP949"}, {"", LocaleCharset()}, {std::nullopt, LocaleCharset()}};
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

}  // namespace
