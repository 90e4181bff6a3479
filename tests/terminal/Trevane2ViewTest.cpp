// The terminal view: received and sent blocks on screen and in the receive
// log, repainting, scrolling, selection and wrapping; and over a text whose
// older pieces are on disk: scrolling to the oldest text, copying all of it,
// finding beside the window, and the one event-box line when the history
// file fails.

#include "TerminalTestSupport.h"

#include "platform/LocalTime.h"
#include "support/Profile.h"
#include "terminal/FindBar.h"
#include "text/HistoryFile.h"

#include <QClipboard>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalSpy>

#include <cerrno>

namespace {

constexpr const char* kPrefix = "2026/12/05, 14:05:09 - ";
constexpr const char* kLogName = "receive1205.log";

class ViewTest : public terminal_test::ViewFixture {
protected:
    void SetUp() override
    {
        platform::SetLocalTimeSource([] { return platform::LocalTime{2026, 12, 5, 14, 5, 9, 0}; });
        ViewFixture::SetUp();
        m_view->resize(400, 300);
        m_view->show();
        m_view->OnInitialUpdate();
    }
    void TearDown() override
    {
        ViewFixture::TearDown();
        platform::SetLocalTimeSource({});
    }
    // Ends the view so the receive log is complete, then reads it.
    std::vector<std::string> CloseAndReadLog()
    {
        m_view.reset();
        return testfiles::ReadLines(kLogName);
    }
    void Sent(const std::string& bytes) { m_view->ShowSent(bytes.data(), static_cast<int>(bytes.size())); }
};

TEST_F(ViewTest, HexBlocksAreLoggedOneLineEachAndTextIsNot)
{
    Received("text ");
    m_doc->m_bHexMode = 1;
    Received(std::string("\x00\xFF", 2));
    Received("A\r\n");
    Sent("\x01");
    m_view->AppendText("41 42 ", 0, true);  // an echo: as given, never logged
    m_doc->m_bHexMode = 0;
    Received("2");
    EXPECT_EQ(m_view->PlainText(), QStringLiteral("text 00 FF 41 0D 0A 01 41 42 2"));

    std::string expected;
    for (const char* line : {"Receice Logging Start!", "00 FF ", "41 0D 0A ", "01 ", "Logging End!"})
        expected += kPrefix + std::string(line) + "\r\n";
    m_view.reset();
    EXPECT_EQ(testfiles::ReadFile(kLogName), expected);
}

TEST_F(ViewTest, NewEmptiesTextTheLogAndReloadsTheOptions)
{
    m_doc->m_bHexMode = 1;
    Received("\x10");  // a logged block
    m_doc->m_bHexMode = 0;
    m_doc->SetTitle(QStringLiteral("x.rtf - Kestrana"));
    ASSERT_TRUE(support::WriteProfileInt("Terminal Settings", "AutoWrap", 1));
    EXPECT_TRUE(m_doc->OnNewDocument());
    m_view->OnInitialUpdate();
    EXPECT_TRUE(m_view->PlainText().isEmpty());
    EXPECT_EQ(m_doc->GetTitle(), QStringLiteral("No File - Kestrana"));
    EXPECT_EQ(m_doc->m_bHexMode, 1);
    EXPECT_EQ(CloseAndReadLog(), std::vector<std::string>({std::string(kPrefix) + "Receice Logging Start!",
                                                          std::string(kPrefix) + "Logging End!"}));
}

TEST_F(ViewTest, DragSelectsCtrlCCopiesAndAnArrivingBlockDropsTheSelection)
{
    Received("abcdefgh\nsecond");
    m_view->FlushPending();
    QWidget* port = m_view->viewport();
    const QFontMetrics metrics(m_view->font());
    const int w = metrics.horizontalAdvance(QLatin1Char('M'));
    const int y = metrics.lineSpacing() / 2 + 2;
    auto mouse = [&](QEvent::Type type, int column, Qt::MouseButtons buttons) {
        const QPointF at(2 + column * w, y);
        QMouseEvent event(type, at, port->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(port, &event);
    };
    auto copy = [&] {
        QGuiApplication::clipboard()->setText(QStringLiteral("-"));
        QTest::keyClick(m_view.get(), Qt::Key_C, Qt::ControlModifier);
        return QGuiApplication::clipboard()->text();
    };
    mouse(QEvent::MouseButtonPress, 2, Qt::LeftButton);
    mouse(QEvent::MouseMove, 5, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, 5, Qt::NoButton);
    EXPECT_EQ(copy(), QStringLiteral("cde"));

    Received("!");
    EXPECT_EQ(copy(), QStringLiteral("-"));  // nothing selected any more
    EXPECT_EQ(m_view->PlainText(), QStringLiteral("abcdefgh\nsecond!"));
}

class HistoryViewTest : public ViewTest {
protected:
    void SetUp() override
    {
        ViewTest::SetUp();
        m_doc->Text().SetPieceUnits(256);
        m_doc->Text().SetMemoryBudget(1);
    }
    void TearDown() override
    {
        HistoryFile::SetWriteFault({});
        ViewTest::TearDown();
    }

    // Lines "line N" through the received path, until the writer caught up.
    std::string Receive(int lines)
    {
        std::string all;
        for (int i = 0; i < lines; ++i) {
            const std::string line = "line " + std::to_string(i) + "\n";
            Received(line);
            all += line;
        }
        m_doc->Text().WaitForWriter(10000);
        QCoreApplication::processEvents();
        m_view->FlushPending();
        return all;
    }
};

TEST_F(HistoryViewTest, ScrollsCopiesAndSelectsAcrossTheHistoryOnDisk)
{
    const std::string all = Receive(2000);
    ASSERT_GT(m_doc->Text().PiecesOnDisk(), 20u);
    m_view->verticalScrollBar()->setValue(0);
    m_view->FlushPending();
    EXPECT_EQ(m_view->FirstVisibleOffset(), 0u);
    EXPECT_EQ(m_doc->Text().RowLength(0), 6u);  // "line 0"

    m_view->OnEditSelectAll();
    m_view->OnEditCopy();
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), all);
}

