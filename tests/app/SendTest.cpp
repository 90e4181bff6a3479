// Typing and sending through the real frame and engine, with a
// pseudo-terminal as the device: the bytes are read at its far end.

#include "AppTestSupport.h"

#include "app/MainFrame.h"
#include "app/Trevane2App.h"
#include "comm/CommPort2.h"
#include "comm/PortDevices.h"
#include "resources/MenuTable.h"
#include "support/Profile.h"
#include "terminal/FindBar.h"
#include "terminal/TerminalCharset.h"
#include "terminal/Trevane2Doc.h"
#include "terminal/Trevane2View.h"
#include "tests/common/PtyPair.h"

#include <QAction>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QTest>

#include <clocale>
#include <map>

namespace {

using namespace apptest;

class SendTest : public AppFixture {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        ClearRunDevicePaths();
        SetTerminalCharset("");
        ASSERT_TRUE(m_pty.Open(false));
    }
    void TearDown() override
    {
        Stop();
        ClearRunDevicePaths();
        SetTerminalCharset("");
        AppFixture::TearDown();
    }

    // The program started and connected to the pty, its window active and
    // the terminal holding the keyboard.
    CMainFrame* Start(std::optional<std::string> charset = std::nullopt)
    {
        SetRunDevicePath(1, m_pty.SlavePath());
        m_app = std::make_unique<CTrevane2App>();
        CommandLineOptions options;
        options.noSplash = true;
        options.charset = std::move(charset);
        EXPECT_TRUE(m_app->InitInstance(options));
        CMainFrame* frame = m_app->GetMainFrame();
        frame->Action(res::ID_COMM_OPEN)->trigger();
        EXPECT_EQ(frame->m_pCommPort->m_bConnected, 1);
        QApplication::setActiveWindow(frame);
        EXPECT_TRUE(QTest::qWaitForWindowActive(frame));
        View()->setFocus();
        return frame;
    }
    void Stop()
    {
        if (m_app)
            m_app->ExitInstance();
        m_app.reset();
    }
    CTrevane2View* View() const { return m_app->GetMainFrame()->GetActiveView(); }
    CTrevane2Doc* Doc() const { return m_app->GetMainFrame()->GetActiveDocument(); }
    QString ViewText() const
    {
        View()->FlushPending();
        return View()->PlainText();
    }
    // What reached the device: typed keys are followed by a marker key, and
    // everything before its byte is what the keys sent.
    std::string SentBeforeMarker()
    {
        Doc()->m_bHexMode = 0;
        QTest::keyClick(View(), '~');
        std::string got = m_pty.ReadUntil("~");
        EXPECT_FALSE(got.empty() || got.back() != '~') << got;
        if (!got.empty())
            got.pop_back();
        return got;
    }

    std::unique_ptr<CTrevane2App> m_app;
    testpty::PtyPair m_pty;
};

TEST_F(SendTest, TextKeysReachTheDevice)
{
    Start();
    Doc()->m_bSendLF = 1;
    QTest::keyClicks(View(), QStringLiteral("AT"));
    QTest::keyClick(View(), Qt::Key_Return);
    EXPECT_EQ(m_pty.ReadCount(4), "AT\r\n");
    EXPECT_EQ(ViewText(), QStringLiteral("AT\n"));
}

