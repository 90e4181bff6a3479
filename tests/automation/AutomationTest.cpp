// The automation windows in the running program, on the application tests'
// fixture (one offscreen QApplication, the real program in a folder of its
// own, message boxes recorded), here always connected to a pseudo-terminal
// as the device, with the event loop running while the far end is read.

#include "automation/AutoResponseDlg.h"
#include "automation/AutoSendAssignDlg.h"
#include "automation/AutoSendDlg.h"
#include "automation/AutomationMessages.h"
#include "automation/HexEdit.h"
#include "automation/PeriodicSendDlg.h"
#include "automation/UpDownButtons.h"
#include "resources/MenuTable.h"
#include "tests/app/AppTestSupport.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <map>

namespace {

using testqt::PumpUntil;

// Each character as a key press with that text; '\b' is Backspace.
void Type(QWidget* widget, const QString& keys)
{
    for (const QChar c : keys) {
        if (c == QLatin1Char('\b')) {
            QTest::keyClick(widget, Qt::Key_Backspace);
            continue;
        }
        for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
            QKeyEvent event(type, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QApplication::sendEvent(widget, &event);
        }
    }
}

// Clicks a push button of a window by its control id.
void Click(QWidget* window, int id)
{
    auto* button = window->findChild<QPushButton*>(QStringLiteral("button%1").arg(id));
    ASSERT_NE(button, nullptr) << id;
    QTest::mouseClick(button, Qt::LeftButton);
}

class AutomationFixture : public apptest::AppFixture {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        m_pty.SetWhileWaiting([] { QCoreApplication::processEvents(); });
        StartConnected();
    }
    void ClickBarButton(unsigned id)
    {
        Frame()->RefreshIdle();
        QPushButton* button = Frame()->BarButton(id);
        ASSERT_TRUE(button != nullptr && button->isEnabled()) << id;
        QTest::mouseClick(button, Qt::LeftButton);
    }
    void Connect(bool connect = true)
    {
        Frame()->Action(connect ? res::ID_COMM_OPEN : res::ID_COMM_CLOSE)->trigger();
        ASSERT_EQ(Frame()->m_pCommPort->IsOpen(), connect);
    }
    // The bytes sent before a marker key typed into the terminal: what did
    // (not) reach the line up to now.
    std::string SentBeforeMarker()
    {
        const int hexMode = Doc()->m_bHexMode;
        Doc()->m_bHexMode = 0;
        QTest::keyClick(View(), '~');
        Doc()->m_bHexMode = hexMode;
        std::string got = m_pty.ReadUntil("~");
        EXPECT_TRUE(!got.empty() && got.back() == '~') << got;
        return got.substr(0, got.empty() ? 0 : got.size() - 1);
    }
};

// What the three automation windows share: the hex entry box (typed letters
// and digits paired with a space, pasted text going in as if typed), a
// second press of the bar button that only brings the open window forward,
// and Enter and Esc that neither press a button nor hide a window the frame
// still holds.

using Windows = AutomationFixture;

TEST_F(Windows, EnterAndEscLeaveEachWindowAsItWasAndASecondPressOnlyActivatesIt)
{
    Doc()->m_mapAutoSend["1005"] = "41";  // so that AutoSend's "1" can be pressed
    const struct {
        const char* name;
        unsigned barButton;
        CModelessDlg* (*window)(CMainFrame*);
    } windows[] = {
        {"AutoSend", res::IDC_AUTOSEND, [](CMainFrame* f) -> CModelessDlg* { return f->AutoSendWindow(); }},
        {"Periodic", res::IDC_PERIODIC, [](CMainFrame* f) -> CModelessDlg* { return f->PeriodicSendWindow(); }},
        {"AutoResp", res::IDC_AUTORESP, [](CMainFrame* f) -> CModelessDlg* { return f->AutoResponseWindow(); }},
    };
    for (const auto& c : windows) {
        SCOPED_TRACE(c.name);
        ClickBarButton(c.barButton);
        CModelessDlg* window = c.window(Frame());
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        // Button 1004 is "1" or "Start" in each of them.
        auto* first = window->findChild<QPushButton*>(QStringLiteral("button1004"));
        const QString label = first->text();
        first->setFocus();
        for (QWidget* target : {static_cast<QWidget*>(first), static_cast<QWidget*>(window)})
            for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
                QTest::keyClick(target, key);
        QCoreApplication::processEvents();
        EXPECT_TRUE(window->isVisible() && !window->IsClosing() && first->text() == label && m_boxes.Texts().empty());
        EXPECT_EQ(SentBeforeMarker(), "");

        ClickBarButton(c.barButton);
        EXPECT_EQ(c.window(Frame()), window);
    }
}

TEST(HexEdit, PairsTypedAndPastedCharacters)
{
    apptest::Qt();
    const struct {
        const char* name;
        QString preset;  // set by code before typing
        QString keys;    // '\b' is Backspace, '\x16' pastes `clipboard`, '\x1a' undoes
        QString clipboard;
        QString text;
        int secondOfPair;
    } cases[] = {
        {"one digit", "", "0", "", "0", 1},
        {"letters keep their case", "", "abGZ01", "", "ab GZ 01 ", 0},
        {"a typed space does not count", "", "1 2", "", "1 2 ", 0},
        {"Backspace leaves the flag", "", "a\bb", "", "b ", 0},
        {"loaded text does not count", "01 02", "34", "", "01 0234 ", 0},
        {"letters beyond ASCII", "", QStringLiteral("é1한"), "", QStringLiteral("é1 한"), 1},
        {"punctuation goes in unpaired", "", "1,2", "", "1,2 ", 0},
        {"paste into an empty box", "", "\x16", "0A 1b\t2", "0A 1b 2", 1},
        {"paste completes an open pair", "", "1\x16" "c", "23 4", "12 34 c", 1},
        {"typing goes on after a paste", "", "\x16" "5", "0a1", "0a 15 ", 0},
        {"an undone digit leaves the pairing in step", "", "1\x1a" "2", "", "2", 1},
        {"an undone pair leaves the pairing in step", "", "12\x1a" "3", "", "3", 1},
    };
    for (const auto& c : cases) {
        CHexEdit box;
        box.show();
        box.setText(c.preset);
        QGuiApplication::clipboard()->setText(c.clipboard);
        for (const QChar key : c.keys) {
            if (key == QChar(0x16))
                QTest::keyClick(&box, Qt::Key_V, Qt::ControlModifier);
            else if (key == QChar(0x1a))
                QTest::keyClick(&box, Qt::Key_Z, Qt::ControlModifier);
            else
                Type(&box, QString(key));
        }
        EXPECT_EQ(box.text(), c.text) << c.name;
        EXPECT_EQ(box.SecondOfPair(), c.secondOfPair) << c.name;
    }
}

