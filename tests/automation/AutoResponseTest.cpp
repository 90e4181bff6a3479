// "Automatic Response" in the running program, a pty as the device: which
// received blocks are answered, with what, and when responding ends.

#include "AutomationTestSupport.h"

#include "automation/AutoResponseDlg.h"
#include "automation/HexEdit.h"

#include <map>

namespace {

using namespace autotest;

struct Row {
    QString in;   // typed into the In box; empty: left blank
    QString out;  // typed into the Out box
};

class AutoResponse : public AutomationFixture {
protected:
    CAutoResponseDlg* Open()
    {
        ClickBarButton(res::IDC_AUTORESP);
        return Frame()->AutoResponseWindow();
    }
    // Types the rows over what the boxes hold and presses "Start".
    CAutoResponseDlg* StartWith(const std::vector<Row>& rows)
    {
        CAutoResponseDlg* window = Frame()->AutoResponseWindow() ? Frame()->AutoResponseWindow() : Open();
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const int row = static_cast<int>(i) + 1;
            window->InBox(row)->clear();
            window->OutBox(row)->clear();
            Type(window->InBox(row), rows[i].in);
            Type(window->OutBox(row), rows[i].out);
        }
        Click(window, 1004);
        EXPECT_TRUE(PumpUntil([&] { return Frame()->m_bResponderActive == 1; }));
        return window;
    }
    // The device sends `block` in one piece; waits until the terminal shows it.
    void Receive(const std::string& block)
    {
        const qsizetype before = ViewText().size();
        ASSERT_TRUE(m_pty.WriteMaster(block));
        ASSERT_TRUE(PumpUntil([&] { return ViewText().size() > before; }));
    }
    // What the program sent back after the device's `block`, read until
    // `count` bytes are in.
    std::string Answer(const std::string& block, std::size_t count)
    {
        EXPECT_TRUE(m_pty.WriteMaster(block));
        return PumpRead(count);
    }
};

TEST_F(AutoResponse, WorkedExampleAnswersTheExactBlockOnly)
{
    CAutoResponseDlg* window = StartWith({{"0102", "AABB"}, {"05", "cc"}});
    EXPECT_EQ(window->InBox(1)->text(), QStringLiteral("01 02 "));
    EXPECT_EQ(window->OutBox(1)->text(), QStringLiteral("AA BB "));
    EXPECT_EQ(window->findChild<QPushButton*>("button1004")->text(), QStringLiteral("End"));
    EXPECT_EQ(Doc()->m_mapAutoResp,
              (std::map<std::string, std::string>{{"01 02", "AA BB "}, {"05", "CC "}}));

    EXPECT_EQ(Answer("\x01\x02", 2), "\xAA\xBB");
    // The reply is echoed as stored, after the received block.
    ASSERT_TRUE(PumpUntil([&] { return ViewText().endsWith(QStringLiteral("AA BB ")); }));

    // A longer block and a pattern split over two blocks get no answer: the
    // next answer to come is the one for 05.
    Receive("\x01\x02\x03");
    Receive("\x01");
    Receive("\x02");
    EXPECT_EQ(Answer("\x05", 1), "\xCC");
}

TEST_F(AutoResponse, PatternsAreUpperCasedAndAFirstByteOf00HidesNothing)
{
    // Row 1 blank; 00 first in the store, the others after it.
    StartWith({{"", "11"}, {"0a", "bb"}, {"0011", "22"}});
    EXPECT_EQ(Doc()->m_mapAutoResp,
              (std::map<std::string, std::string>{{"00 11", "22 "}, {"0A", "BB "}}));
    EXPECT_EQ(Answer(std::string("\x00\x11", 2), 1), "\x22");
    EXPECT_EQ(Answer("\x0A", 1), "\xBB");
}

TEST_F(AutoResponse, EachStartReplacesTheStoreSoAtMostThreePatternsAnswer)
{
    CAutoResponseDlg* window = StartWith({{"01", "A1"}, {"02", "A2"}, {"03", "A3"}});
    Click(window, 1004);  // "End"
    ASSERT_TRUE(PumpUntil([&] { return Frame()->m_bResponderActive == 0; }));
    StartWith({{"04", "A4"}, {"02", "B2"}, {"03", "A3"}});
    EXPECT_EQ(Doc()->m_mapAutoResp,
              (std::map<std::string, std::string>{{"02", "B2 "}, {"03", "A3 "}, {"04", "A4 "}}));
    Receive("\x01");  // the replaced pattern is gone
    EXPECT_EQ(Answer("\x02", 1), "\xB2");
    EXPECT_EQ(Answer("\x04", 1), "\xA4");
}

TEST_F(AutoResponse, EmptyReplyOrNoPatternSendsAndEchoesNothing)
{
    CAutoResponseDlg* window = StartWith({});
    EXPECT_EQ(window->findChild<QPushButton*>("button1004")->text(), QStringLiteral("End"));
    EXPECT_TRUE(Doc()->m_mapAutoResp.empty());
    Receive(std::string("\x00" "A", 2));
    EXPECT_EQ(SentBeforeMarker(), "");

    Click(window, 1004);
    StartWith({{"01", ""}, {"02", "A2"}});
    Receive("\x01");
    const QString shown = ViewText();
    EXPECT_EQ(Answer("\x02", 1), "\xA2");
    ASSERT_TRUE(PumpUntil([&] { return ViewText().endsWith(QStringLiteral("A2 ")); }));
    EXPECT_EQ(ViewText(), shown + QStringLiteral("\x02" "A2 "));
}

TEST_F(AutoResponse, BlockIsComparedAsReceivedWhateverTheLineFeedOption)
{
    Doc()->m_bReceiveLF = 1;  // the terminal gets CR LF A, the window CR A
    StartWith({{"0D41", "0A"}});
    EXPECT_EQ(Answer("\x0D\x41", 1), "\x0A");
}

TEST_F(AutoResponse, ClosingTheWindowEndsRespondingAndReopeningShowsThePairs)
{
    CAutoResponseDlg* window = StartWith({{"31", "32"}});
    Click(window, 1008);
    ASSERT_TRUE(PumpUntil([&] { return Frame()->AutoResponseWindow() == nullptr; }));
    EXPECT_EQ(Frame()->m_bResponderActive, 0);
    Receive("1");
    EXPECT_EQ(SentBeforeMarker(), "");

    window = Open();
    EXPECT_EQ(window->InBox(1)->text(), QStringLiteral("31"));
    EXPECT_EQ(window->OutBox(1)->text(), QStringLiteral("32 "));
    EXPECT_EQ(window->findChild<QPushButton*>("button1004")->text(), QStringLiteral("Start"));
    Receive("1");
    EXPECT_EQ(SentBeforeMarker(), "");
    Click(window, 1004);
    EXPECT_EQ(Answer("1", 1), "2");
}

}  // namespace
