// The terminal settings dialog on a real view, its document and a settings
// store in a temporary folder.

#include "TerminalTestSupport.h"

#include "platform/MessageBox.h"
#include "support/Profile.h"
#include "support/Registry.h"
#include "terminal/Appearance.h"
#include "terminal/AppearanceDlg.h"
#include "terminal/TerminalSettingsDlg.h"
#include "terminal/Trevane2Doc.h"
#include "terminal/Trevane2View.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <optional>

namespace {

constexpr const char* kAppKey = "HKEY_CURRENT_USER\\Software\\Trevane Desk2\\Trevane2";
constexpr const char* kSection = "Terminal Settings";

// Each box, the value it is stored under and the document's option.
struct OptionBox {
    const char* box;
    const char* value;
    int CTrevane2Doc::*option;
};
const OptionBox kOptionBoxes[] = {
    {"check1010", "AutoWrap", &CTrevane2Doc::m_bHexMode},
    {"check1009", "LocalEcho", &CTrevane2Doc::m_bLocalEcho},
    {"check1011", "Insert LF before Receive Line", &CTrevane2Doc::m_bReceiveLF},
    {"check1008", "Insert LF after Send Line", &CTrevane2Doc::m_bSendLF},
    {"check1012", "Append CRC to the end of send", &CTrevane2Doc::m_bAppendCRC},
};

// A value of the section as stored, or nothing.
std::optional<support::DWORD> Stored(const char* name)
{
    support::CRegistry registry;
    if (!registry.CreateKeyByPath(kAppKey) || !registry.OpenKey(kSection))
        return std::nullopt;
    support::DWORD value = 0;
    if (!registry.ReadDword(name, &value))
        return std::nullopt;
    return value;
}

bool SectionExists()
{
    support::CRegistry registry;
    return registry.CreateKeyByPath(kAppKey) && registry.OpenKey(kSection);
}

class TerminalSettingsDlgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        terminal_test::App();
        m_dir = std::make_unique<terminal_test::TempWorkDir>();
        m_doc = std::make_unique<CTrevane2Doc>();
        m_view = std::make_unique<CTrevane2View>(m_doc.get(), &m_appearance);
        m_previousBox = platform::SetMessageBoxHandler(
            [this](std::string_view text, std::string_view) { m_boxes.emplace_back(text); });
    }
    void TearDown() override
    {
        platform::SetMessageBoxHandler(std::move(m_previousBox));
        m_view.reset();
        m_doc.reset();
        m_dir.reset();
    }
    static QCheckBox* Box(QDialog& dialog, const char* name)
    {
        return dialog.findChild<QCheckBox*>(QString::fromLatin1(name));
    }
    static QPushButton* Button(QDialog& dialog, const char* name)
    {
        return dialog.findChild<QPushButton*>(QString::fromLatin1(name));
    }

    CAppearance m_appearance;
    std::unique_ptr<terminal_test::TempWorkDir> m_dir;
    std::unique_ptr<CTrevane2Doc> m_doc;
    std::unique_ptr<CTrevane2View> m_view;
    platform::MessageBoxHandler m_previousBox;
    std::vector<std::string> m_boxes;
};

TEST_F(TerminalSettingsDlgTest, FirstRunShowsTheDefaultsWithLocalEchoGreyed)
{
    CTerminalSettingsDlg dialog(m_view.get());
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("터미널 설정"));
    for (const OptionBox& entry : kOptionBoxes) {
        QCheckBox* box = Box(dialog, entry.box);
        ASSERT_NE(box, nullptr) << entry.box;
        EXPECT_EQ(box->isChecked(), (*m_doc).*entry.option != 0) << entry.box;
        EXPECT_EQ(box->isEnabled(), std::string(entry.box) != "check1009") << entry.box;
    }
    EXPECT_TRUE(Box(dialog, "check1009")->isChecked());
    EXPECT_FALSE(Box(dialog, "check1010")->isChecked());
    EXPECT_FALSE(SectionExists());  // opening reads, never writes
}

TEST_F(TerminalSettingsDlgTest, OkPutsEachBoxIntoTheDocumentAndTheStore)
{
    // One box at a time, so a box wired to the wrong option or value shows.
    for (const OptionBox& ticked : kOptionBoxes) {
        if (std::string(ticked.box) == "check1009")
            continue;  // not editable
        for (const OptionBox& entry : kOptionBoxes)
            if (std::string(entry.box) != "check1009")
                (*m_doc).*entry.option = 0;
        ASSERT_TRUE(m_doc->WriteTerminalSettings());

        CTerminalSettingsDlg dialog(m_view.get());
        Box(dialog, ticked.box)->setChecked(true);
        Button(dialog, "button1")->click();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        for (const OptionBox& entry : kOptionBoxes) {
            const int expected = (entry.option == ticked.option || entry.option == &CTrevane2Doc::m_bLocalEcho) ? 1 : 0;
            EXPECT_EQ((*m_doc).*entry.option, expected) << ticked.box << " -> " << entry.value;
            EXPECT_EQ(Stored(entry.value), std::optional<support::DWORD>(expected))
                << ticked.box << " -> " << entry.value;
        }
    }
    EXPECT_TRUE(m_boxes.empty());
}

