// The terminal view, its document and its settings dialogs. The view:
// received and sent blocks on screen and in the receive log, repainting,
// scrolling, selection and wrapping; and over a text whose older pieces are
// on disk: scrolling to the oldest text, copying all of it, finding beside
// the window, and the one event-box line when the history file fails. The
// document's files: the terminal text saved coloured or plain and both kinds
// opened again; and the S-record file chosen for sending, its line feeds
// counted across the reader's blocks, the files that cannot be counted, and
// File > Open. The dialogs, with a settings store in a temporary folder:
// colours and font (the stored font record, the store, the choosers answering
// through their hooks), and each terminal option to the document and store.

#include "TerminalTestSupport.h"

#include "platform/LocalTime.h"
#include "support/Profile.h"
#include "support/Registry.h"
#include "terminal/AppearanceDlg.h"
#include "terminal/Choosers.h"
#include "terminal/FindBar.h"
#include "terminal/TerminalSettingsDlg.h"
#include "tests/common/TextReference.h"
#include "text/HistoryFile.h"
#include "text/LineFeedCount.h"

#include <QCheckBox>
#include <QClipboard>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTextEdit>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

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

class HistoryViewTest : public ViewTest {
protected:
    void SetUp() override
    {
        ViewTest::SetUp();
        m_doc->Text().SetPieceUnits(256);
        m_doc->Text().SetMemoryBudget(1);
    }
    void TearDown() override
    {
        HistoryFile::SetWriteFault({});
        ViewTest::TearDown();
    }

    // Lines "line N" through the received path, until the writer caught up.
    std::string Receive(int lines)
    {
        std::string all;
        for (int i = 0; i < lines; ++i) {
            const std::string line = "line " + std::to_string(i) + "\n";
            Received(line);
            all += line;
        }
        m_doc->Text().WaitForWriter(10000);
        QCoreApplication::processEvents();
        m_view->FlushPending();
        return all;
    }
};

TEST_F(HistoryViewTest, AFailingHistoryFileSaysSoOnceAndReceivingGoesOn)
{
    QSignalSpy notices(m_view.get(), &CTrevane2View::logNotice);
    HistoryFile::SetWriteFault([](std::size_t) { return ENOSPC; });
    Receive(1000);
    Receive(1000);
    ASSERT_TRUE(QTest::qWaitFor([&] { return notices.count() > 0; }, 5000));
    QTest::qWait(50);
    ASSERT_EQ(notices.count(), 1);
    EXPECT_TRUE(notices.at(0).at(0).toString().contains(QStringLiteral("No space left on device")));
    EXPECT_TRUE(m_view->PlainText().startsWith(QStringLiteral("[")));
    EXPECT_TRUE(m_view->PlainText().endsWith(QStringLiteral("line 999\n")));
}

TEST_F(HistoryViewTest, FindRunsBesideTheWindowF3GoesOnFromTheHitAndAllScrollsAndCopies)
{
    const QString all = QString::fromStdString(Receive(2000));
    ASSERT_GT(m_doc->Text().PiecesOnDisk(), 20u);
    m_view->OnEditFind();
    FindBar* bar = m_view->GetFindBar();
    bar->TextEdit()->setText(QStringLiteral("line 123"));
    // The view is at the end, so each search goes round to the start.
    qsizetype expected = -1;
    for (int round = 0; round < 3; ++round) {
        QTest::keyClick(bar->TextEdit(), Qt::Key_Return);
        ASSERT_TRUE(bar->Searching());  // the window goes on meanwhile
        ASSERT_TRUE(QTest::qWaitFor([&] { return !bar->Searching(); }, 20000));
        expected = all.indexOf(QStringLiteral("line 123"), expected + 1);
        EXPECT_EQ(m_view->FoundText().first, static_cast<std::uint64_t>(expected)) << round;
        EXPECT_EQ(m_view->SelectedText(), QStringLiteral("line 123"));
    }

    // Esc drops a search under way: no hit turns up after it.
    bar->TextEdit()->setText(QStringLiteral("line 7"));
    QTest::keyClick(bar->TextEdit(), Qt::Key_Return);
    ASSERT_TRUE(bar->Searching());
    QTest::keyClick(bar->TextEdit(), Qt::Key_Escape);
    EXPECT_FALSE(bar->Searching());
    QTest::qWait(200);
    EXPECT_EQ(m_view->FoundText().second, 0u);
    EXPECT_TRUE(bar->Status().isEmpty());

    // Scrolled to the oldest text, all of it is selected and copied.
    m_view->verticalScrollBar()->setValue(0);
    m_view->FlushPending();
    EXPECT_EQ(m_view->FirstVisibleOffset(), 0u);
    EXPECT_EQ(m_doc->Text().RowLength(0), 6u);  // "line 0"
    m_view->OnEditSelectAll();
    m_view->OnEditCopy();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), all);
}

