// The terminal view: received and sent blocks on screen and in the receive
// log, repainting, scrolling, selection and wrapping.

#include "TerminalTestSupport.h"

#include "platform/LocalTime.h"
#include "support/Profile.h"

#include <QClipboard>
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

}  // namespace
