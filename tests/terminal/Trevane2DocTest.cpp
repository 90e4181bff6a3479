#include "TerminalTestSupport.h"

#include "terminal/Appearance.h"
#include "terminal/Trevane2Doc.h"
#include "terminal/Trevane2View.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>

namespace {

class DocTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        terminal_test::App();
        m_dir = std::make_unique<terminal_test::TempWorkDir>();
        m_doc = std::make_unique<CTrevane2Doc>();
        m_view = std::make_unique<CTrevane2View>(m_doc.get(), &m_appearance);
    }
    void TearDown() override
    {
        m_view.reset();
        m_doc.reset();
        m_dir.reset();
    }
    QString PathOf(const char* name) const
    {
        return QString::fromStdString(m_dir->Path() + "/" + name);
    }
    void Fill()
    {
        const std::string rx = "rx {brace} back\\slash\r\n\xED\x95\x9C\tx";
        const std::string tx = "tx line\nend";
        m_view->ShowReceived(rx.data(), static_cast<int>(rx.size()));
        m_view->ShowSent(tx.data(), static_cast<int>(tx.size()));
        m_view->ShowReceived("!", 1);
    }

    CAppearance m_appearance;
    std::unique_ptr<terminal_test::TempWorkDir> m_dir;
    std::unique_ptr<CTrevane2Doc> m_doc;
    std::unique_ptr<CTrevane2View> m_view;
};

const QString kExpected = QString::fromUtf8("rx {brace} back\\slash\n\xED\x95\x9C\txtx line\nend!");

TEST_F(DocTest, ColouredSaveAndReopenKeepsTextAndBothColours)
{
    Fill();
    const QString path = PathOf("session.rtf");
    ASSERT_TRUE(m_doc->OnSaveDocument(path));
    EXPECT_EQ(m_doc->GetTitle(), QStringLiteral("session.rtf - Kestrana"));
    EXPECT_TRUE(terminal_test::ReadFile(path.toStdString()).rfind("{\\rtf1", 0) == 0);

    CTrevane2Doc reopened;
    ASSERT_TRUE(reopened.OnOpenDocument(path));
    const TerminalText& a = m_doc->Text();
    const TerminalText& b = reopened.Text();
    ASSERT_EQ(b.Size(), a.Size());
    std::u16string textA(a.Size(), u'\0'), textB(b.Size(), u'\0');
    a.Copy(0, textA.size(), textA.data());
    b.Copy(0, textB.size(), textB.data());
    EXPECT_EQ(QString::fromStdU16String(textB), kExpected);
    for (std::uint64_t i = 0; i < a.Size(); ++i)
        ASSERT_EQ(b.ColorAt(i), a.ColorAt(i)) << "offset " << i;
    EXPECT_EQ(b.ColorAt(0), 0x000000FFu);
    EXPECT_EQ(b.ColorAt(static_cast<std::uint64_t>(kExpected.indexOf(QStringLiteral("tx line")))),
              0x00FF0000u);
    EXPECT_EQ(reopened.GetTitle(), QStringLiteral("session.rtf - Kestrana"));
}

TEST_F(DocTest, PlainSaveWritesUtf8Text)
{
    Fill();
    const QString path = PathOf("session.txt");
    ASSERT_TRUE(m_doc->OnSaveDocument(path));
    EXPECT_EQ(QString::fromStdString(terminal_test::ReadFile(path.toStdString())), kExpected);
}

TEST_F(DocTest, ChosenFormatWinsOverExtension)
{
    Fill();
    m_doc->SetSaveFormat(CTrevane2Doc::SaveFormat::Plain);
    const QString path = PathOf("session.log");
    ASSERT_TRUE(m_doc->OnSaveDocument(path));
    EXPECT_EQ(QString::fromStdString(terminal_test::ReadFile(path.toStdString())), kExpected);
}

TEST_F(DocTest, OpensPlainTextInTheReceivedColour)
{
    const std::string path = m_dir->Path() + "/notes.txt";
    std::ofstream(path, std::ios::binary) << "first\r\nsecond\n";
    ASSERT_TRUE(m_doc->OnOpenDocument(QString::fromStdString(path)));
    EXPECT_EQ(m_view->PlainText(), QStringLiteral("first\nsecond\n"));
    EXPECT_EQ(m_doc->Text().ColorAt(0), 0x000000FFu);
    EXPECT_EQ(m_doc->Text().LineCount(), 3u);
}

TEST_F(DocTest, OpeningAMissingFileFailsAndKeepsTheText)
{
    Fill();
    EXPECT_FALSE(m_doc->OnOpenDocument(PathOf("missing.rtf")));
    EXPECT_EQ(m_view->PlainText(), kExpected);
}

TEST_F(DocTest, SavingToAnUnwritablePlaceFails)
{
    Fill();
    EXPECT_FALSE(m_doc->OnSaveDocument(PathOf("no/such/folder/x.rtf")));
}

TEST_F(DocTest, NewDocumentEmptiesTheText)
{
    Fill();
    EXPECT_TRUE(m_doc->OnNewDocument());
    EXPECT_EQ(m_doc->Text().Size(), 0u);
    EXPECT_TRUE(m_view->PlainText().isEmpty());
}

TEST_F(DocTest, ReadsRtfFromOtherWriters)
{
    const std::string path = m_dir->Path() + "/other.rtf";
    std::ofstream(path, std::ios::binary)
        << "{\\rtf1\\ansi{\\fonttbl{\\f0 Courier;}}{\\*\\generator X;}"
           "{\\colortbl ;\\red0\\green128\\blue0;}\n"
           "\\pard\\cf1 gr\\'e9en\\line \\u-10179?\\u-8704?\\cf0 x\\par}";
    ASSERT_TRUE(m_doc->OnOpenDocument(QString::fromStdString(path)));
    EXPECT_EQ(m_view->PlainText(), QString::fromUtf8("gr\xC3\xA9" "en\n\xF0\x9F\x98\x80x\n"));
    EXPECT_EQ(m_doc->Text().ColorAt(0), 0x00008000u);
    EXPECT_EQ(m_doc->Text().ColorAt(9), 0u);
}

}  // namespace
