#include "TerminalTestSupport.h"

#include "platform/LocalTime.h"
#include "support/Profile.h"
#include "terminal/Appearance.h"
#include "terminal/Trevane2Doc.h"
#include "terminal/Trevane2View.h"

#include <QClipboard>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

using terminal_test::ReadLines;

namespace {

constexpr const char* kPrefix = "2026/12/05, 14:05:09 - ";
constexpr const char* kLogName = "receive1205.log";

class ViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        terminal_test::App();
        platform::SetLocalTimeSource([] { return platform::LocalTime{2026, 12, 5, 14, 5, 9, 0}; });
        m_dir = std::make_unique<terminal_test::TempWorkDir>();
        m_doc = std::make_unique<CTrevane2Doc>();
        m_view = std::make_unique<CTrevane2View>(m_doc.get(), &m_appearance);
        m_view->resize(400, 300);
    }
    void TearDown() override
    {
        m_view.reset();
        m_doc.reset();
        m_dir.reset();
        platform::SetLocalTimeSource({});
    }
    // Ends the view so the receive log is complete, then reads it.
    std::vector<std::string> CloseAndReadLog()
    {
        m_view.reset();
        return ReadLines(kLogName);
    }
    void Received(const std::string& bytes)
    {
        EXPECT_TRUE(m_view->ShowReceived(bytes.data(), static_cast<int>(bytes.size())));
    }
    void Sent(const std::string& bytes)
    {
        EXPECT_TRUE(m_view->ShowSent(bytes.data(), static_cast<int>(bytes.size())));
    }

    CAppearance m_appearance;
    std::unique_ptr<terminal_test::TempWorkDir> m_dir;
    std::unique_ptr<CTrevane2Doc> m_doc;
    std::unique_ptr<CTrevane2View> m_view;
};

TEST_F(ViewTest, InitialUpdateSetsTitleAndStartsReceiveLog)
{
    QStringList titles;
    QObject::connect(m_doc.get(), &CTrevane2Doc::titleChanged,
                     [&titles](const QString& title) { titles << title; });
    m_view->OnInitialUpdate();
    ASSERT_EQ(titles.size(), 1);
    EXPECT_EQ(titles.at(0), QStringLiteral("No File - Kestrana"));
    EXPECT_EQ(m_doc->GetTitle(), QStringLiteral("No File - Kestrana"));
    EXPECT_EQ(m_view->GetDocument(), m_doc.get());

    const auto lines = CloseAndReadLog();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], std::string(kPrefix) + "Receice Logging Start!");
    EXPECT_EQ(lines[1], std::string(kPrefix) + "Logging End!");
    // Every line, the last one included, ends in CR LF.
    const std::string raw = terminal_test::ReadFile(kLogName);
    EXPECT_EQ(raw.substr(raw.size() - 2), "\r\n");
}

TEST_F(ViewTest, TextBlocksAreShownAndNotLogged)
{
    m_view->OnInitialUpdate();
    Received("hello ");
    Received("world");
    EXPECT_EQ(m_view->PlainText(), QStringLiteral("hello world"));
    EXPECT_EQ(CloseAndReadLog().size(), 2u);
}

TEST_F(ViewTest, TextAfterNulIsKept)
{
    m_view->OnInitialUpdate();
    Received(std::string("AB\0CD", 5));
    EXPECT_EQ(m_view->PlainText(), QStringLiteral("ABCD"));
}

TEST_F(ViewTest, HexBlocksShowGroupsAndLogOneLineEach)
{
    m_view->OnInitialUpdate();
    m_doc->m_bHexMode = 1;
    Received(std::string("\x00\xFF", 2));
    Received("A\r\n");
    Sent("\x01");
    EXPECT_EQ(m_view->PlainText(), QStringLiteral("00 FF 41 0D 0A 01 "));

    const auto lines = CloseAndReadLog();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[1], std::string(kPrefix) + "00 FF ");
    EXPECT_EQ(lines[2], std::string(kPrefix) + "41 0D 0A ");
    EXPECT_EQ(lines[3], std::string(kPrefix) + "01 ");
    EXPECT_EQ(lines[4], std::string(kPrefix) + "Logging End!");
}

TEST_F(ViewTest, SwitchingHexOffStopsLogging)
{
    m_view->OnInitialUpdate();
    m_doc->m_bHexMode = 1;
    Received("1");
    m_doc->m_bHexMode = 0;
    Received("2");
    EXPECT_EQ(m_view->PlainText(), QStringLiteral("31 2"));
    EXPECT_EQ(CloseAndReadLog().size(), 3u);
}

TEST_F(ViewTest, HexBlocksShownWithoutReceiveLog)
{
    // No initial update: no receive log.
    m_doc->m_bHexMode = 1;
    Received("\x7F");
    EXPECT_EQ(m_view->PlainText(), QStringLiteral("7F "));
    EXPECT_EQ(m_view->ReceiveLog(), nullptr);
}

