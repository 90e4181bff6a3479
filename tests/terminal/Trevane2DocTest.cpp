// The document's files: the terminal text saved coloured or plain and both
// kinds opened again; and the S-record file chosen for sending, its line
// feeds counted across the reader's blocks, the files that cannot be
// counted, and File > Open in the view.

#include "TerminalTestSupport.h"

#include "terminal/Choosers.h"
#include "tests/common/TextReference.h"
#include "text/LineFeedCount.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

class FilesTest : public terminal_test::ViewFixture {
protected:
    void SetUp() override
    {
        ViewFixture::SetUp();
        m_view->OnInitialUpdate();
    }
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
        m_view->ShowSent("tx line\nend", 11);
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
    std::string text;
    for (int i = 0; i < count; ++i)
        text += "S1130000285F245F2212226A000424290008237C2A\r\n";
    return text;
}

TEST_F(FilesTest, CountsEveryLineFeedAcrossBlockBoundaries)
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
}

TEST_F(FilesTest, FilesThatCannotBeCountedNameThemselvesAndTheReason)
{
    const std::string dir = m_dir->Path();
    const std::string plain = Write("plain.mot", "S0\n").toStdString();
    ASSERT_EQ(::mkfifo((dir + "/pipe.mot").c_str(), 0600), 0);
    std::vector<std::pair<std::string, std::string>> cases = {
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
        cases.emplace_back(locked, "Cannot open " + locked + ": Permission denied");
    }
    for (const auto& [path, failure] : cases) {
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

}  // namespace
