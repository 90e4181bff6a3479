// The font and colour dialog on a real view; the font and colour choosers
// answer through their hooks.

#include "TerminalTestSupport.h"

#include "terminal/Appearance.h"
#include "terminal/AppearanceDlg.h"
#include "terminal/Choosers.h"
#include "terminal/Trevane2Doc.h"
#include "terminal/Trevane2View.h"

#include <QLabel>
#include <QPushButton>
#include <QTextCursor>
#include <QTextEdit>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

namespace {

constexpr std::uint32_t kRed = 0x000000FF;
constexpr std::uint32_t kBlue = 0x00FF0000;

QFont Font(const char* family, int points, bool bold = false)
{
    QFont font(QString::fromLatin1(family));
    font.setPointSize(points);
    font.setBold(bold);
    return font;
}

// The font of a preview's first character.
QFont PreviewFont(QTextEdit* preview)
{
    QTextCursor cursor(preview->document());
    cursor.movePosition(QTextCursor::NextCharacter);
    return cursor.charFormat().font();
}

class AppearanceDlgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        terminal_test::App();
        m_dir = std::make_unique<terminal_test::TempWorkDir>();
        m_doc = std::make_unique<CTrevane2Doc>();
        m_view = std::make_unique<CTrevane2View>(m_doc.get(), &m_appearance);
        m_previousFont = SetFontChooser([this](const QFont& initial, QWidget*) {
            m_fontAsked.push_back(initial);
            return m_fontAnswer;
        });
        m_previousColor = SetColorChooser([this](const QColor& initial, QWidget*) {
            m_colorAsked.push_back(initial);
            return m_colorAnswer;
        });
    }
    void TearDown() override
    {
        SetFontChooser(std::move(m_previousFont));
        SetColorChooser(std::move(m_previousColor));
        m_view.reset();
        m_doc.reset();
        m_dir.reset();
    }
    template <typename T>
    static T* Child(QDialog& dialog, const char* name)
    {
        T* child = dialog.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    static void Click(QDialog& dialog, const char* name) { Child<QPushButton>(dialog, name)->click(); }
    static std::uint32_t Shown(QDialog& dialog, const char* preview)
    {
        return CAppearanceDlg::PreviewColor(Child<QTextEdit>(dialog, preview));
    }

    CAppearance m_appearance;
    std::unique_ptr<terminal_test::TempWorkDir> m_dir;
    std::unique_ptr<CTrevane2Doc> m_doc;
    std::unique_ptr<CTrevane2View> m_view;
    FontChooser m_previousFont;
    ColorChooser m_previousColor;
    std::optional<QFont> m_fontAnswer;
    std::optional<QColor> m_colorAnswer;
    std::vector<QFont> m_fontAsked;
    std::vector<QColor> m_colorAsked;
};

TEST_F(AppearanceDlgTest, OpensWithTheTerminalFontAndTheAppearanceColours)
{
    m_view->setFont(Font("DejaVu Sans Mono", 12));
    CAppearanceDlg dialog(m_view.get());
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("글꼴 & 색"));
    EXPECT_EQ(Child<QLabel>(dialog, "static1004")->text(), QStringLiteral("DejaVu Sans Mono"));
    EXPECT_EQ(Child<QTextEdit>(dialog, "edit1015")->toPlainText(),
              QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ\nabcdefghijklmnopqrstuvwxyz\n1234567890"));
    EXPECT_EQ(PreviewFont(Child<QTextEdit>(dialog, "edit1015")).family(), QStringLiteral("DejaVu Sans Mono"));
    EXPECT_EQ(Shown(dialog, "edit1016"), kRed);
    EXPECT_EQ(Shown(dialog, "edit1017"), kBlue);
    EXPECT_EQ(PreviewFont(Child<QTextEdit>(dialog, "edit1016")).pointSize(), 12);
    EXPECT_TRUE(Child<QTextEdit>(dialog, "edit1016")->isReadOnly());
    EXPECT_TRUE(Child<QTextEdit>(dialog, "edit1017")->isReadOnly());
    EXPECT_EQ(dialog.m_cf, CharFormatFromFont(m_view->font()));
}

TEST_F(AppearanceDlgTest, ColourButtonsChangeOnlyTheirPreviewUntilOk)
{
    struct ColourCase {
        const char* button;
        const char* preview;
        const char* other;
        std::uint32_t CAppearance::*changed;
        std::uint32_t CAppearance::*kept;
    };
    const ColourCase cases[] = {
        {"button1007", "edit1016", "edit1017", &CAppearance::m_crReceived, &CAppearance::m_crSent},
        {"button1008", "edit1017", "edit1016", &CAppearance::m_crSent, &CAppearance::m_crReceived},
    };
    for (const ColourCase& c : cases) {
        m_appearance.SetDefaultColors();
        CAppearanceDlg dialog(m_view.get());
        const std::uint32_t otherBefore = Shown(dialog, c.other);
        m_colorAsked.clear();
        m_colorAnswer = QColor(0x12, 0x34, 0x56);
        Click(dialog, c.button);
        ASSERT_EQ(m_colorAsked.size(), 1u);
        EXPECT_EQ(ColorRefFromColor(m_colorAsked[0]), m_appearance.*c.changed) << c.button;
        EXPECT_EQ(Shown(dialog, c.preview), 0x00563412u) << c.button;
        EXPECT_EQ(Shown(dialog, c.other), otherBefore) << c.button;
        EXPECT_EQ(m_appearance.GetReceivedColor(), kRed);  // nothing kept yet
        EXPECT_EQ(m_appearance.GetSentColor(), kBlue);

        // A cancelled chooser changes nothing.
        m_colorAnswer.reset();
        Click(dialog, c.button);
        EXPECT_EQ(Shown(dialog, c.preview), 0x00563412u);

        Click(dialog, "button1");
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(m_appearance.*c.changed, 0x00563412u) << c.button;
        EXPECT_EQ(m_appearance.*c.kept, otherBefore) << c.button;
    }
}