TEST_F(ViewTest, MultiByteCharacterSplitAcrossBlocksShowsOnce)
{
    m_view->OnInitialUpdate();
    Received("\xED\x95");
    Received("\x9C!");
    EXPECT_EQ(m_view->PlainText(), QString::fromUtf8("\xED\x95\x9C!"));
}

TEST_F(ViewTest, InvalidBytesShowAsReplacementCharacter)
{
    m_view->OnInitialUpdate();
    Received("a\xC0z");
    const QString text = m_view->PlainText();
    EXPECT_TRUE(text.contains(QChar(0xFFFD)));
    EXPECT_TRUE(text.startsWith(QLatin1Char('a')));
    EXPECT_TRUE(text.endsWith(QLatin1Char('z')));
}

TEST_F(ViewTest, LineEndsAcrossBlocks)
{
    m_view->OnInitialUpdate();
    Received("one\r");
    Received("\ntwo\n");
    Received("three\r\nfour\r");
    Received("five");
    EXPECT_EQ(m_view->PlainText(), QStringLiteral("one\ntwo\nthree\nfour\nfive"));
    EXPECT_EQ(m_doc->Text().LineCount(), 5u);
}

TEST_F(ViewTest, ReceivedAndSentRunsHaveTheirColours)
{
    m_view->OnInitialUpdate();
    Received("in");
    Sent("out");
    m_view->AppendText("echo", 4, true);
    m_view->AppendText("back", 4, false);
    const auto& text = m_doc->Text();
    EXPECT_EQ(text.ColorAt(0), 0x000000FFu);
    EXPECT_EQ(text.ColorAt(2), 0x00FF0000u);
    EXPECT_EQ(text.ColorAt(5), 0x00FF0000u);
    EXPECT_EQ(text.ColorAt(9), 0x000000FFu);
    EXPECT_EQ(m_view->InsertColor(), 0x000000FFu);
}

TEST_F(ViewTest, ColourChangeAffectsOnlyLaterText)
{
    m_view->OnInitialUpdate();
    Received("old");
    m_appearance.m_crReceived = 0x0000FF00;
    Received("new");
    EXPECT_EQ(m_doc->Text().ColorAt(0), 0x000000FFu);
    EXPECT_EQ(m_doc->Text().ColorAt(3), 0x0000FF00u);
}

TEST_F(ViewTest, AppendTextIgnoresHexModeAndIsNotLogged)
{
    m_view->OnInitialUpdate();
    m_doc->m_bHexMode = 1;
    m_view->AppendText("41 42 ", 0, true);
    EXPECT_EQ(m_view->PlainText(), QStringLiteral("41 42 "));
    EXPECT_EQ(CloseAndReadLog().size(), 2u);
}

TEST_F(ViewTest, ReadsTheFiveOptionsFromTheStore)
{
    ASSERT_TRUE(support::WriteProfileInt("Terminal Settings", "AutoWrap", 1));
    ASSERT_TRUE(support::WriteProfileInt("Terminal Settings", "LocalEcho", 0));
    ASSERT_TRUE(support::WriteProfileInt("Terminal Settings", "Insert LF before Receive Line", 1));
    ASSERT_TRUE(support::WriteProfileInt("Terminal Settings", "Insert LF after Send Line", 1));
    ASSERT_TRUE(support::WriteProfileInt("Terminal Settings", "Append CRC to the end of send", 1));
    m_view->OnInitialUpdate();
    EXPECT_EQ(m_doc->m_bHexMode, 1);
    EXPECT_EQ(m_doc->m_bLocalEcho, 0);
    EXPECT_EQ(m_doc->m_bReceiveLF, 1);
    EXPECT_EQ(m_doc->m_bSendLF, 1);
    EXPECT_EQ(m_doc->m_bAppendCRC, 1);
}

TEST_F(ViewTest, FirstRunKeepsDefaults)
{
    m_view->OnInitialUpdate();
    EXPECT_EQ(m_doc->m_bHexMode, 0);
    EXPECT_EQ(m_doc->m_bLocalEcho, 1);
    EXPECT_EQ(m_doc->m_bReceiveLF, 0);
    EXPECT_EQ(m_doc->m_bSendLF, 0);
    EXPECT_EQ(m_doc->m_bAppendCRC, 0);
}

TEST_F(ViewTest, NewEmptiesTextAndReinitialises)
{
    m_view->OnInitialUpdate();
    m_doc->m_bHexMode = 1;
    Received("\x10");
    m_doc->SetTitle(QStringLiteral("x.rtf - Kestrana"));
    m_doc->m_bHexMode = 0;
    ASSERT_TRUE(support::WriteProfileInt("Terminal Settings", "AutoWrap", 1));

    EXPECT_TRUE(m_doc->OnNewDocument());
    m_view->OnInitialUpdate();
    EXPECT_TRUE(m_view->PlainText().isEmpty());
    EXPECT_EQ(m_doc->GetTitle(), QStringLiteral("No File - Kestrana"));
    EXPECT_EQ(m_doc->m_bHexMode, 1);

    const auto lines = CloseAndReadLog();
    ASSERT_EQ(lines.size(), 2u);  // emptied, started anew
    EXPECT_EQ(lines[0], std::string(kPrefix) + "Receice Logging Start!");
    EXPECT_EQ(lines[1], std::string(kPrefix) + "Logging End!");
}