TEST_F(HistoryViewTest, AfterAResizeRowsOnDiskBecomeExactAndTheTopLineStays)
{
    // Lines of wide characters after a few narrow ones: their rows at a new
    // width are only estimated until counted.
    TerminalText& text = m_doc->Text();
    for (int i = 0; i < 1500; ++i) {
        const std::u16string line =
            std::u16string(static_cast<std::size_t>(i % 7), u'x') + std::u16string(40 + i % 61, u'한') + u"\n";
        text.Append(line.data(), line.size(), 0);
    }
    ASSERT_TRUE(text.WaitForWriter(10000));
    QCoreApplication::processEvents();
    m_view->FlushPending();
    QScrollBar* bar = m_view->verticalScrollBar();
    bar->setValue(bar->maximum() / 2);
    m_view->FlushPending();
    const std::uint64_t top = m_view->FirstVisibleOffset();

    // An odd column count, where rows of wide characters leave a cell free.
    int width = m_view->width() - 57;
    m_view->resize(width, m_view->height());
    while (m_view->Columns() % 2 == 0)
        m_view->resize(--width, m_view->height());
    const std::uint64_t estimated = text.RowCount();
    ASSERT_TRUE(QTest::qWaitFor([&] { return text.RowsExact(); }, 20000));
    m_view->FlushPending();
    EXPECT_NE(text.RowCount(), estimated);  // else this would test nothing
    EXPECT_EQ(bar->maximum(), static_cast<int>(text.RowCount()) - m_view->VisibleRows());
    EXPECT_EQ(static_cast<std::uint64_t>(bar->value()), text.RowOfOffset(top));
}

class FilesTest : public ViewTest {
protected:
    std::string PathOf(const std::string& name) const { return m_dir->Path() + "/" + name; }
    QString QPathOf(const std::string& name) const { return QString::fromStdString(PathOf(name)); }
    QString Write(const std::string& name, const std::string& content)
    {
        testfiles::WriteFile(PathOf(name), content);
        return QPathOf(name);
    }
    void Fill()
    {
        Received("rx {brace} back\\slash\r\n\xED\x95\x9C\tx");
        Sent("tx line\nend");
        Received("!");
    }

    int m_asked = 0;  // by the file chooser
    QStringList m_answer;
    testfiles::ScopedHook<OpenFilesChooser> m_chooser{SetOpenFilesChooser, [this](const OpenFilesRequest&, QWidget*) {
                                                          ++m_asked;
                                                          return m_answer;
                                                      }};
};

const QString kExpected = QString::fromUtf8("rx {brace} back\\slash\n\xED\x95\x9C\txtx line\nend!");

