// The terminal view: received and sent blocks on screen and in the receive
// log, repainting, scrolling, selection and wrapping.

#include "TerminalTestSupport.h"

#include "platform/LocalTime.h"
#include "support/Profile.h"

#include <QClipboard>
#include <QImage>
#include <QMouseEvent>
#include <QScrollBar>

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
    EXPECT_EQ(m_doc->GetTitle(), QStringLiteral("No File - Kestrana"));
    Received("text ");
    m_doc->m_bHexMode = 1;
    Received(std::string("\x00\xFF", 2));
    Received("A\r\n");
    Sent("\x01");
    m_view->AppendText("41 42 ", 0, true);  // an echo: as given, never logged
    m_doc->m_bHexMode = 0;
    Received("2");
    EXPECT_EQ(m_view->PlainText(), QStringLiteral("text 00 FF 41 0D 0A 01 41 42 2"));

    const std::vector<std::string> expected = {
        std::string(kPrefix) + "Receice Logging Start!", std::string(kPrefix) + "00 FF ",
        std::string(kPrefix) + "41 0D 0A ", std::string(kPrefix) + "01 ", std::string(kPrefix) + "Logging End!"};
    EXPECT_EQ(CloseAndReadLog(), expected);
    // Every line, the last one included, ends in CR LF.
    const std::string raw = testfiles::ReadFile(kLogName);
    EXPECT_EQ(raw.substr(raw.size() - 2), "\r\n");
}

TEST_F(ViewTest, EachSourceKeepsItsOwnHalfCharacterAndColour)
{
    Received("\xED\x95");
    Sent("x\xEA");
    Received("\x9C");
    Sent("\xB8\x80");
    m_view->AppendText("e", 1, true);
    m_view->AppendText("r", 1, false);
    EXPECT_EQ(m_view->PlainText(), QStringLiteral("x한글er"));
    const TerminalText& text = m_doc->Text();
    const std::uint32_t expected[] = {0x00FF0000, 0x000000FF, 0x00FF0000, 0x00FF0000, 0x000000FF};
    for (std::uint64_t i = 0; i < std::size(expected); ++i)
        EXPECT_EQ(text.ColorAt(i), expected[i]) << "offset " << i;
    EXPECT_EQ(m_view->InsertColor(), 0x000000FFu);
}

TEST_F(ViewTest, NewEmptiesTextAndReinitialises)
{
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

    const auto lines = CloseAndReadLog();  // emptied, started anew
    EXPECT_EQ(lines, std::vector<std::string>({std::string(kPrefix) + "Receice Logging Start!",
                                               std::string(kPrefix) + "Logging End!"}));
}

TEST_F(ViewTest, ThousandBlocksKeepOrderAndLogLinesWithoutPerBlockRepaint)
{
    m_doc->m_bHexMode = 1;
    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* e) override
        {
            paints += e->type() == QEvent::Paint;
            return false;
        }
    } counter;
    QCoreApplication::processEvents();
    m_view->viewport()->installEventFilter(&counter);

    QString expected;
    for (int i = 0; i < 1000; ++i) {
        const char block[2] = {static_cast<char>(i & 0xFF), static_cast<char>(i >> 8)};
        Received(std::string(block, 2));
        expected += QStringLiteral("%1 %2 ").arg(i & 0xFF, 2, 16, QLatin1Char('0')).arg(i >> 8, 2, 16, QLatin1Char('0'));
    }
    expected = expected.toUpper();
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
        ASSERT_EQ(lines[i + 1], kPrefix + expected.mid(static_cast<qsizetype>(i) * 6, 6).toStdString()) << i;
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

TEST_F(ViewTest, PaintsReceivedRedAndSentBlue)
{
    QFont big = m_appearance.TerminalFont();
    big.setPointSize(18);
    big.setBold(true);
    m_appearance.SetCharFormat(CharFormatFromFont(big));
    m_view->ApplyAppearanceFont();
    Received("MMMMMMMM\n");
    Sent("WWWWWWWW");
    m_view->FlushPending();
    const QImage image = m_view->viewport()->grab().toImage();
    bool red = false, blue = false;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            red = red || (c.red() > 200 && c.green() < 60 && c.blue() < 60);
            blue = blue || (c.blue() > 200 && c.red() < 60 && c.green() < 60);
        }
    EXPECT_TRUE(red);
    EXPECT_TRUE(blue);
}

TEST_F(ViewTest, WideCharactersWrapWithinTheWindowAndRewrapWhenItShrinks)
{
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
    m_view->resize(m_view->width() / 2, m_view->height());
    QCoreApplication::processEvents();
    EXPECT_LT(m_view->Columns(), columns);
    EXPECT_GT(text.RowCount(), 3u);
}

}  // namespace
