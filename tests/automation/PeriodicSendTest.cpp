// "Periodical Send" in the running program, a pty as the device: the period
// arrows, the refusal to start, the bytes and echoes of each tick, and ticks
// skipped while the line is stalled.

#include "AutomationTestSupport.h"

#include "automation/AutomationMessages.h"
#include "automation/HexEdit.h"
#include "automation/PeriodicSendDlg.h"
#include "automation/UpDownButtons.h"

#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

namespace {

using namespace autotest;

class PeriodicSend : public AutomationFixture {
protected:
    CPeriodicSendDlg* Open()
    {
        ClickBarButton(res::IDC_PERIODIC);
        return Frame()->PeriodicSendWindow();
    }
    static QString PeriodText(QWidget* w) { return w->findChild<QLineEdit*>("edit1006")->text(); }
    static QString CountText(QWidget* w) { return w->findChild<QLabel*>("static1001")->text(); }
    static QString StartText(QWidget* w) { return w->findChild<QPushButton*>("button1004")->text(); }
    static CHexEdit* StringBox(QWidget* w) { return w->findChild<CHexEdit*>("edit1005"); }
    static void Arrow(CPeriodicSendDlg* w, bool up, int times = 1)
    {
        auto* spin = w->findChild<CUpDownButtons*>("spin1009");
        for (int i = 0; i < times; ++i)
            QTest::mouseClick(up ? spin->UpButton() : spin->DownButton(), Qt::LeftButton);
    }
    // Opens the window and starts `keys` at `steps` arrow steps.
    CPeriodicSendDlg* StartSending(const QString& keys, int steps = 1)
    {
        CPeriodicSendDlg* window = Open();
        Arrow(window, true, steps);
        Type(StringBox(window), keys);
        Click(window, 1004);
        EXPECT_TRUE(window->IsRunning());
        return window;
    }
};

TEST_F(PeriodicSend, ArrowsStepThePeriodBy100AndAnEmptyStringOrZeroPeriodIsRefused)
{
    CPeriodicSendDlg* window = Open();
    auto* spin = window->findChild<CUpDownButtons*>("spin1009");
    const struct {
        bool up, key;  // key: the arrow key on the focused control instead of a click
        const char* shown;
    } steps[] = {{false, false, "0"}, {true, false, "100"}, {true, true, "200"},
                 {false, false, "100"}, {false, true, "0"}, {false, true, "0"}};
    for (const auto& step : steps) {
        if (step.key)
            QTest::keyClick(spin, step.up ? Qt::Key_Up : Qt::Key_Down);
        else
            Arrow(window, step.up);
        EXPECT_EQ(PeriodText(window), QString::fromLatin1(step.shown)) << "step " << &step - steps;
    }
    Type(window->findChild<QLineEdit*>("edit1006"), QStringLiteral("5"));
    EXPECT_EQ(window->Period(), 0) << "typing into the period box changes nothing";

    const std::pair<int, const char*> refused[] = {{0, "0102"}, {1, ""}, {1, "   "}};
    for (const auto& [arrows, keys] : refused) {
        Arrow(window, true, arrows);
        StringBox(window)->clear();
        Type(StringBox(window), QString::fromLatin1(keys));
        Click(window, 1004);
        EXPECT_FALSE(window->IsRunning()) << keys;
        EXPECT_EQ(StartText(window), QStringLiteral("Start"));
        Arrow(window, false, arrows);
    }
    EXPECT_EQ(m_boxes.Texts(), std::vector<std::string>(3, "Input EditBox Is Empty or Interval is 0"));
}

TEST_F(PeriodicSend, EachTickCountsEchoesAndSendsUntilStoppedOrClosedAndCountsAfreshOnRestart)
{
    CPeriodicSendDlg* window = StartSending(QStringLiteral("0102"));
    EXPECT_EQ(StartText(window), QStringLiteral("End"));
    EXPECT_EQ(m_pty.ReadCount(6), "\x01\x02\x01\x02\x01\x02");
    ASSERT_TRUE(PumpUntil([&] { return window->TickCount() >= 3; }));
    EXPECT_EQ(CountText(window), QStringLiteral("Count:%1").arg(window->TickCount()));
    // Each echo is followed by one space; no line breaks between them.
    EXPECT_EQ(ViewText(), QStringLiteral("01 02 ").repeated(window->TickCount()));

    // Changing the string while running changes nothing until the next start.
    Type(StringBox(window), QStringLiteral("03"));
    const QString lastCount = CountText(window);
    Click(window, 1004);
    EXPECT_TRUE(!window->IsRunning() && window->TickCount() == 0 && CountText(window) == lastCount);
    EXPECT_EQ(StartText(window), QStringLiteral("Start"));

    Click(window, 1004);
    ASSERT_TRUE(PumpUntil([&] { return window->TickCount() >= 1; }));
    EXPECT_EQ(CountText(window), QStringLiteral("Count:1"));
    EXPECT_EQ(m_pty.ReadCount(3), std::string("\x01\x02\x03", 3));

    // Close while running stops the timer first; a new window starts at 0.
    Click(window, 1007);
    EXPECT_TRUE(!window->IsRunning() && window->IsClosing());
    ASSERT_TRUE(PumpUntil([&] { return Frame()->PeriodicSendWindow() == nullptr; }));
    EXPECT_EQ(PeriodText(Open()), QStringLiteral("0"));
}

TEST_F(PeriodicSend, StalledLineSkipsAndCountsTicksInsteadOfQueueingThem)
{
    // Nothing reads the far end: fill the line and the engine's queue.
    const std::vector<std::uint8_t> filler(16384, 0x55);
    std::size_t queued = 0;
    while (queued < 1000 && Frame()->m_pCommPort->SendBytes(filler.data(), filler.size()))
        ++queued;
    ASSERT_LT(queued, 1000u);
    const std::size_t pending = Frame()->m_pCommPort->PendingWriteRequests();

    CPeriodicSendDlg* window = StartSending(QStringLiteral("0102"));
    ASSERT_TRUE(PumpUntil([&] { return window->SkippedTicks() >= 2; }));
    EXPECT_EQ(window->SkippedTicks(), window->TickCount());
    EXPECT_LE(Frame()->m_pCommPort->PendingWriteRequests(), pending);
    EXPECT_EQ(window->findChild<QLabel*>("staticSkipped")->text(), QStringLiteral("Skipped:%1").arg(window->SkippedTicks()));
    EXPECT_EQ(ViewText(), QString());  // a skipped tick is not echoed

    // Once the far end reads again, the ticks go out behind the filler.
    const std::string got = m_pty.ReadUntil("\x01\x02", 20000);
    const std::size_t first = got.find("\x01\x02");
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(got.find_first_not_of('\x55'), first);
    EXPECT_GE(first, queued * filler.size());
}

TEST_F(PeriodicSend, ClosedPortTicksCountAndEchoAndAFileBlockNoticeNeverClosesTheWindow)
{
    CPeriodicSendDlg* window = StartSending(QStringLiteral("a5b"));  // the odd b is not sent
    EXPECT_EQ(m_pty.ReadCount(1), "\xA5");
    Connect(false);
    int before = window->TickCount();
    ASSERT_TRUE(PumpUntil([&] { return window->TickCount() >= before + 2; }));
    EXPECT_EQ(ViewText(), QStringLiteral("a5 b ").repeated(window->TickCount()));
    EXPECT_EQ(window->SkippedTicks(), 0);
    Connect();
    EXPECT_EQ(m_pty.ReadCount(2), "\xA5\xA5");

    // The engine refuses to address a file block's notice to the frame...
    auto block = std::make_unique<std::uint8_t[]>(1);
    EXPECT_FALSE(Frame()->m_pCommPort->QueueWriteRequest(FileBlock, 1, 0, std::move(block),
                                                          Frame()->MessageWindow()));
    // ...and the frame takes the number as a close only from a closing window.
    Frame()->MessageWindow()->PostMessage(WM_FILEBLOCKDONE, 0, 0);
    before = window->TickCount();
    ASSERT_TRUE(PumpUntil([&] { return window->TickCount() >= before + 2; }));
    EXPECT_TRUE(Frame()->PeriodicSendWindow() == window && window->isVisible());
}

}  // namespace