TEST_F(FilesTest, SavesColouredOrPlainByTheChosenFormatOrElseTheExtensionAndAFailureKeepsTheText)
{
    using Format = CTrevane2Doc::SaveFormat;
    const struct {
        const char* name;
        Format format;
        bool coloured;
    } cases[] = {{"session.rtf", Format::ByExtension, true},
                 {"session.txt", Format::ByExtension, false},
                 {"session.log", Format::Plain, false},
                 {"session.txt", Format::Coloured, true}};
    Fill();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        m_doc->SetSaveFormat(c.format);
        const QString path = QPathOf(c.name);
        ASSERT_TRUE(m_doc->OnSaveDocument(path));
        EXPECT_EQ(m_doc->GetTitle(), QString::fromLatin1(c.name) + QStringLiteral(" - Kestrana"));
        const std::string saved = testfiles::ReadFile(path.toStdString());
        if (!c.coloured) {
            EXPECT_EQ(QString::fromStdString(saved), kExpected);
            continue;
        }
        EXPECT_EQ(saved.rfind("{\\rtf1", 0), 0u);
        CTrevane2Doc reopened;
        ASSERT_TRUE(reopened.OnOpenDocument(path));
        EXPECT_EQ(QString::fromStdU16String(testtext::All(reopened.Text())), kExpected);
        for (std::uint64_t i = 0; i < m_doc->Text().Size(); ++i)
            ASSERT_EQ(reopened.Text().ColorAt(i), m_doc->Text().ColorAt(i)) << "offset " << i;
    }
    EXPECT_EQ(m_doc->Text().ColorAt(0), 0x000000FFu);
    EXPECT_EQ(m_doc->Text().ColorAt(static_cast<std::uint64_t>(kExpected.indexOf(QStringLiteral("tx line")))),
              0x00FF0000u);
    // Files that cannot be read or written fail and keep the text.
    EXPECT_FALSE(m_doc->OnOpenDocument(QPathOf("missing.rtf")));
    EXPECT_FALSE(m_doc->OnSaveDocument(QPathOf("no/such/folder/x.rtf")));
    EXPECT_EQ(m_view->PlainText(), kExpected);
}