TEST_F(TerminalSettingsDlgTest, CancelChangesAndWritesNothing)
{
    CTerminalSettingsDlg dialog(m_view.get());
    Box(dialog, "check1010")->setChecked(true);
    Box(dialog, "check1012")->setChecked(true);
    Button(dialog, "button2")->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(m_doc->m_bHexMode, 0);
    EXPECT_EQ(m_doc->m_bAppendCRC, 0);
    EXPECT_FALSE(SectionExists());
}

TEST_F(TerminalSettingsDlgTest, OpeningReadsTheStoreAgainAndShowsWhatIsInForce)
{
    ASSERT_TRUE(support::WriteProfileInt(kSection, "AutoWrap", 1));
    ASSERT_TRUE(support::WriteProfileInt(kSection, "Append CRC to the end of send", 1));
    m_doc->m_bSendLF = 1;  // no stored value: stays as it is
    CTerminalSettingsDlg dialog(m_view.get());
    EXPECT_EQ(m_doc->m_bHexMode, 1);
    EXPECT_EQ(m_doc->m_bAppendCRC, 1);
    EXPECT_EQ(m_doc->m_bSendLF, 1);
    EXPECT_EQ(m_doc->m_bReceiveLF, 0);
    EXPECT_TRUE(Box(dialog, "check1010")->isChecked());
    EXPECT_TRUE(Box(dialog, "check1012")->isChecked());
    EXPECT_TRUE(Box(dialog, "check1008")->isChecked());
    EXPECT_FALSE(Box(dialog, "check1011")->isChecked());
    // Cancel leaves the document as the loader left it.
    dialog.reject();
    EXPECT_EQ(m_doc->m_bHexMode, 1);
}

TEST_F(TerminalSettingsDlgTest, ValueOfTheWrongTypeKeepsTheOption)
{
    support::CRegistry registry;
    ASSERT_TRUE(registry.CreateKeyByPath(kAppKey));
    ASSERT_TRUE(registry.CreateKey(kSection));
    ASSERT_TRUE(registry.SetValue("AutoWrap", support::REG_SZ, "1", 2));
    ASSERT_TRUE(registry.WriteDword("Insert LF before Receive Line", 1));
    m_doc->m_bHexMode = 1;
    CTerminalSettingsDlg dialog(m_view.get());
    EXPECT_EQ(m_doc->m_bHexMode, 1);
    EXPECT_EQ(m_doc->m_bReceiveLF, 1);
}

TEST_F(TerminalSettingsDlgTest, FailedStoreIsReportedAndTheOptionsStillApply)
{
    CTerminalSettingsDlg dialog(m_view.get());
    Box(dialog, "check1010")->setChecked(true);
    // A plain file where the store's folder should be: nothing can be written.
    const std::string blocker = m_dir->Path() + "/blocker";
    { std::ofstream(blocker) << "x"; }
    ::setenv("KESTRANA_REGISTRY_DIR", (blocker + "/sub").c_str(), 1);
    Button(dialog, "button1")->click();
    EXPECT_EQ(m_doc->m_bHexMode, 1);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0], "The terminal settings could not be stored.");
}

TEST_F(TerminalSettingsDlgTest, FontButtonOpensTheFontDialogOnTop)
{
    CTerminalSettingsDlg dialog(m_view.get());
    Box(dialog, "check1011")->setChecked(true);
    bool seen = false;
    QTimer timer;  // ends with the test, whether or not a dialog came up
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        auto* font = qobject_cast<CAppearanceDlg*>(QApplication::activeModalWidget());
        if (font == nullptr)
            return;
        seen = true;
        EXPECT_EQ(font->parentWidget(), &dialog);
        EXPECT_EQ(font->windowTitle(), QStringLiteral("글꼴 & 색"));
        font->reject();
    });
    timer.start(0);
    Button(dialog, "button1007")->click();
    EXPECT_TRUE(seen);
    // Back here with the boxes as they were.
    EXPECT_TRUE(Box(dialog, "check1011")->isChecked());
    EXPECT_FALSE(Box(dialog, "check1010")->isChecked());
}

TEST_F(TerminalSettingsDlgTest, ViewCommandRunsTheDialog)
{
    bool seen = false;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<CTerminalSettingsDlg*>(QApplication::activeModalWidget());
        if (dialog == nullptr)
            return;
        seen = true;
        Box(*dialog, "check1010")->setChecked(true);
        Button(*dialog, "button1")->click();
    });
    timer.start(0);
    m_view->OnTerminalSettings();
    EXPECT_TRUE(seen);
    EXPECT_EQ(m_doc->m_bHexMode, 1);
    EXPECT_EQ(Stored("AutoWrap"), std::optional<support::DWORD>(1));
}

}  // namespace