TEST_F(HistoryViewTest, AFailingHistoryFileSaysSoOnceAndReceivingGoesOn)
{
    QSignalSpy notices(m_view.get(), &CTrevane2View::logNotice);
    HistoryFile::SetWriteFault([](std::size_t) { return ENOSPC; });
    Receive(1000);
    Receive(1000);
    ASSERT_TRUE(QTest::qWaitFor([&] { return notices.count() > 0; }, 5000));
    QTest::qWait(50);
    ASSERT_EQ(notices.count(), 1);
    EXPECT_TRUE(notices.at(0).at(0).toString().contains(QStringLiteral("No space left on device")));
    EXPECT_TRUE(m_view->PlainText().startsWith(QStringLiteral("[")));
    EXPECT_TRUE(m_view->PlainText().endsWith(QStringLiteral("line 999\n")));
}

TEST_F(HistoryViewTest, FindRunsBesideTheWindowAndF3GoesOnFromTheHit)
{
    const QString all = QString::fromStdString(Receive(2000));
    m_view->OnEditFind();
    FindBar* bar = m_view->GetFindBar();
    bar->TextEdit()->setText(QStringLiteral("line 123"));
    // The view is at the end, so each search goes round to the start.
    qsizetype expected = -1;
    for (int round = 0; round < 3; ++round) {
        QTest::keyClick(bar->TextEdit(), Qt::Key_Return);
        ASSERT_TRUE(bar->Searching());  // the window goes on meanwhile
        ASSERT_TRUE(QTest::qWaitFor([&] { return !bar->Searching(); }, 20000));
        expected = all.indexOf(QStringLiteral("line 123"), expected + 1);
        EXPECT_EQ(m_view->FoundText().first, static_cast<std::uint64_t>(expected)) << round;
        EXPECT_EQ(m_view->SelectedText(), QStringLiteral("line 123"));
    }

    // Esc drops a search under way: no hit turns up after it.
    bar->TextEdit()->setText(QStringLiteral("line 7"));
    QTest::keyClick(bar->TextEdit(), Qt::Key_Return);
    ASSERT_TRUE(bar->Searching());
    QTest::keyClick(bar->TextEdit(), Qt::Key_Escape);
    EXPECT_FALSE(bar->Searching());
    QTest::qWait(200);
    EXPECT_EQ(m_view->FoundText().second, 0u);
    EXPECT_TRUE(bar->Status().isEmpty());
}

TEST_F(HistoryViewTest, AfterAResizeRowsOnDiskBecomeExactAndTheTopLineStays)
{
    // Lines of wide characters after a few narrow ones: their rows at a new
    // width are only estimated until counted.
    TerminalText& text = m_doc->Text();
    for (int i = 0; i < 1500; ++i) {
        const std::u16string line =
            std::u16string(static_cast<std::size_t>(i % 7), u'x') + std::u16string(40 + i % 61, u'한') + u"\n";
        text.Append(line.data(), line.size(), 0);
    }
    ASSERT_TRUE(text.WaitForWriter(10000));
    QCoreApplication::processEvents();
    m_view->FlushPending();
    QScrollBar* bar = m_view->verticalScrollBar();
    bar->setValue(bar->maximum() / 2);
    m_view->FlushPending();
    const std::uint64_t top = m_view->FirstVisibleOffset();

    // An odd column count, where rows of wide characters leave a cell free.
    int width = m_view->width() - 57;
    m_view->resize(width, m_view->height());
    while (m_view->Columns() % 2 == 0)
        m_view->resize(--width, m_view->height());
    const std::uint64_t estimated = text.RowCount();
    ASSERT_TRUE(QTest::qWaitFor([&] { return text.RowsExact(); }, 20000));
    m_view->FlushPending();
    EXPECT_NE(text.RowCount(), estimated);  // else this would test nothing
    EXPECT_EQ(bar->maximum(), static_cast<int>(text.RowCount()) - m_view->VisibleRows());
    EXPECT_EQ(static_cast<std::uint64_t>(bar->value()), text.RowOfOffset(top));
}

}  // namespace