TEST_F(FilesTest, OpensPlainTextAndRtfFromOtherWriters)
{
    const struct {
        const char* name;
        std::string content;
        QString text;
        std::uint32_t firstColour, colourAt9;
    } cases[] = {
        {"notes.txt", "first\r\nsecond\n", QStringLiteral("first\nsecond\n"), 0x000000FF, 0x000000FF},
        {"other.rtf",
         "{\\rtf1\\ansi{\\fonttbl{\\f0 Courier;}}{\\*\\generator X;}{\\colortbl ;\\red0\\green128\\blue0;}\n"
         "\\pard\\cf1 gr\\'e9en\\line \\u-10179?\\u-8704?\\cf0 x\\par}",
         QString::fromUtf8("gr\xC3\xA9" "en\n\xF0\x9F\x98\x80x\n"), 0x00008000, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(m_doc->OnOpenDocument(Write(c.name, c.content)));
        EXPECT_EQ(m_view->PlainText(), c.text);
        EXPECT_EQ(m_doc->Text().ColorAt(0), c.firstColour);
        EXPECT_EQ(m_doc->Text().ColorAt(9), c.colourAt9);
    }
}

std::string S(std::size_t n) { return std::string(n, 'S'); }  // no line feed among them

std::string CrLfLines(int count)
{
    return QByteArray("S1130000285F245F2212226A000424290008237C2A\r\n").repeated(count).toStdString();
}

TEST_F(FilesTest, CountsEveryLineFeedAcrossBlockBoundariesOrNamesTheFileAndWhyNot)
{
    const struct {
        const char* name;
        std::string content;
        std::uint32_t expected;
    } cases[] = {
        {"1000 CR LF lines", CrLfLines(1000), 1000},
        {"empty", "", 0},
        {"257 bytes, the last a line feed", S(256) + "\n", 1},
        {"line feeds on both sides of 256", S(255) + "\n\n" + S(254) + "\n", 3},
        {"last line without a line feed, carriage returns", "S0\rS1\nS9", 1},
        {"binary bytes", std::string("\x00\x0A\xFF\x0A\x0D", 5), 2},
        // Around the reader's own block of 64 KiB.
        {"a line feed on each side of 65536", S(65535) + "\n\n" + S(70000) + "\n", 3},
        {"exactly 65536 line feeds", std::string(65536, '\n'), 65536},
    };
    for (const auto& c : cases) {
        const LineFeedCount count = CountFileLineFeeds(Write("count.mot", c.content).toStdString());
        EXPECT_TRUE(count.ok() && count.lineFeeds == c.expected) << c.name << ": " << count.lineFeeds << count.failure;
        EXPECT_EQ(CountLineFeeds(c.content.data(), c.content.size()), c.expected) << c.name;
    }

    const std::string dir = m_dir->Path(), plain = Write("plain.mot", "S0\n").toStdString();
    ASSERT_EQ(::mkfifo((dir + "/pipe.mot").c_str(), 0600), 0);
    std::vector<std::pair<std::string, std::string>> failures = {
        {dir + "/missing.mot", "Cannot open " + dir + "/missing.mot: No such file or directory"},
        {plain + "/child.mot", "Cannot open " + plain + "/child.mot: Not a directory"},
        {dir, "Cannot read " + dir + ": Is a directory"},
        // A pipe or a device might never end; neither may hold the caller.
        {dir + "/pipe.mot", "Cannot read " + dir + "/pipe.mot: not a regular file"},
        {"/dev/zero", "Cannot read /dev/zero: not a regular file"},
    };
    if (::geteuid() != 0) {  // root reads any file
        const std::string locked = Write("locked.mot", "S0\n").toStdString();
        ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
        failures.emplace_back(locked, "Cannot open " + locked + ": Permission denied");
    }
    for (const auto& [path, failure] : failures) {
        const LineFeedCount count = CountFileLineFeeds(path);
        EXPECT_TRUE(count.failure == failure && count.lineFeeds == 0u) << count.failure;
    }
}

TEST_F(FilesTest, EachChoiceIsCountedAndNamedOrChangesNothing)
{
    Write("b.mot", "1\n2\n3\n");
    Write("a.mot", "1\n");
    const struct {
        const char* what;
        QStringList chosen;
        const char* name;  // what the document then holds
        std::uint32_t lines;
        std::string box;
    } steps[] = {
        {"a file", {Write("image.mot", CrLfLines(1000))}, "image.mot", 1000, ""},
        {"cancel", {}, "image.mot", 1000, ""},
        {"a typed name that does not exist", {QPathOf("typed.mot")}, "image.mot", 1000,
         "Cannot open " + PathOf("typed.mot") + ": No such file or directory"},
        {"several files: the first counts", {QPathOf("b.mot"), QPathOf("a.mot")}, "b.mot", 3, ""},
        {"a relative name is recorded in full", {QStringLiteral("a.mot")}, "a.mot", 1, ""},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        m_boxes.texts.clear();
        m_answer = step.chosen;
        m_view->OnFileOpen();
        EXPECT_TRUE(m_doc->m_strUploadPath.toStdString() == PathOf(step.name) && m_doc->m_nUploadLines == step.lines)
            << m_doc->m_strUploadPath.toStdString() << " " << m_doc->m_nUploadLines;
        EXPECT_EQ(m_doc->GetTitle(), QString::fromLatin1(step.name) + QStringLiteral(" - Kestrana"));
        EXPECT_EQ(m_boxes.texts, step.box.empty() ? std::vector<std::string>{} : std::vector<std::string>{step.box});
    }
    EXPECT_EQ(m_asked, static_cast<int>(std::size(steps)));

    // A new document keeps the choice but not the title.
    ASSERT_TRUE(m_doc->OnNewDocument());
    m_view->OnInitialUpdate();
    EXPECT_EQ(m_doc->m_strUploadPath, QPathOf("a.mot"));
    EXPECT_EQ(m_doc->GetTitle(), QStringLiteral("No File - Kestrana"));
}

constexpr const char* kAppKey = "HKEY_CURRENT_USER\\Software\\Trevane Desk2\\Trevane2";
constexpr std::uint32_t kRed = 0x000000FF;
constexpr std::uint32_t kBlue = 0x00FF0000;

void Click(QDialog& dialog, const char* name) { dialog.findChild<QPushButton*>(QString::fromLatin1(name))->click(); }

TEST(CharFormatTest, FontSurvivesTheRecordAndALongFaceIsCutAtACharacter)
{
    terminal_test::App();
    QFont font(QStringLiteral("DejaVu Sans Mono"), -1, QFont::Bold, true);
    font.setPointSizeF(13.5);
    const CharFormat cf = CharFormatFromFont(font);
    // Size first, little-endian; the face name at its fixed place.
    EXPECT_EQ(cf[0] | cf[1] << 8 | cf[2] << 16 | cf[3] << 24, 60);
    EXPECT_EQ(std::memcmp(cf.data() + kFaceNameOffset, "DejaVu Sans Mono", 17), 0);
    EXPECT_EQ(cf[12] | (cf[13] << 8), 270);  // 13.5 pt in twips
    const QFont back = FontFromCharFormat(cf, QFont(QStringLiteral("Other")));
    EXPECT_TRUE(back.family() == font.family() && back.pointSizeF() == 13.5 && back.bold() && back.italic() &&
                !back.underline());

    // Eleven three-byte characters: 33 bytes, more than the 31 that fit.
    const QString face = QString::fromUtf8("가나다라마바사아자차카");
    const CharFormat korean = CharFormatFromFont(QFont(face));
    const auto* name = reinterpret_cast<const char*>(korean.data() + kFaceNameOffset);
    EXPECT_EQ(QString::fromUtf8(name, static_cast<qsizetype>(strnlen(name, kFaceNameSize))), face.left(10));
}

TEST(AppearanceStoreTest, MissingSectionGivesDefaultColoursAndMissingOrMalformedValuesKeepTheirMembers)
{
    terminal_test::App();
    terminal_test::TempWorkDir dir;
    support::CRegistry registry;
    ASSERT_TRUE(registry.CreateKeyByPath(kAppKey));
    CAppearance appearance;
    appearance.SetReceivedColor(0x00ABCDEF);
    const CharFormat cf = CharFormatFromFont(QFont(QStringLiteral("Kept Face")));
    appearance.SetCharFormat(cf);
    EXPECT_FALSE(appearance.Load(registry));
    EXPECT_EQ(appearance.GetReceivedColor(), kRed);
    EXPECT_EQ(appearance.GetSentColor(), kBlue);
    EXPECT_EQ(appearance.GetCharFormat(), cf);

    ASSERT_TRUE(registry.CreateKey("Appearance"));
    ASSERT_TRUE(registry.WriteDword("SentColor", 0x00010203));
    const unsigned char shortRecord[10] = {60, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 1, 0};
    ASSERT_TRUE(registry.SetValue("Charformat", support::REG_BINARY, shortRecord, sizeof shortRecord));
    ASSERT_TRUE(registry.CloseKey());
    appearance.SetReceivedColor(0x00777777);
    ASSERT_TRUE(appearance.Load(registry));
    EXPECT_EQ(appearance.GetSentColor(), 0x00010203u);
    EXPECT_EQ(appearance.GetReceivedColor(), 0x00777777u);  // no value: unchanged
    EXPECT_EQ(appearance.GetCharFormat(), cf);               // short record ignored
}

class AppearanceDlgTest : public terminal_test::ViewFixture {
protected:
    static std::uint32_t Shown(QDialog& dialog, const char* preview)
    {
        return CAppearanceDlg::PreviewColor(dialog.findChild<QTextEdit*>(QString::fromLatin1(preview)));
    }
    // What the store gives back to the next run.
    CAppearance SavedAndLoaded() const
    {
        support::CRegistry registry, other;
        EXPECT_TRUE(registry.CreateKeyByPath(kAppKey) && m_appearance.Save(registry));
        CAppearance loaded;
        EXPECT_TRUE(other.CreateKeyByPath(kAppKey) && loaded.Load(other));
        return loaded;
    }

    std::optional<QFont> m_fontAnswer;
    std::optional<QColor> m_colorAnswer;
    std::vector<QFont> m_fontAsked;
    std::vector<QColor> m_colorAsked;
    testfiles::ScopedHook<FontChooser> m_fontChooser{SetFontChooser, [this](const QFont& initial, QWidget*) {
                                                         m_fontAsked.push_back(initial);
                                                         return m_fontAnswer;
                                                     }};
    testfiles::ScopedHook<ColorChooser> m_colorChooser{SetColorChooser, [this](const QColor& initial, QWidget*) {
                                                           m_colorAsked.push_back(initial);
                                                           return m_colorAnswer;
                                                       }};
};

TEST_F(AppearanceDlgTest, EachColourReachesLaterTextAndTheStoreOnOkAndNeverOnCancel)
{
    const struct {
        const char *button, *preview, *other;
        std::uint32_t CAppearance::*changed;
        std::uint32_t CAppearance::*kept;
        bool ok;
    } cases[] = {
        {"button1007", "edit1016", "edit1017", &CAppearance::m_crReceived, &CAppearance::m_crSent, false},
        {"button1008", "edit1017", "edit1016", &CAppearance::m_crSent, &CAppearance::m_crReceived, false},
        {"button1007", "edit1016", "edit1017", &CAppearance::m_crReceived, &CAppearance::m_crSent, true},
        {"button1008", "edit1017", "edit1016", &CAppearance::m_crSent, &CAppearance::m_crReceived, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.button) + (c.ok ? " OK" : " Cancel"));
        m_appearance.SetDefaultColors();
        MakeView();
        Received("a");
        CAppearanceDlg dialog(m_view.get());
        m_colorAsked.clear();
        m_colorAnswer = QColor(0x12, 0x34, 0x56);
        Click(dialog, c.button);
        ASSERT_EQ(m_colorAsked.size(), 1u);
        EXPECT_EQ(ColorRefFromColor(m_colorAsked[0]), m_appearance.*c.changed);
        m_colorAnswer.reset();  // a cancelled chooser changes nothing
        Click(dialog, c.button);
        EXPECT_EQ(Shown(dialog, c.preview), 0x00563412u);
        EXPECT_EQ(Shown(dialog, c.other), m_appearance.*c.kept);
        EXPECT_TRUE(m_appearance.GetReceivedColor() == kRed && m_appearance.GetSentColor() == kBlue) << "kept early";

        Received("b");  // before OK: still the old colour
        Click(dialog, c.ok ? "button1" : "button1001");
        // The colours in force reach only the text that comes after.
        Received("c");
        m_view->ShowSent("d", 1);
        const std::uint32_t colours[] = {kRed, kRed, m_appearance.m_crReceived, m_appearance.m_crSent};
        for (std::uint64_t i = 0; i < std::size(colours); ++i)
            EXPECT_EQ(m_doc->Text().ColorAt(i), colours[i]) << "offset " << i;
        const CAppearance loaded = SavedAndLoaded();
        EXPECT_EQ(loaded.*c.changed, c.ok ? 0x00563412u : m_appearance.*c.changed);
        EXPECT_EQ(loaded.*c.kept, m_appearance.*c.kept);
        // OK keeps the terminal's font with the colours.
        EXPECT_EQ(loaded.GetCharFormat(), c.ok ? CharFormatFromFont(m_view->font()) : CharFormat{});
    }
}