TEST_F(AppearanceDlgTest, CancelKeepsTheAppearance)
{
    const CharFormat before = m_appearance.GetCharFormat();
    CAppearanceDlg dialog(m_view.get());
    m_colorAnswer = QColor(Qt::green);
    Click(dialog, "button1007");
    Click(dialog, "button1008");
    Click(dialog, "button1001");
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(m_appearance.GetReceivedColor(), kRed);
    EXPECT_EQ(m_appearance.GetSentColor(), kBlue);
    EXPECT_EQ(m_appearance.GetCharFormat(), before);
}

TEST_F(AppearanceDlgTest, FontButtonChangesTheTerminalAtOnceAndCancelDoesNotUndoIt)
{
    m_view->setFont(Font("DejaVu Sans Mono", 10));
    CAppearanceDlg dialog(m_view.get());
    m_fontAnswer = Font("Noto Sans Mono CJK KR", 17, true);
    Click(dialog, "button1005");
    ASSERT_EQ(m_fontAsked.size(), 1u);
    EXPECT_EQ(m_fontAsked[0].family(), QStringLiteral("DejaVu Sans Mono"));  // starts from the terminal
    EXPECT_EQ(m_view->font().family(), QStringLiteral("Noto Sans Mono CJK KR"));
    EXPECT_EQ(m_view->font().pointSize(), 17);
    EXPECT_TRUE(m_view->font().bold());
    EXPECT_EQ(Child<QLabel>(dialog, "static1004")->text(), QStringLiteral("Noto Sans Mono CJK KR"));
    // The colour previews take the font and keep their colours.
    for (const char* preview : {"edit1015", "edit1016", "edit1017"})
        EXPECT_EQ(PreviewFont(Child<QTextEdit>(dialog, preview)).pointSize(), 17) << preview;
    EXPECT_EQ(Shown(dialog, "edit1016"), kRed);
    EXPECT_EQ(Shown(dialog, "edit1017"), kBlue);

    Click(dialog, "button1001");
    EXPECT_EQ(m_view->font().family(), QStringLiteral("Noto Sans Mono CJK KR"));
    EXPECT_EQ(m_appearance.GetCharFormat(), CharFormat{});  // nothing to store at exit
}

TEST_F(AppearanceDlgTest, FontThenOkKeepsTheFontInTheAppearance)
{
    CAppearanceDlg dialog(m_view.get());
    m_fontAnswer = Font("DejaVu Sans Mono", 15);
    Click(dialog, "button1005");
    Click(dialog, "button1");
    EXPECT_EQ(m_appearance.GetCharFormat(), CharFormatFromFont(m_view->font()));
    EXPECT_EQ(m_appearance.TerminalFont().family(), QStringLiteral("DejaVu Sans Mono"));
    EXPECT_EQ(m_appearance.TerminalFont().pointSize(), 15);
}

TEST_F(AppearanceDlgTest, CancelledFontChooserLeavesTheTerminal)
{
    m_view->setFont(Font("DejaVu Sans Mono", 11));
    m_fontAnswer.reset();
    EXPECT_FALSE(m_view->PickFont());
    EXPECT_EQ(m_view->font().family(), QStringLiteral("DejaVu Sans Mono"));
    EXPECT_EQ(m_view->font().pointSize(), 11);
}

TEST_F(AppearanceDlgTest, NewColoursApplyOnlyToTextAppendedAfterOk)
{
    m_view->ShowReceived("old", 3);
    m_view->ShowSent("sent", 4);
    CAppearanceDlg dialog(m_view.get());
    m_colorAnswer = QColor(0x00, 0x80, 0x00);
    Click(dialog, "button1007");
    m_colorAnswer = QColor(0x80, 0x00, 0x80);
    Click(dialog, "button1008");
    m_view->ShowReceived("mid", 3);  // before OK: still the old colour
    Click(dialog, "button1");
    m_view->ShowReceived("new", 3);
    m_view->ShowSent("out", 3);

    const TerminalText& text = m_doc->Text();
    ASSERT_EQ(m_view->PlainText(), QStringLiteral("oldsentmidnewout"));
    EXPECT_EQ(text.ColorAt(0), kRed);
    EXPECT_EQ(text.ColorAt(3), kBlue);
    EXPECT_EQ(text.ColorAt(7), kRed);
    EXPECT_EQ(text.ColorAt(10), 0x00008000u);
    EXPECT_EQ(text.ColorAt(13), 0x00800080u);
}

}  // namespace
