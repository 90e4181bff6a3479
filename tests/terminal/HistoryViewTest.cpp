// The terminal window over a text whose older pieces are on disk: scrolling
// to the oldest text, copying all of it, and the one event-box line when the
// history file fails.

#include "TerminalTestSupport.h"
#include "terminal/Appearance.h"
#include "terminal/FindBar.h"
#include "terminal/Trevane2Doc.h"
#include "terminal/Trevane2View.h"
#include "text/HistoryFile.h"

#include <QClipboard>
#include <QLineEdit>
#include <QGuiApplication>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

class HistoryViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        terminal_test::App();
        ::setenv("XDG_CACHE_HOME", m_work.Path().c_str(), 1);
        m_pDoc = std::make_unique<CTrevane2Doc>();
        m_pView = std::make_unique<CTrevane2View>(m_pDoc.get(), &m_appearance);
        m_pDoc->Text().SetPieceUnits(256);
        m_pDoc->Text().SetMemoryBudget(1);
        m_pView->resize(400, 300);
        m_pView->show();
        m_pView->OnInitialUpdate();
    }
    void TearDown() override
    {
        HistoryFile::SetWriteFault({});
        m_pView.reset();
        m_pDoc.reset();
    }

    // Lines "line N" through the received path, until the writer caught up.
    std::string Receive(int lines)
    {
        std::string all;
        for (int i = 0; i < lines; ++i) {
            const std::string line = "line " + std::to_string(i) + "\n";
            m_pView->ShowReceived(line.data(), static_cast<int>(line.size()));
            all += line;
        }
        m_pDoc->Text().WaitForWriter(10000);
        QCoreApplication::processEvents();
        m_pView->FlushPending();
        return all;
    }

    terminal_test::TempWorkDir m_work;
    CAppearance m_appearance;
    std::unique_ptr<CTrevane2Doc> m_pDoc;
    std::unique_ptr<CTrevane2View> m_pView;
};

TEST_F(HistoryViewTest, ScrollsCopiesAndSelectsAcrossTheHistoryOnDisk)
{
    const std::string all = Receive(2000);
    ASSERT_GT(m_pDoc->Text().PiecesOnDisk(), 20u);
    m_pView->verticalScrollBar()->setValue(0);
    m_pView->FlushPending();
    EXPECT_EQ(m_pView->FirstVisibleOffset(), 0u);
    EXPECT_EQ(m_pDoc->Text().RowLength(0), 6u);  // "line 0"

    m_pView->OnEditSelectAll();
    m_pView->OnEditCopy();
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), all);
}

TEST_F(HistoryViewTest, AFailingHistoryFileSaysSoOnceAndReceivingGoesOn)
{
    QSignalSpy notices(m_pView.get(), &CTrevane2View::logNotice);
    HistoryFile::SetWriteFault([](std::size_t) { return ENOSPC; });
    Receive(1000);
    Receive(1000);
    ASSERT_TRUE(QTest::qWaitFor([&] { return notices.count() > 0; }, 5000));
    QTest::qWait(50);
    ASSERT_EQ(notices.count(), 1);
    EXPECT_TRUE(notices.at(0).at(0).toString().contains(QStringLiteral("No space left on device")));
    EXPECT_TRUE(m_pView->PlainText().startsWith(QStringLiteral("[")));
    EXPECT_TRUE(m_pView->PlainText().endsWith(QStringLiteral("line 999\n")));
}

TEST_F(HistoryViewTest, FindRunsBesideTheWindowAndF3GoesOnFromTheHit)
{
    const QString all = QString::fromStdString(Receive(2000));
    m_pView->OnEditFind();
    FindBar* bar = m_pView->GetFindBar();
    bar->TextEdit()->setText(QStringLiteral("line 123"));
    // The view is at the end, so each search goes round to the start.
    qsizetype expected = -1;
    for (int round = 0; round < 3; ++round) {
        QTest::keyClick(bar->TextEdit(), Qt::Key_Return);
        ASSERT_TRUE(bar->Searching());  // the window goes on meanwhile
        ASSERT_TRUE(QTest::qWaitFor([&] { return !bar->Searching(); }, 20000));
        expected = all.indexOf(QStringLiteral("line 123"), expected + 1);
        EXPECT_EQ(m_pView->FoundText().first, static_cast<std::uint64_t>(expected)) << round;
        EXPECT_EQ(m_pView->SelectedText(), QStringLiteral("line 123"));
    }

    // Esc drops a search under way: no hit turns up after it.
    bar->TextEdit()->setText(QStringLiteral("line 7"));
    QTest::keyClick(bar->TextEdit(), Qt::Key_Return);
    ASSERT_TRUE(bar->Searching());
    QTest::keyClick(bar->TextEdit(), Qt::Key_Escape);
    EXPECT_FALSE(bar->Searching());
    QTest::qWait(200);
    EXPECT_EQ(m_pView->FoundText().second, 0u);
    EXPECT_TRUE(bar->Status().isEmpty());
}

TEST_F(HistoryViewTest, AfterAResizeRowsOnDiskBecomeExactAndTheTopLineStays)
{
    // Lines of wide characters after a few narrow ones: their rows at a new
    // width are only estimated until counted.
    TerminalText& text = m_pDoc->Text();
    for (int i = 0; i < 1500; ++i) {
        const std::u16string line =
            std::u16string(static_cast<std::size_t>(i % 7), u'x') + std::u16string(40 + i % 61, u'한') + u"\n";
        text.Append(line.data(), line.size(), 0);
    }
    ASSERT_TRUE(text.WaitForWriter(10000));
    QCoreApplication::processEvents();
    m_pView->FlushPending();
    QScrollBar* bar = m_pView->verticalScrollBar();
    bar->setValue(bar->maximum() / 2);
    m_pView->FlushPending();
    const std::uint64_t top = m_pView->FirstVisibleOffset();

    // An odd column count, where rows of wide characters leave a cell free.
    int width = m_pView->width() - 57;
    m_pView->resize(width, m_pView->height());
    while (m_pView->Columns() % 2 == 0)
        m_pView->resize(--width, m_pView->height());
    const std::uint64_t estimated = text.RowCount();
    ASSERT_TRUE(QTest::qWaitFor([&] { return text.RowsExact(); }, 20000));
    m_pView->FlushPending();
    EXPECT_NE(text.RowCount(), estimated);  // else this would test nothing
    EXPECT_EQ(bar->maximum(), static_cast<int>(text.RowCount()) - m_pView->VisibleRows());
    EXPECT_EQ(static_cast<std::uint64_t>(bar->value()), text.RowOfOffset(top));
}

}  // namespace