TEST_F(AppearanceDlgTest, FontAppliesAtOnceAndReachesTheStoreOnOk)
{
    m_view->setFont(QFont(QStringLiteral("DejaVu Sans Mono"), 10));
    CAppearanceDlg dialog(m_view.get());
    m_fontAnswer.reset();  // a cancelled chooser leaves the terminal
    Click(dialog, "button1005");
    EXPECT_EQ(m_view->font().pointSize(), 10);
    m_fontAnswer = QFont(QStringLiteral("Noto Sans Mono CJK KR"), 17, QFont::Bold);
    Click(dialog, "button1005");
    ASSERT_EQ(m_fontAsked.size(), 2u);
    EXPECT_EQ(m_fontAsked[1].family(), QStringLiteral("DejaVu Sans Mono")) << "starts from the terminal";
    EXPECT_TRUE(m_view->font().family() == m_fontAnswer->family() && m_view->font().pointSize() == 17 &&
                m_view->font().bold());
    Click(dialog, "button1001");  // Cancel does not undo the font, nor keep it
    EXPECT_EQ(m_view->font().pointSize(), 17);
    EXPECT_EQ(m_appearance.GetCharFormat(), CharFormat{});

    CAppearanceDlg again(m_view.get());
    m_fontAnswer = QFont(QStringLiteral("DejaVu Sans Mono"), 15);
    Click(again, "button1005");
    Click(again, "button1");
    const QFont stored = SavedAndLoaded().TerminalFont();
    EXPECT_TRUE(stored.family() == QStringLiteral("DejaVu Sans Mono") && stored.pointSize() == 15);
}

