// Typing into the terminal view: the bytes at the far end of the line and
// what the terminal shows, key by key; and the find bar over the view,
// driven by keys.

#include "TerminalTestSupport.h"

#include "resources/MenuTable.h"
#include "terminal/FindBar.h"
#include "tests/common/PtyPair.h"
#include "text/LineSender.h"
#include "text/TerminalCharset.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QVBoxLayout>

#include <tuple>

namespace {

enum Port { kOpen, kClosed, kFull };  // kFull: the send queue refuses

// Writes what the view sends to the pty's slave; counts the calls.
class PtySender : public LineSender {
public:
    explicit PtySender(testpty::PtyPair& pty) : m_pty(pty) {}
    bool IsPortOpen() const override { return open; }
    bool SendBytes(const std::uint8_t* data, std::size_t length) override
    {
        if (!open || refuse)
            return false;
        calls.emplace_back(reinterpret_cast<const char*>(data), length);
        return m_pty.WriteSlave(calls.back());
    }

    bool open = true;
    bool refuse = false;  // a full send queue
    std::vector<std::string> calls;

private:
    testpty::PtyPair& m_pty;
};

// The view with a pty behind its sender: what the view sends is read at the
// pty's far end.
class TypingTest : public terminal_test::ViewFixture {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_pty.Open(true));
        ViewFixture::SetUp();
    }
    // A new view on a new document with these options, a port in this state
    // and nothing sent, refused or boxed yet.
    void Fresh(Port port, int hexMode, int sendLF = 0, int appendCRC = 0)
    {
        MakeView();
        m_sender.calls.clear();
        m_sender.open = port != kClosed;
        m_sender.refuse = port == kFull;
        m_beeps = 0;
        m_boxes.texts.clear();
        std::tie(m_doc->m_bHexMode, m_doc->m_bSendLF, m_doc->m_bAppendCRC) = std::tuple(hexMode, sendLF, appendCRC);
    }
    void MakeView() override
    {
        ViewFixture::MakeView();
        m_view->SetLineSender(&m_sender);
        QObject::connect(m_view.get(), &CTrevane2View::inputRefused, [this] { ++m_beeps; });
    }
    // Keys as text: '\r' Return, '\n' the keypad's Enter, '\b' Backspace,
    // '\t' Tab; any other character its own key.
    void Type(const std::string& keys)
    {
        for (char c : keys) {
            switch (c) {
            case '\r': QTest::keyClick(m_view.get(), Qt::Key_Return); break;
            case '\n': QTest::keyClick(m_view.get(), Qt::Key_Enter, Qt::KeypadModifier); break;
            case '\b': QTest::keyClick(m_view.get(), Qt::Key_Backspace); break;
            case '\t': QTest::keyClick(m_view.get(), Qt::Key_Tab); break;
            default: QTest::keyClick(m_view.get(), c); break;
            }
        }
    }
    // Text committed by an input method.
    void Commit(const QString& text)
    {
        QInputMethodEvent event(QString(), {});
        event.setCommitString(text);
        QCoreApplication::sendEvent(m_view.get(), &event);
    }
    // Everything sent so far, read at the far end up to a marker written
    // after it: an empty result means nothing was sent.
    std::string Sent()
    {
        static const std::string kMarker = "<<marker>>";
        EXPECT_TRUE(m_pty.WriteSlave(kMarker));
        std::string got = m_pty.ReadUntil(kMarker);
        EXPECT_GE(got.size(), kMarker.size());
        got.resize(got.size() >= kMarker.size() ? got.size() - kMarker.size() : 0);
        return got;
    }

    testpty::PtyPair m_pty;
    PtySender m_sender{m_pty};
    int m_beeps = 0;
};

