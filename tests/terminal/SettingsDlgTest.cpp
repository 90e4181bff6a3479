// The terminal's settings dialogs on a real view, its document and a
// settings store in a temporary folder. Colours and font: the stored font
// record, the settings store, and the font and colour dialog (the choosers
// answer through their hooks). The terminal settings: each box to the
// document and the store.

#include "TerminalTestSupport.h"

#include "support/Profile.h"
#include "support/Registry.h"
#include "terminal/AppearanceDlg.h"
#include "terminal/Choosers.h"
#include "terminal/TerminalSettingsDlg.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTextEdit>

#include <cstring>
#include <optional>

namespace {

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

TEST_F(TerminalSettingsDlgTest, AMissingValueOrOneOfTheWrongTypeKeepsTheOption)
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
}

TEST_F(TerminalSettingsDlgTest, FailedStoreIsReportedAndTheOptionsStillApply)
{
    CTerminalSettingsDlg dialog(m_view.get());
    Box(dialog, "check1010")->setChecked(true);
    // A plain file where the store's folder should be: nothing can be written.
    const std::string blocker = m_dir->Path() + "/blocker";
    testfiles::WriteFile(blocker, "x");
    ::setenv("KESTRANA_REGISTRY_DIR", (blocker + "/sub").c_str(), 1);
    Click(dialog, "button1");
    EXPECT_EQ(m_doc->m_bHexMode, 1);
    EXPECT_EQ(m_boxes.texts, std::vector<std::string>{"The terminal settings could not be stored."});
}

}  // namespace