constexpr const char* kSection = "Terminal Settings";

// Each box, the value it is stored under and the document's option.
const struct OptionBox {
    const char* box;
    const char* value;
    int CTrevane2Doc::*option;
} kOptionBoxes[] = {
    {"check1010", "AutoWrap", &CTrevane2Doc::m_bHexMode},
    {"check1009", "LocalEcho", &CTrevane2Doc::m_bLocalEcho},
    {"check1011", "Insert LF before Receive Line", &CTrevane2Doc::m_bReceiveLF},
    {"check1008", "Insert LF after Send Line", &CTrevane2Doc::m_bSendLF},
    {"check1012", "Append CRC to the end of send", &CTrevane2Doc::m_bAppendCRC},
};

int Stored(const char* value) { return support::GetProfileInt(kSection, value, -1); }  // -1: none

QCheckBox* Box(QDialog& dialog, const char* name) { return dialog.findChild<QCheckBox*>(QString::fromLatin1(name)); }

using TerminalSettingsDlgTest = terminal_test::ViewFixture;

TEST_F(TerminalSettingsDlgTest, EachBoxGoesToTheDocumentAndTheStoreOnOkOnlyAndComesBackAfterARestart)
{
    const auto isEcho = [](const OptionBox& entry) { return entry.option == &CTrevane2Doc::m_bLocalEcho; };
    // One box at a time, so a box wired to the wrong option or value shows.
    for (const OptionBox& ticked : kOptionBoxes) {
        if (isEcho(ticked))
            continue;  // greyed: typed characters are always shown
        SCOPED_TRACE(ticked.value);
        for (const OptionBox& entry : kOptionBoxes)
            ASSERT_TRUE(support::WriteProfileInt(kSection, entry.value, isEcho(entry)));
        for (const char* button : {"button2", "button1"}) {  // Cancel, then OK
            CTerminalSettingsDlg dialog(m_view.get());
            EXPECT_FALSE(Box(dialog, "check1009")->isEnabled());
            Box(dialog, ticked.box)->setChecked(true);
            Click(dialog, button);
            EXPECT_EQ((*m_doc).*ticked.option, std::string(button) == "button1");
            EXPECT_EQ(Stored(ticked.value), std::string(button) == "button1");
        }
        MakeView();  // a restart: the options come from the store alone
        CTerminalSettingsDlg dialog(m_view.get());
        for (const OptionBox& entry : kOptionBoxes) {
            const int expected = entry.option == ticked.option || isEcho(entry);
            EXPECT_EQ(Stored(entry.value), expected) << entry.value;
            EXPECT_EQ((*m_doc).*entry.option, expected) << entry.value;
            EXPECT_EQ(Box(dialog, entry.box)->isChecked(), expected == 1) << entry.value;
        }
    }
    EXPECT_TRUE(m_boxes.texts.empty());
}