TEST_F(TypingTest, TrafficTableRowByRow)
{
    const struct {
        const char* what;
        int hexMode, sendLF, appendCRC;
        std::string keys, sent, shown;
        Port port = kOpen;
    } rows[] = {
        {"text: characters go one by one", 0, 1, 1, "ab1", "ab1", "ab1"},
        {"text: Enter", 0, 0, 0, "\r", "\r", "\n"},
        {"text: Enter with send-LF", 0, 1, 0, "A\r", "A\r\n", "A\n"},
        {"text: keypad Enter with send-LF", 0, 1, 0, "\n", "\r\n", "\n"},
        {"text: Tab is a character", 0, 0, 0, "a\tb", "a\tb", "a\tb"},
        {"text: Backspace deletes the last character", 0, 0, 0, "ab\b", "ab\b", "a"},
        {"text: port closed, still shown", 0, 0, 0, "z\r", "", "z\n", kClosed},
        {"text: queue full, still shown and a beep per key", 0, 0, 0, "z\r", "", "z\n", kFull},
        {"hex: pairs are spaced, nothing sent before Enter", 1, 0, 0, "414", "", "41 4"},
        {"hex: send-LF has no effect", 1, 1, 0, "4142\r", "AB", "41 42 \n"},
        {"hex: keypad Enter", 1, 0, 0, "0d0a\n", "\r\n", "0d 0a \n"},
        {"hex: digits in the case typed", 1, 0, 0, "aB\r", "\xAB", "aB \n"},
        {"hex: two CRC lines, each its own CRC", 1, 0, 1, "010203\r010203\r",
         std::string("\x01\x02\x03\x40\xA7\x01\x02\x03\x40\xA7", 10), "01 02 03 CRC-16:40 A7\n01 02 03 CRC-16:40 A7\n"},
        {"hex: empty line", 1, 0, 0, "\r", "", "\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Fresh(row.port, row.hexMode, row.sendLF, row.appendCRC);
        Type(row.keys);
        EXPECT_EQ(Sent(), row.sent);
        EXPECT_TRUE(row.hexMode || row.port != kOpen || m_sender.calls.size() == row.keys.size()) << "one send per key";
        EXPECT_EQ(m_beeps, row.port == kFull ? static_cast<int>(row.keys.size()) : 0);
        m_view->FlushPending();
        EXPECT_EQ(Shown(), row.shown);
        // A new view inserts in the received colour: every typed character
        // shows the sent colour was set before it.
        for (std::uint64_t i = 0; i < m_doc->Text().Size(); ++i)
            EXPECT_EQ(m_doc->Text().ColorAt(i), m_appearance.m_crSent) << "offset " << i;
        EXPECT_TRUE(m_boxes.texts.empty());
    }
}

TEST_F(TypingTest, KeysByTheirKeyCodeNotTheirTextAndAcceleratorsNeverReachTheLine)
{
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        QString text;  // as the event carries it
        std::string sent;
    } keys[] = {
        {Qt::Key_Return, Qt::NoModifier, {}, "\r"},
        {Qt::Key_Enter, Qt::KeypadModifier, {}, "\r"},
        {Qt::Key_B, Qt::ControlModifier, QStringLiteral("\x02"), "\x02"},
        {Qt::Key_BracketRight, Qt::ControlModifier, QStringLiteral("\x1D"), "\x1D"},
        {Qt::Key_Delete, Qt::NoModifier, QStringLiteral("\x7F"), ""},  // carries DEL but types nothing
        {Qt::Key_Left, Qt::NoModifier, {}, ""},
        {Qt::Key_X, Qt::AltModifier, QStringLiteral("x"), ""},
        {Qt::Key_1, Qt::ControlModifier, QStringLiteral("1"), ""},
        {Qt::Key_Return, Qt::ControlModifier, {}, "\n"},
        {Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier, {}, "\n"},
        {Qt::Key_Backspace, Qt::ControlModifier, QStringLiteral("\x7F"), "\x7F"},
        {Qt::Key_Space, Qt::ControlModifier, QStringLiteral(" "), " "},
        {Qt::Key_Tab, Qt::ControlModifier, {}, ""},
    };
    for (const auto& k : keys) {
        QKeyEvent press(QEvent::KeyPress, k.key, k.modifiers, k.text);
        QCoreApplication::sendEvent(m_view.get(), &press);
        EXPECT_EQ(Sent(), k.sent) << "key " << &k - keys;
    }
    EXPECT_EQ(Shown(), "\n\n\n\n ");  // Enter and LF start a line; other control codes are not shown
    EXPECT_EQ(m_beeps, 0);

    // Without a frame to take them the view still never sends them.
    QGuiApplication::clipboard()->clear();
    for (const res::Accelerator& accel : res::kAccelerators) {
        const QKeyCombination combination = QKeySequence(QString::fromLatin1(accel.keys))[0];
        QTest::keyClick(m_view.get(), combination.key(),
                        combination.keyboardModifiers() |
                            (combination.key() == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier));
        if (QWidget* bar = reinterpret_cast<QWidget*>(m_view->GetFindBar()); bar != nullptr)
            bar->hide();
        m_view->setFocus();
    }
    EXPECT_EQ(Sent(), "");
    EXPECT_EQ(Shown(), "\n\n\n\n ");
}

