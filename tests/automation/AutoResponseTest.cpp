// "Automatic Response" in the running program, a pty as the device: which
// received blocks are answered, with what, and when responding ends.

#include "AutomationTestSupport.h"

#include "automation/AutoResponseDlg.h"
#include "automation/HexEdit.h"

#include <map>

namespace {

using namespace autotest;

struct Row {
    QString in, out;  // typed into the In and Out boxes; an empty In is left blank
};

class AutoResponse : public AutomationFixture {
protected:
    // Types the rows over what the boxes hold and presses "Start" (after
    // "End" when it runs).
    CAutoResponseDlg* StartWith(const std::vector<Row>& rows)
    {
        if (Frame()->AutoResponseWindow() == nullptr)
            ClickBarButton(res::IDC_AUTORESP);
        CAutoResponseDlg* window = Frame()->AutoResponseWindow();
        if (window->IsStarted())
            Click(window, 1004);
        for (int row = 1; row <= 3; ++row) {
            window->InBox(row)->clear();
            window->OutBox(row)->clear();
            if (row <= static_cast<int>(rows.size())) {
                Type(window->InBox(row), rows[row - 1].in);
                Type(window->OutBox(row), rows[row - 1].out);
            }
        }
        Click(window, 1004);
        EXPECT_TRUE(PumpUntil([&] { return Frame()->m_bResponderActive == 1; }));
        EXPECT_EQ(window->findChild<QPushButton*>("button1004")->text(), QStringLiteral("End"));
        return window;
    }
    // The device sends `block` in one piece; waits until the terminal shows it.
    void Receive(const std::string& block)
    {
        const qsizetype before = ViewText().size();
        ASSERT_TRUE(m_pty.WriteMaster(block));
        ASSERT_TRUE(PumpUntil([&] { return ViewText().size() > before; }));
    }
};

TEST_F(AutoResponse, OnlyTheExactBlockOfAStartedPatternIsAnswered)
{
    struct Step {
        std::string block, reply;  // from the device, and the answer (empty: none)
    };
    const struct {
        const char* what;
        std::vector<Row> rows;
        std::map<std::string, std::string> store;
        std::vector<Step> steps;
        int receiveLF = 0;
    } cases[] = {
        {"the worked example; a longer block and a split pattern get no answer",
         {{"0102", "AABB"}, {"05", "cc"}},
         {{"01 02", "AA BB "}, {"05", "CC "}},
         {{"\x01\x02", "\xAA\xBB"}, {"\x01\x02\x03", ""}, {"\x01", ""}, {"\x02", ""}, {"\x05", "\xCC"}}},
        {"no pattern", {}, {}, {{std::string("\x00" "A", 2), ""}}},
        {"upper-cased patterns; a first byte of 00 hides nothing",
         {{"", "11"}, {"0a", "bb"}, {"0011", "22"}},
         {{"00 11", "22 "}, {"0A", "BB "}},
         {{std::string("\x00\x11", 2), "\x22"}, {"\x0A", "\xBB"}}},
        {"each start replaces the whole store",
         {{"04", "A4"}, {"02", "B2"}, {"03", "A3"}},
         {{"02", "B2 "}, {"03", "A3 "}, {"04", "A4 "}},
         {{"\x0A", ""}, {"\x02", "\xB2"}, {"\x04", "\xA4"}}},
        {"an empty reply sends nothing", {{"01", ""}, {"02", "A2"}}, {{"01", ""}, {"02", "A2 "}},
         {{"\x01", ""}, {"\x02", "\xA2"}}},
        {"compared as received, whatever the line-feed option", {{"0D41", "0A"}}, {{"0D 41", "0A "}},
         {{"\x0D\x41", "\x0A"}}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Doc()->m_bReceiveLF = c.receiveLF;
        StartWith(c.rows);
        EXPECT_EQ(Doc()->m_mapAutoResp, c.store);
        for (const Step& step : c.steps) {
            if (step.reply.empty()) {
                Receive(step.block);
                continue;
            }
            // Any answer to an earlier step would come first and show here.
            ASSERT_TRUE(m_pty.WriteMaster(step.block));
            EXPECT_EQ(m_pty.ReadCount(step.reply.size()), step.reply);
            // The reply is echoed as stored, after the received block.
            QString echo;
            for (unsigned char byte : step.reply)
                echo += QStringLiteral("%1 ").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
            EXPECT_TRUE(PumpUntil([&] { return ViewText().endsWith(echo); })) << echo.toStdString();
        }
        EXPECT_EQ(SentBeforeMarker(), "");
    }
}

TEST_F(AutoResponse, ClosingTheWindowEndsRespondingAndReopeningShowsThePairs)
{
    CAutoResponseDlg* window = StartWith({{"31", "32"}});
    Click(window, 1008);
    ASSERT_TRUE(PumpUntil([&] { return Frame()->AutoResponseWindow() == nullptr; }));
    EXPECT_EQ(Frame()->m_bResponderActive, 0);
    Receive("1");
    EXPECT_EQ(SentBeforeMarker(), "");

    ClickBarButton(res::IDC_AUTORESP);
    window = Frame()->AutoResponseWindow();
    EXPECT_TRUE(window->InBox(1)->text() == QStringLiteral("31") && window->OutBox(1)->text() == QStringLiteral("32 "));
    EXPECT_EQ(window->findChild<QPushButton*>("button1004")->text(), QStringLiteral("Start"));
    Receive("1");
    EXPECT_EQ(SentBeforeMarker(), "");
    Click(window, 1004);
    ASSERT_TRUE(m_pty.WriteMaster("1"));
    EXPECT_EQ(m_pty.ReadCount(1), "2");
}

}  // namespace