// "Automatic Send" and its editor: what the buttons send and echo, and what
// the store keeps.

class AutoSend : public AutomationFixture {
protected:
    CAutoSendDlg* Open()
    {
        ClickBarButton(res::IDC_AUTOSEND);
        return Frame()->AutoSendWindow();
    }
    // Opens the editor, types into its boxes (by id; "" clears a box), notes
    // what they showed at first and ends it with OK or Cancel.
    void Assign(CAutoSendDlg* window, const std::map<int, QString>& boxes, bool ok,
                std::map<int, QString>* shown = nullptr)
    {
        EXPECT_TRUE(apptest::RunModal<CAutoSendAssignDlg>([&] { Click(window, 1014); }, [&](QDialog& editor) {
            auto box = [&editor](int id) { return editor.findChild<CHexEdit*>(QStringLiteral("edit%1").arg(id)); };
            for (int id = 1005; id <= 1014 && shown != nullptr; ++id)
                (*shown)[id] = box(id)->text();
            for (const auto& [id, keys] : boxes) {
                if (keys.isEmpty()) {
                    QTest::keyClick(box(id), Qt::Key_A, Qt::ControlModifier);
                    QTest::keyClick(box(id), Qt::Key_Backspace);
                }
                Type(box(id), keys);
            }
            Click(&editor, ok ? 1 : 2);
        }));
    }
    std::vector<int> EnabledButtons(CAutoSendDlg* window) const
    {
        std::vector<int> ids;
        for (int id = CAutoSendDlg::kFirstSendButton; id <= CAutoSendDlg::kLastSendButton; ++id)
            if (window->Button(id)->isEnabled())
                ids.push_back(id);
        return ids;
    }
};

TEST_F(AutoSend, ButtonsSendTheDecodedBytesAndEchoTheStringWithOrWithoutAPort)
{
    CAutoSendDlg* window = Open();
    EXPECT_TRUE(EnabledButtons(window).empty());

    const struct {
        int box;
        QString keys;
        std::string bytes;
        QString echo;
    } table[] = {
        {1005, "010203", "\x01\x02\x03", "01 02 03 "},
        {1007, "ab", "\xAB", "ab "},
        {1008, "ABC", "\xAB", "AB C "},  // the odd last digit is not sent
        {1014, "0a1B2c", "\x0A\x1B\x2C", "0a 1B 2c "},
    };
    std::map<int, QString> typed;
    for (const auto& slot : table)
        typed[slot.box] = slot.keys;
    Assign(window, typed, true);
    EXPECT_EQ(EnabledButtons(window), (std::vector<int>{1004, 1006, 1007, 1013}));

    QString echoes;
    for (const auto& slot : table) {
        SCOPED_TRACE(slot.keys.toStdString());
        Click(window, slot.box - 1);
        EXPECT_EQ(m_pty.ReadCount(slot.bytes.size()), slot.bytes);
        echoes += slot.echo;
    }
    // With the port closed the window stays usable: the echo alone.
    Connect(false);
    Click(window, 1004);
    EXPECT_EQ(ViewText(), echoes + QStringLiteral("01 02 03 "));
    Connect();
    EXPECT_EQ(SentBeforeMarker(), "");
}

TEST_F(AutoSend, StoreOutlivesTheWindowAndBlankOrCancelledBoxesChangeNothing)
{
    CAutoSendDlg* window = Open();
    Assign(window, {{1005, "11"}}, true);
    Assign(window, {{1005, ""}, {1006, "   "}}, true);  // blank: slot 1 keeps its string
    Assign(window, {{1006, "22"}}, false);             // cancelled
    EXPECT_EQ(Doc()->m_mapAutoSend, (std::map<std::string, std::string>{{"1005", "11"}}));

    Click(window, 1015);
    ASSERT_TRUE(PumpUntil([&] { return Frame()->AutoSendWindow() == nullptr; }));
    window = Open();
    EXPECT_EQ(EnabledButtons(window), std::vector<int>{1004});
    std::map<int, QString> shown;
    Assign(window, {}, false, &shown);
    EXPECT_TRUE(shown[1005] == QStringLiteral("11") && shown[1006].isEmpty()) << "stored trimmed";
    Click(window, 1004);
    EXPECT_EQ(SentBeforeMarker(), "\x11");
}

// "Periodical Send": the period arrows, the refusal to start, the bytes and
// echoes of each tick, and ticks skipped while the line is stalled.

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

// "Automatic Response": which received blocks are answered, with what, and
// when responding ends.

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

TEST_F(AutoResponse, OnlyTheExactBlockOfAStartedPatternIsAnsweredAndClosingTheWindowEndsResponding)
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

    // Closing the window ends responding; reopened, it shows the pairs.
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