TEST_F(TypingTest, TabStaysInTheTerminalWithOtherWidgetsAround)
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* other = new QLineEdit(&window);
    layout->addWidget(other);
    m_view->setParent(&window);
    layout->addWidget(m_view.get());
    window.show();
    m_view->setFocus();
    QTest::keyClick(m_view.get(), Qt::Key_Tab);
    QTest::keyClick(m_view.get(), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(Sent(), "\t\t");
    EXPECT_TRUE(Shown() == "\t\t" && other->text().isEmpty());
    m_view->setParent(nullptr);
}

TEST_F(TypingTest, TextBackspaceDeletesWhateverItsColour)
{
    Received("ab");
    Type("\b");
    EXPECT_EQ(Shown(), "a");
    Commit(QStringLiteral("\U0001F600"));  // a surrogate pair goes as a whole
    Type("\b");
    EXPECT_EQ(Shown(), "a");
    Received("x\r\n");
    Type("\b");  // a line break goes too
    EXPECT_EQ(Shown(), "ax");
    Type("\b\b\b");  // and on an empty terminal only the byte goes
    EXPECT_EQ(Shown(), "");
    EXPECT_EQ(Sent(), std::string("\b\xF0\x9F\x98\x80\b\b\b\b\b"));
}

TEST_F(TypingTest, TheMessagesInTheirOrderAndTheLineThatSurvivesThem)
{
    const struct {
        const char* what;
        Port port;
        int appendCRC;
        std::string keys;
        const char* message;
        std::string then, sent;  // typed once the port is open and the CRC off
    } rows[] = {
        {"odd line before a closed port", kClosed, 0, "123", "Input Hex Stream is not Even Aligned!", "4\r", "\x12\x34"},
        {"odd line before the CRC", kOpen, 1, "1", "Input Hex Stream is not Even Aligned!", "f\r", "\x1F"},
        {"closed port before the CRC", kClosed, 1, "12", "Comm Port was not opened!", "\r", "\x12"},
        {"one byte and the CRC", kOpen, 1, "41", "CRC Can't be Appended!", "\r", "A"},
        {"no byte and the CRC", kOpen, 1, "", "CRC Can't be Appended!", "", ""},
        {"a full send queue", kFull, 0, "0102", "The line could not be sent.", "\r", "\x01\x02"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Fresh(row.port, 1, 0, row.appendCRC);
        Type(row.keys);
        const std::string shown = Shown();
        const int pair = m_view->HexPairOpen();
        Type("\r");
        EXPECT_EQ(m_boxes.texts, std::vector<std::string>{row.message});
        // Nothing sent; the line, the pair flag and the screen as they were.
        EXPECT_EQ(Sent(), "");
        EXPECT_EQ(QString::fromStdString(m_view->HexLine()), QString::fromStdString(row.keys).toUpper());
        EXPECT_EQ(m_view->HexPairOpen(), pair);
        EXPECT_EQ(Shown(), shown);
        m_sender.open = true;
        m_sender.refuse = false;
        m_doc->m_bAppendCRC = 0;
        Type(row.then);
        EXPECT_EQ(Sent(), row.sent);
        EXPECT_EQ(m_boxes.texts.size(), 1u);
    }
}

TEST_F(TypingTest, CrcBeyondTheLongestBlockIsRefusedWithItsReason)
{
    Fresh(kOpen, 1, 0, 1);
    m_view->setUpdatesEnabled(false);
    for (int i = 0; i < 2 * 65536; ++i)  // 65,536 bytes
        m_view->OnChar(u'A');
    Type("\r");
    ASSERT_EQ(m_boxes.texts, std::vector<std::string>{"CRC Can't be Appended!"});
    EXPECT_NE(m_boxes.details[0].find("65536 bytes"), std::string::npos) << m_boxes.details[0];
    EXPECT_TRUE(m_view->HexLine().size() == 2 * 65536 && m_sender.calls.empty());
}

TEST_F(TypingTest, HexRefusesNonDigitsAndBackspaceTakesBackTheLastUnsentDigitAndItsSpace)
{
    m_doc->m_bHexMode = 1;
    Type("1 gGz.-\t");
    QTest::keyClick(m_view.get(), Qt::Key_B, Qt::ControlModifier);
    Commit(QStringLiteral("한"));
    EXPECT_EQ(m_beeps, 9);
    EXPECT_EQ(Shown(), "1");
    Type("23\b");
    EXPECT_TRUE(m_view->HexLine() == "12" && m_view->HexPairOpen() == 0 && Shown() == "12 ") << Shown();
    Type("\b");
    EXPECT_TRUE(m_view->HexLine() == "1" && m_view->HexPairOpen() == 1 && Shown() == "1") << Shown();
    Received("\x7F");  // shown as "7F ", the digit's own text before it
    Type("2\b\b");
    EXPECT_EQ(Shown(), "7F ");
    EXPECT_EQ(m_doc->Text().ColorAt(0), m_appearance.m_crReceived);
    Type("\b");
    EXPECT_EQ(m_beeps, 10) << "nothing left to take back";
    Type("ab\r\b");  // what was sent stays sent
    EXPECT_EQ(m_beeps, 11);
    EXPECT_EQ(Shown(), "7F ab \n");
    EXPECT_EQ(Sent(), "\xAB");

    // Text Backspace through a hex line takes its digits along: "3", then "2 ".
    Type("123");
    m_doc->m_bHexMode = 0;
    Type("\b\b");
    m_doc->m_bHexMode = 1;
    EXPECT_EQ(m_view->HexLine(), "12");
    Type("\r");
    EXPECT_EQ(Sent(), std::string("\b\b\x12", 3));
    // A new document forgets a half-typed line.
    Type("9");
    m_view->OnInitialUpdate();
    EXPECT_TRUE(m_view->HexLine().empty() && m_view->HexPairOpen() == 0);
}

TEST_F(TypingTest, CommittedTextIsOneSendInTheTerminalsCharacterSetOrRefusedWhole)
{
    const struct {
        const char* charset;
        QString text;
        std::string bytes;  // empty: refused with a box naming the character and the set
    } cases[] = {{"UTF-8", QStringLiteral("한글"), "\xED\x95\x9C\xEA\xB8\x80"},
                 {"CP949", QStringLiteral("한글"), "\xC7\xD1\xB1\xDB"},
                 {"ISO-8859-1", QStringLiteral("a한"), ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.charset);
        SetTerminalCharset(c.charset);
        Fresh(kOpen, 0);
        SetTerminalCharset("");
        // Composing shows nothing on the line and sends nothing.
        QInputMethodEvent composing(QStringLiteral("하"), {});
        QCoreApplication::sendEvent(m_view.get(), &composing);
        EXPECT_TRUE(m_sender.calls.empty());
        Commit(c.text);
        EXPECT_EQ(m_sender.calls.size(), c.bytes.empty() ? 0u : 1u);
        EXPECT_EQ(Sent(), c.bytes);
        if (c.bytes.empty()) {
            ASSERT_EQ(m_boxes.texts, std::vector<std::string>{"The text was not sent."});
            EXPECT_NE(m_boxes.details[0].find(std::string("U+D55C")), std::string::npos) << m_boxes.details[0];
            EXPECT_NE(m_boxes.details[0].find(c.charset), std::string::npos) << m_boxes.details[0];
            EXPECT_EQ(Shown(), "");
        } else {
            EXPECT_EQ(m_view->PlainText(), c.text);  // shown once
            EXPECT_EQ(m_doc->Text().ColorAt(0), m_appearance.m_crSent);
        }
    }
}

TEST_F(TypingTest, PasteSendsTheTextOnceOrTakesTheHexDigits)
{
    QGuiApplication::clipboard()->setText(QStringLiteral("ab\r\ncd\n한"));
    m_view->OnEditPaste();
    ASSERT_EQ(m_sender.calls.size(), 1u);
    EXPECT_EQ(Sent(), "ab\rcd\r\xED\x95\x9C");
    EXPECT_EQ(Shown(), "ab\ncd\n한");
    EXPECT_EQ(m_doc->Text().ColorAt(m_doc->Text().Size() - 1), m_appearance.m_crSent);

    Fresh(kOpen, 0, 1);
    QGuiApplication::clipboard()->setText(QStringLiteral("x\ny"));
    QTest::keyClick(m_view.get(), Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(Sent(), "x\r\ny");

    Fresh(kOpen, 1);
    QGuiApplication::clipboard()->setText(QStringLiteral("1f 2A-3b\n"));
    QTest::keyClick(m_view.get(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Shown(), "1f 2A 3b ");
    EXPECT_EQ(Sent(), "") << "the clipboard's line end is no Enter";
    Type("\r");
    EXPECT_EQ(Sent(), "\x1F\x2A\x3B");
}

class FindBarTest : public TypingTest {
protected:
    void SetUp() override
    {
        TypingTest::SetUp();
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
