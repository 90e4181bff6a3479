// The terminal settings and the font and colour dialogs through the main
// window, and what of them a restart brings back.

#include "AppTestSupport.h"

#include "support/Registry.h"
#include "terminal/AppearanceDlg.h"
#include "terminal/Choosers.h"
#include "terminal/TerminalSettingsDlg.h"

#include <QCheckBox>
#include <QPushButton>

#include <functional>
#include <optional>

namespace {

using namespace apptest;

std::optional<support::DWORD> Stored(const char* section, const char* name)
{
    support::CRegistry registry;
    support::DWORD value = 0;
    if (registry.CreateKeyByPath("HKEY_CURRENT_USER\\Software\\Trevane Desk2\\Trevane2") &&
        registry.OpenKey(section) && registry.ReadDword(name, &value))
        return value;
    return std::nullopt;
}

QCheckBox* Box(QDialog& d, const char* name) { return d.findChild<QCheckBox*>(QString::fromLatin1(name)); }
void Click(QDialog& d, const char* name) { d.findChild<QPushButton*>(QString::fromLatin1(name))->click(); }

class DialogsTest : public AppFixture {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        m_previousFont = SetFontChooser([this](const QFont&, QWidget*) { return m_font; });
        m_previousColor = SetColorChooser([this](const QColor&, QWidget*) { return m_color; });
    }
    void TearDown() override
    {
        AppFixture::TearDown();
        SetFontChooser(std::move(m_previousFont));
        SetColorChooser(std::move(m_previousColor));
    }
    // Terminal settings, where `act` runs.
    bool RunSettings(const std::function<void(CTerminalSettingsDlg&)>& act)
    {
        return RunModal<CTerminalSettingsDlg>([this] { Frame()->Action(32778)->trigger(); }, act);
    }
    // Terminal settings -> font button -> the font and colour dialog, where
    // `act` runs; the settings dialog is then cancelled.
    bool RunFontDialog(const std::function<void(CAppearanceDlg&)>& act)
    {
        bool fontSeen = false;
        return RunSettings([&](CTerminalSettingsDlg& d) {
            fontSeen = RunModal<CAppearanceDlg>([&d] { Click(d, "button1007"); }, act);
            Click(d, "button2");
        }) && fontSeen;
    }

    std::optional<QFont> m_font;
    std::optional<QColor> m_color;
    FontChooser m_previousFont;
    ColorChooser m_previousColor;
};

// The dialogs on their own are tried in tests/terminal; here, that what they
// store is what the next start of the whole program brings back.
TEST_F(DialogsTest, SettingsFontAndColoursChosenWithOkAreBackAfterARestart)
{
    Start();
    View()->ShowReceived("before", 6);
    m_font = QFont(QStringLiteral("DejaVu Sans Mono"), 15);
    m_color = QColor(0x00, 0x80, 0x00);
    ASSERT_TRUE(RunFontDialog([](CAppearanceDlg& d) {
        Click(d, "button1005");
        Click(d, "button1007");
        Click(d, "button1");
    }));
    View()->ShowReceived("after", 5);
    EXPECT_EQ(Doc()->Text().ColorAt(0), 0x000000FFu);
    EXPECT_EQ(Doc()->Text().ColorAt(6), 0x00008000u) << "the new colour for later text only";
    ASSERT_TRUE(RunSettings([](CTerminalSettingsDlg& d) {
        Box(d, "check1011")->setChecked(true);
        Click(d, "button2");
    }));
    EXPECT_EQ(Stored("Terminal Settings", "Insert LF before Receive Line"), std::nullopt) << "nothing after Cancel";
    ASSERT_TRUE(RunSettings([](CTerminalSettingsDlg& d) {
        Box(d, "check1010")->setChecked(true);
        Box(d, "check1012")->setChecked(true);
        Click(d, "button1");
    }));

    Stop();
    Start();
    EXPECT_EQ(Doc()->m_bHexMode, 1);
    EXPECT_EQ(Doc()->m_bAppendCRC, 1);
    EXPECT_EQ(Doc()->m_bReceiveLF, 0);
    EXPECT_EQ(m_app->m_appearance.GetReceivedColor(), 0x00008000u);
    EXPECT_EQ(View()->font().family(), QStringLiteral("DejaVu Sans Mono"));
    EXPECT_EQ(View()->font().pointSize(), 15);
}

}  // namespace
