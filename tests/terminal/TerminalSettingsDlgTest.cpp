// The terminal settings dialog on a real view, its document and a settings
// store in a temporary folder.

#include "TerminalTestSupport.h"

#include "support/Profile.h"
#include "support/Registry.h"
#include "terminal/TerminalSettingsDlg.h"

#include <QCheckBox>
#include <QPushButton>

namespace {

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

void Press(QDialog& dialog, const char* name) { dialog.findChild<QPushButton*>(QString::fromLatin1(name))->click(); }

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
            Press(dialog, button);
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
    ASSERT_TRUE(registry.CreateKeyByPath("HKEY_CURRENT_USER\\Software\\Trevane Desk2\\Trevane2"));
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
    Press(dialog, "button1");
    EXPECT_EQ(m_doc->m_bHexMode, 1);
    EXPECT_EQ(m_boxes.texts, std::vector<std::string>{"The terminal settings could not be stored."});
}

}  // namespace
