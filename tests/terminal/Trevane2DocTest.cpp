// Saving the terminal text coloured or plain, and opening both kinds.

#include "TerminalTestSupport.h"

#include "tests/common/TextReference.h"

namespace {

class DocTest : public terminal_test::ViewFixture {
protected:
    QString PathOf(const char* name) const { return QString::fromStdString(m_dir->Path() + "/" + name); }
    void Fill()
    {
        Received("rx {brace} back\\slash\r\n\xED\x95\x9C\tx");
        m_view->ShowSent("tx line\nend", 11);
        Received("!");
    }
};

const QString kExpected = QString::fromUtf8("rx {brace} back\\slash\n\xED\x95\x9C\txtx line\nend!");

TEST_F(DocTest, SavesColouredOrPlainByTheChosenFormatOrElseTheExtension)
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
        const QString path = PathOf(c.name);
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
}

TEST_F(DocTest, OpensPlainTextAndRtfFromOtherWriters)
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
        testfiles::WriteFile(PathOf(c.name).toStdString(), c.content);
        ASSERT_TRUE(m_doc->OnOpenDocument(PathOf(c.name)));
        EXPECT_EQ(m_view->PlainText(), c.text);
        EXPECT_EQ(m_doc->Text().ColorAt(0), c.firstColour);
        EXPECT_EQ(m_doc->Text().ColorAt(9), c.colourAt9);
    }
}

TEST_F(DocTest, FilesThatCannotBeReadOrWrittenFailAndKeepTheText)
{
    Fill();
    EXPECT_FALSE(m_doc->OnOpenDocument(PathOf("missing.rtf")));
    EXPECT_FALSE(m_doc->OnSaveDocument(PathOf("no/such/folder/x.rtf")));
    EXPECT_EQ(m_view->PlainText(), kExpected);
}

}  // namespace