TEST_F(TerminalSettingsDlgTest, AMissingOrMistypedValueKeepsTheOptionAndAFailedStoreIsReportedButApplies)
{
    support::CRegistry registry;
    ASSERT_TRUE(registry.CreateKeyByPath(kAppKey));
    ASSERT_TRUE(registry.CreateKey(kSection));
    ASSERT_TRUE(registry.SetValue("AutoWrap", support::REG_SZ, "0", 2));
    ASSERT_TRUE(registry.WriteDword("Insert LF before Receive Line", 1));
    m_doc->m_bHexMode = 1;
    m_doc->m_bSendLF = 1;
    CTerminalSettingsDlg dialog(m_view.get());
    EXPECT_TRUE(m_doc->m_bHexMode == 1 && m_doc->m_bSendLF == 1 && m_doc->m_bReceiveLF == 1);
    for (const char* box : {"check1010", "check1008", "check1011"})
        EXPECT_TRUE(Box(dialog, box)->isChecked()) << box;

    // A plain file where the store's folder should be: nothing can be written.
    const std::string blocker = m_dir->Path() + "/blocker";
    testfiles::WriteFile(blocker, "x");
    ::setenv("KESTRANA_REGISTRY_DIR", (blocker + "/sub").c_str(), 1);
    ASSERT_EQ(m_doc->m_bAppendCRC, 0);
    Box(dialog, "check1012")->setChecked(true);
    Click(dialog, "button1");
    EXPECT_EQ(m_doc->m_bAppendCRC, 1);
    EXPECT_EQ(m_boxes.texts, std::vector<std::string>{"The terminal settings could not be stored."});
}

}  // namespace