TEST_F(SendTest, HexLineWithTheCrcReachesTheDevice)
{
    Start();
    Doc()->m_bHexMode = 1;
    Doc()->m_bAppendCRC = 1;
    QTest::keyClicks(View(), QStringLiteral("010203"));
    QTest::keyClick(View(), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(m_pty.ReadCount(5), std::string("\x01\x02\x03\x40\xA7", 5));
    EXPECT_EQ(ViewText(), QStringLiteral("01 02 03 CRC-16:40 A7\n"));
    EXPECT_TRUE(m_boxes.Texts().empty());
}

TEST_F(SendTest, HexLineWaitsForTheClosedPort)
{
    CMainFrame* frame = Start();
    frame->Action(res::ID_COMM_CLOSE)->trigger();
    Doc()->m_bHexMode = 1;
    QTest::keyClicks(View(), QStringLiteral("a1b2"));
    QTest::keyClick(View(), Qt::Key_Return);
    ASSERT_EQ(m_boxes.Texts().size(), 1u);
    EXPECT_EQ(m_boxes.Texts()[0], "Comm Port was not opened!");
    frame->Action(res::ID_COMM_OPEN)->trigger();
    ASSERT_EQ(frame->m_pCommPort->m_bConnected, 1);
    QTest::keyClick(View(), Qt::Key_Return);
    EXPECT_EQ(m_pty.ReadCount(2), "\xA1\xB2");
}

TEST_F(SendTest, EveryAcceleratorIsTakenByTheWindowAndNeverSent)
{
    CMainFrame* frame = Start();
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
        SCOPED_TRACE(accel.keys);
        const QKeyCombination combination = QKeySequence(QString::fromLatin1(accel.keys))[0];
        const Qt::KeyboardModifiers modifiers =
            combination.keyboardModifiers() | (combination.key() == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        const int before = triggered[accel.id];
        QTest::keyClick(View(), combination.key(), modifiers);
        EXPECT_EQ(triggered[accel.id], before + 1);
    }
    EXPECT_EQ(SentBeforeMarker(), "");
    EXPECT_EQ(ViewText(), QStringLiteral("~"));
}

TEST_F(SendTest, EditCommandsThroughTheWindow)
{
    CMainFrame* frame = Start();
    ASSERT_TRUE(m_pty.WriteMaster("hello from the device\r\n"));
    ASSERT_TRUE(PumpUntil([&] { return ViewText().contains(QStringLiteral("device")); }));

    // Select all and copy.
    QTest::keyClick(View(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(View(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("hello from the device\n"));

    // Paste in text mode: the clipboard as typed.
    QGuiApplication::clipboard()->setText(QStringLiteral("ping\n"));
    QTest::keyClick(View(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(m_pty.ReadCount(5), "ping\r");
    // In hex mode: its digits.
    Doc()->m_bHexMode = 1;
    QGuiApplication::clipboard()->setText(QStringLiteral("de ad"));
    QTest::keyClick(View(), Qt::Key_Insert, Qt::ShiftModifier);
    QTest::keyClick(View(), Qt::Key_Return);
    EXPECT_EQ(m_pty.ReadCount(2), "\xDE\xAD");

    // Find.
    QTest::keyClick(View(), Qt::Key_F, Qt::ControlModifier);
    FindBar* bar = View()->GetFindBar();
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(frame->focusWidget(), reinterpret_cast<QWidget*>(bar->TextEdit()));
    QTest::keyClicks(reinterpret_cast<QWidget*>(bar->TextEdit()), QStringLiteral("device"));
    QTest::keyClick(reinterpret_cast<QWidget*>(bar->TextEdit()), Qt::Key_Return);
    EXPECT_EQ(View()->SelectedText(), QStringLiteral("device"));
    QTest::keyClick(reinterpret_cast<QWidget*>(bar->TextEdit()), Qt::Key_Escape);
    EXPECT_FALSE(bar->isVisible());
    EXPECT_EQ(SentBeforeMarker(), "");
}

TEST_F(SendTest, CommittedKoreanGoesOutInTheChosenCharacterSet)
{
    Start("CP949");
    QInputMethodEvent event(QString(), {});
    event.setCommitString(QStringLiteral("한글"));
    QCoreApplication::sendEvent(View(), &event);
    EXPECT_EQ(m_pty.ReadCount(4), "\xC7\xD1\xB1\xDB");
    EXPECT_EQ(ViewText(), QStringLiteral("한글"));
}

TEST_F(SendTest, EucKrFromTheDeviceShowsAsHangulAlsoWhenSplitAcrossBlocks)
{
    Start("CP949");
    ASSERT_TRUE(m_pty.WriteMaster("\xC7\xD1\xB1\xDB\r\n"));
    ASSERT_TRUE(PumpUntil([&] { return ViewText().contains(QLatin1Char('\n')); }));
    EXPECT_EQ(ViewText(), QStringLiteral("한글\n"));

    // The lead byte of 한 ends one block, its second byte starts the next.
    ASSERT_TRUE(m_pty.WriteMaster("A\xC7"));
    ASSERT_TRUE(PumpUntil([&] { return ViewText().endsWith(QLatin1Char('A')); }));
    ASSERT_TRUE(m_pty.WriteMaster("\xD1" "B"));
    ASSERT_TRUE(PumpUntil([&] { return ViewText().endsWith(QLatin1Char('B')); }));
    EXPECT_EQ(ViewText(), QStringLiteral("한글\nA한B"));
}

TEST_F(SendTest, TheLocalesCharacterSetWithoutTheOption)
{
    // With a Korean EUC locale (tools/setup.sh makes one) the locale decides;
    // without it the same is checked through the option.
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    const bool haveLocale = std::setlocale(LC_ALL, "ko_KR.EUC-KR") != nullptr;
    if (haveLocale)
        Start();
    else
        Start("EUC-KR");
    std::setlocale(LC_ALL, saved.c_str());
    ASSERT_TRUE(m_pty.WriteMaster("\xC7\xD1!"));
    ASSERT_TRUE(PumpUntil([&] { return ViewText().endsWith(QLatin1Char('!')); }));
    EXPECT_EQ(ViewText(), QStringLiteral("한!"));
}

TEST_F(SendTest, TheCharacterSetIsKeptForTheNextRun)
{
    Start("CP949");
    Stop();
    EXPECT_EQ(support::GetProfileString("Terminal Settings", "Charset", "?"), "CP949");
    SetTerminalCharset("");
    Start();
    EXPECT_EQ(TerminalCharset(), "CP949");
    Stop();
    // An empty name goes back to the locale's and forgets the kept one.
    Start("");
    EXPECT_EQ(TerminalCharset(), LocaleCharset());
    Stop();
    EXPECT_EQ(support::GetProfileString("Terminal Settings", "Charset", "?"), "");
    // A kept name the C library no longer knows: the locale's, and a warning.
    ASSERT_TRUE(support::WriteProfileString("Terminal Settings", "Charset", "GONE-8"));
    Start();
    EXPECT_EQ(TerminalCharset(), LocaleCharset());
}

}  // namespace