TEST_F(ViewTest, ThousandBlocksKeepOrderAndLogLinesWithoutPerBlockRepaint)
{
    m_view->show();
    m_view->OnInitialUpdate();
    m_doc->m_bHexMode = 1;

    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::Paint)
                ++paints;
            return false;
        }
    } counter;
    QCoreApplication::processEvents();
    m_view->viewport()->installEventFilter(&counter);

    QString expected;
    std::vector<std::string> expectedLines;
    for (int i = 0; i < 1000; ++i) {
        const char block[2] = {static_cast<char>(i & 0xFF), static_cast<char>(i >> 8)};
        Received(std::string(block, 2));
        const std::string groups = QStringLiteral("%1 %2 ")
                                       .arg(i & 0xFF, 2, 16, QLatin1Char('0'))
                                       .arg(i >> 8, 2, 16, QLatin1Char('0'))
                                       .toUpper()
                                       .toStdString();
        expected += QString::fromStdString(groups);
        expectedLines.push_back(std::string(kPrefix) + groups);
    }
    // Nothing was painted while the blocks came in; one repaint is waiting.
    EXPECT_EQ(counter.paints, 0);
    EXPECT_TRUE(m_view->HasPendingRepaint());
    m_view->FlushPending();
    EXPECT_FALSE(m_view->HasPendingRepaint());
    EXPECT_EQ(counter.paints, 1);
    EXPECT_EQ(m_view->PlainText(), expected);

    m_view->viewport()->removeEventFilter(&counter);
    const auto lines = CloseAndReadLog();
    ASSERT_EQ(lines.size(), 1002u);
    for (std::size_t i = 0; i < 1000; ++i)
        ASSERT_EQ(lines[i + 1], expectedLines[i]) << "block " << i;
}

TEST_F(ViewTest, ArrivingBlockScrollsToTheEnd)
{
    m_view->show();
    m_view->OnInitialUpdate();
    for (int i = 0; i < 200; ++i)
        Received("line of text\n");
    m_view->FlushPending();
    QScrollBar* bar = m_view->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());

    bar->setValue(0);
    Received("more\n");
    m_view->FlushPending();
    EXPECT_EQ(bar->value(), bar->maximum());
}

TEST_F(ViewTest, DragSelectsCtrlCCopiesAndAnArrivingBlockDropsTheSelection)
{
    m_view->show();
    m_view->OnInitialUpdate();
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
        QKeyEvent key(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier);
        QCoreApplication::sendEvent(m_view.get(), &key);
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

TEST_F(ViewTest, PaintsReceivedRedAndSentBlue)
{
    m_view->show();
    m_view->OnInitialUpdate();
    QFont big = m_appearance.TerminalFont();
    big.setPointSize(18);
    big.setBold(true);
    m_appearance.SetCharFormat(CharFormatFromFont(big));
    m_view->ApplyAppearanceFont();
    Received("MMMMMMMM\n");
    Sent("WWWWWWWW");
    m_view->FlushPending();
    const QImage image = m_view->viewport()->grab().toImage();
    bool red = false;
    bool blue = false;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            red = red || (c.red() > 200 && c.green() < 60 && c.blue() < 60);
            blue = blue || (c.blue() > 200 && c.red() < 60 && c.green() < 60);
        }
    EXPECT_TRUE(red);
    EXPECT_TRUE(blue);
}

TEST_F(ViewTest, WrapsAtTheWindowWidth)
{
    m_view->show();
    m_view->OnInitialUpdate();
    const int columns = m_view->Columns();
    ASSERT_GT(columns, 1);
    Received(std::string(static_cast<std::size_t>(columns) * 3, 'x'));
    EXPECT_EQ(m_doc->Text().RowCount(), 3u);
    m_view->resize(m_view->width() / 2, m_view->height());
    QCoreApplication::processEvents();
    EXPECT_LT(m_view->Columns(), columns);
    EXPECT_GT(m_doc->Text().RowCount(), 3u);
}

TEST_F(ViewTest, WideCharactersWrapWithinTheWindow)
{
    m_view->show();
    m_view->OnInitialUpdate();
    const int columns = m_view->Columns();
    ASSERT_GT(columns, 3);
    // As many Hangul syllables as there are columns need two rows, and no
    // row holds more cells than the window has.
    std::string hangul;
    for (int i = 0; i < columns; ++i)
        hangul += "\xED\x95\x9C";  // U+D55C
    Received(hangul);
    const TerminalText& text = m_doc->Text();
    EXPECT_EQ(text.RowCount(), 2u);
    EXPECT_EQ(text.RowLength(0), static_cast<std::uint64_t>(columns / 2));
    EXPECT_EQ(m_view->PlainText().size(), columns);
}

}  // namespace
