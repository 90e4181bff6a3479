// The find bar over the terminal view, driven by keys.

#include "TerminalTestSupport.h"

#include "terminal/FindBar.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QScrollBar>

namespace {

class FindBarTest : public terminal_test::TypingFixture {
protected:
    void SetUp() override
    {
        TypingFixture::SetUp();
        m_view->show();
        m_view->setFocus();
    }
    std::uint64_t Hit() const { return m_view->FoundText().first; }
};

TEST_F(FindBarTest, NextWrapsTheCaseOptionCountsAndNothingGoesOnTheLine)
{
    Received("alpha beta ALPHA gamma alpha");
    QTest::keyClick(m_view.get(), Qt::Key_F3);  // find again without a text opens the bar
    FindBar* bar = m_view->GetFindBar();
    ASSERT_TRUE(bar != nullptr && bar->isVisible());
    QTest::keyClicks(bar->TextEdit(), QStringLiteral("alpha"));
    QTest::keyClick(bar->TextEdit(), Qt::Key_Return);
    EXPECT_EQ(m_view->FoundText(), std::make_pair(std::uint64_t(0), std::uint64_t(5)));
    EXPECT_EQ(m_view->SelectedText(), QStringLiteral("alpha"));
    for (std::uint64_t next : {11u, 23u, 0u}) {
        QTest::keyClick(m_view.get(), Qt::Key_F3);
        EXPECT_EQ(Hit(), next);
    }
    EXPECT_EQ(bar->Status(), QString::fromUtf8("처음부터 다시 찾았습니다."));

    bar->MatchCase()->setChecked(true);
    QTest::keyClick(m_view.get(), Qt::Key_F3);
    EXPECT_EQ(Hit(), 23u);  // ALPHA is passed over
    EXPECT_TRUE(bar->Status().isEmpty());

    bar->TextEdit()->setText(QStringLiteral("delta"));
    QTest::keyClick(bar->TextEdit(), Qt::Key_Return);
    EXPECT_TRUE(m_view->FoundText().second == 0u && m_beeps == 1);
    EXPECT_EQ(bar->Status(), QString::fromUtf8("찾을 수 없습니다."));
    EXPECT_EQ(Sent(), "");  // nothing typed in the bar went on the line

    // A key typed in the terminal goes to the line again and drops the hit.
    bar->TextEdit()->setText(QStringLiteral("beta"));
    QTest::keyClick(bar->TextEdit(), Qt::Key_Return);
    Type("x");
    EXPECT_EQ(Sent(), "x");
    EXPECT_EQ(m_view->FoundText().second, 0u);
}

TEST_F(FindBarTest, TheHitIsScrolledIntoViewAndStaysWhileBlocksArriveUntilEsc)
{
    for (int i = 0; i < 300; ++i)
        Received(i == 20 ? "here is the mark\r\n" : "just a line\r\n");
    QTest::keyClick(m_view.get(), Qt::Key_F, Qt::ControlModifier);
    FindBar* find = m_view->GetFindBar();
    ASSERT_TRUE(find != nullptr && find->isVisible());
    find->TextEdit()->setText(QStringLiteral("mark"));
    QTest::keyClick(find->TextEdit(), Qt::Key_Return);
    QScrollBar* bar = m_view->verticalScrollBar();
    const std::uint64_t row = m_doc->Text().RowOfOffset(Hit());
    auto visible = [&] {
        m_view->FlushPending();
        const auto top = static_cast<std::uint64_t>(bar->value());
        return row >= top && row < top + static_cast<std::uint64_t>(m_view->VisibleRows());
    };
    for (int i = 0; i < 50; ++i)
        Received("more\r\n");
    EXPECT_TRUE(visible() && m_view->FoundText().second != 0u) << "still shown and highlighted";
    // Esc closes the bar and the view stays; the next block brings the end back.
    QTest::keyClick(find->TextEdit(), Qt::Key_Escape);
    EXPECT_TRUE(!find->isVisible() && m_view->FoundText().second == 0u);
    EXPECT_TRUE(visible());
    Received("last\r\n");
    m_view->FlushPending();
    EXPECT_EQ(bar->value(), bar->maximum());
}

}  // namespace
