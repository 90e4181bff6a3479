// The terminal settings, font and colour, and S-record commands through the
// main window, and what of them a restart brings back.

#include "AppTestSupport.h"

#include "app/MainFrame.h"
#include "app/Trevane2App.h"
#include "support/Registry.h"
#include "terminal/AppearanceDlg.h"
#include "terminal/Choosers.h"
#include "terminal/TerminalSettingsDlg.h"
#include "terminal/Trevane2Doc.h"
#include "terminal/Trevane2View.h"

#include <QAction>
#include <QCheckBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>

#include <fstream>
#include <functional>
#include <optional>

namespace {

using namespace apptest;

constexpr const char* kAppKey = "HKEY_CURRENT_USER\\Software\\Trevane Desk2\\Trevane2";

std::optional<support::DWORD> Stored(const char* section, const char* name)
{
    support::CRegistry registry;
    support::DWORD value = 0;
    if (registry.CreateKeyByPath(kAppKey) && registry.OpenKey(section) &&
        registry.ReadDword(name, &value))
        return value;
    return std::nullopt;
}

QCheckBox* Box(QDialog& d, const char* name) { return d.findChild<QCheckBox*>(QString::fromLatin1(name)); }
void Click(QDialog& d, const char* name) { d.findChild<QPushButton*>(QString::fromLatin1(name))->click(); }

// Runs `act` on the modal dialog of type T that comes up while this object
// lives, and closes the dialog if `act` left it open.
template <typename T>
class OnModal {
public:
    explicit OnModal(std::function<void(T&)> act)
    {
        m_timer.setSingleShot(true);
        QObject::connect(&m_timer, &QTimer::timeout, [this, act] {
            if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
                m_seen = true;
                act(*dialog);
                if (dialog->isVisible())
                    dialog->reject();
            }
        });
        m_timer.start(0);
    }
    bool Seen() const { return m_seen; }

private:
    QTimer m_timer;
    bool m_seen = false;
};

class DialogsTest : public AppFixture {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        m_previousFont = SetFontChooser([this](const QFont&, QWidget*) { return m_font; });
        m_previousColor = SetColorChooser([this](const QColor&, QWidget*) { return m_color; });
        m_previousFiles = SetOpenFilesChooser([this](const OpenFilesRequest&, QWidget*) { return m_files; });
    }
    void TearDown() override
    {
        Stop();
        SetFontChooser(std::move(m_previousFont));
        SetColorChooser(std::move(m_previousColor));
        SetOpenFilesChooser(std::move(m_previousFiles));
        AppFixture::TearDown();
    }
    CMainFrame* Start()
    {
        m_app = std::make_unique<CTrevane2App>();
        CommandLineOptions o;
        o.noSplash = true;
        EXPECT_TRUE(m_app->InitInstance(o));
        return m_app->GetMainFrame();
    }
    void Stop()
    {
        if (m_app)
            m_app->ExitInstance();
        m_app.reset();
    }
    // A new application object on the same settings store.
    CMainFrame* Restart()
    {
        Stop();
        return Start();
    }

    std::unique_ptr<CTrevane2App> m_app;
    std::optional<QFont> m_font;
    std::optional<QColor> m_color;
    QStringList m_files;
    FontChooser m_previousFont;
    ColorChooser m_previousColor;
    OpenFilesChooser m_previousFiles;
};

TEST_F(DialogsTest, TerminalSettingsFromTheMenuAreBackAfterARestart)
{
    CMainFrame* frame = Start();
    {
        OnModal<CTerminalSettingsDlg> settings([](CTerminalSettingsDlg& d) {
            EXPECT_TRUE(Box(d, "check1009")->isChecked());
            EXPECT_FALSE(Box(d, "check1009")->isEnabled());
            Box(d, "check1010")->setChecked(true);
            Box(d, "check1012")->setChecked(true);
            Click(d, "button1");
        });
        frame->Action(32778)->trigger();
        ASSERT_TRUE(settings.Seen());
    }
    CTrevane2Doc* doc = frame->GetActiveDocument();
    EXPECT_EQ(doc->m_bHexMode, 1);
    EXPECT_EQ(doc->m_bAppendCRC, 1);
    EXPECT_EQ(Stored("Terminal Settings", "AutoWrap"), std::optional<support::DWORD>(1));

    frame = Restart();
    doc = frame->GetActiveDocument();
    EXPECT_EQ(doc->m_bHexMode, 1);
    EXPECT_EQ(doc->m_bAppendCRC, 1);
    EXPECT_EQ(doc->m_bReceiveLF, 0);
    EXPECT_EQ(doc->m_bSendLF, 0);
    EXPECT_EQ(doc->m_bLocalEcho, 1);
    OnModal<CTerminalSettingsDlg> again([](CTerminalSettingsDlg& d) {
        EXPECT_TRUE(Box(d, "check1010")->isChecked());
        EXPECT_TRUE(Box(d, "check1012")->isChecked());
        Click(d, "button2");
    });
    frame->Action(32778)->trigger();
    EXPECT_TRUE(again.Seen());
}

TEST_F(DialogsTest, CancelledTerminalSettingsAreNotBackAfterARestart)
{
    CMainFrame* frame = Start();
    {
        OnModal<CTerminalSettingsDlg> settings([](CTerminalSettingsDlg& d) {
            Box(d, "check1011")->setChecked(true);
            Click(d, "button2");
        });
        frame->Action(32778)->trigger();
        ASSERT_TRUE(settings.Seen());
    }
    EXPECT_EQ(frame->GetActiveDocument()->m_bReceiveLF, 0);
    EXPECT_EQ(Stored("Terminal Settings", "Insert LF before Receive Line"), std::nullopt);
    frame = Restart();
    EXPECT_EQ(frame->GetActiveDocument()->m_bReceiveLF, 0);
}

// Terminal settings -> font button -> the font and colour dialog, where
// `act` runs; the settings dialog is then cancelled. True when the font and
// colour dialog came up.
bool RunFontDialog(CMainFrame* frame, std::function<void(CAppearanceDlg&)> act)
{
    bool fontSeen = false;
    OnModal<CTerminalSettingsDlg> settings([act, &fontSeen](CTerminalSettingsDlg& d) {
        OnModal<CAppearanceDlg> font(act);
        Click(d, "button1007");
        fontSeen = font.Seen();
        Click(d, "button2");
    });
    frame->Action(32778)->trigger();
    return settings.Seen() && fontSeen;
}

TEST_F(DialogsTest, FontAndColoursChosenWithOkAreBackAfterARestart)
{
    CMainFrame* frame = Start();
    frame->GetActiveView()->ShowReceived("before", 6);
    m_font = QFont(QStringLiteral("DejaVu Sans Mono"), 15);
    m_color = QColor(0x00, 0x80, 0x00);
    ASSERT_TRUE(RunFontDialog(frame, [](CAppearanceDlg& d) {
        Click(d, "button1005");
        Click(d, "button1007");
        Click(d, "button1");
    }));
    CTrevane2View* view = frame->GetActiveView();
    EXPECT_EQ(view->font().family(), QStringLiteral("DejaVu Sans Mono"));
    view->ShowReceived("after", 5);
    EXPECT_EQ(frame->GetActiveDocument()->Text().ColorAt(0), 0x000000FFu);
    EXPECT_EQ(frame->GetActiveDocument()->Text().ColorAt(6), 0x00008000u);

    Stop();
    EXPECT_EQ(Stored("Appearance", "ReceivedColor"), std::optional<support::DWORD>(0x00008000));
    EXPECT_EQ(Stored("Appearance", "SentColor"), std::optional<support::DWORD>(0x00FF0000));
    frame = Start();
    EXPECT_EQ(m_app->m_appearance.GetReceivedColor(), 0x00008000u);
    EXPECT_EQ(frame->GetActiveView()->font().family(), QStringLiteral("DejaVu Sans Mono"));
    EXPECT_EQ(frame->GetActiveView()->font().pointSize(), 15);
}

TEST_F(DialogsTest, FontPickedThenCancelledLastsOnlyForTheRun)
{
    CMainFrame* frame = Start();
    const QFont before = frame->GetActiveView()->font();
    m_font = QFont(QStringLiteral("Noto Sans Mono CJK KR"), 19);
    ASSERT_TRUE(RunFontDialog(frame, [](CAppearanceDlg& d) {
        Click(d, "button1005");
        Click(d, "button1001");
    }));
    EXPECT_EQ(frame->GetActiveView()->font().family(), QStringLiteral("Noto Sans Mono CJK KR"));
    frame = Restart();
    EXPECT_EQ(frame->GetActiveView()->font().family(), before.family());
    EXPECT_NE(frame->GetActiveView()->font().pointSize(), 19);
}

TEST_F(DialogsTest, CtrlOChoosesAnSRecordFileAndNamesItInTheTitle)
{
    CMainFrame* frame = Start();
    const std::string path = WorkFile("flash.mot");
    {
        std::ofstream out(path, std::ios::binary);
        for (int i = 0; i < 12; ++i)
            out << "S1130000285F245F2212226A000424290008237C2A\r\n";
    }
    m_files = {QString::fromStdString(path)};
    frame->show();
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame));
    QTest::keyClick(frame->GetActiveView(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("flash.mot - Kestrana"));
    EXPECT_EQ(frame->GetActiveDocument()->m_nUploadLines, 12u);
    EXPECT_EQ(frame->GetActiveDocument()->m_strUploadPath, QString::fromStdString(path));

    // File > Open is the same command; an unreadable choice changes nothing.
    m_files = {QString::fromStdString(WorkFile("gone.mot"))};
    frame->Action(57601)->trigger();
    ASSERT_EQ(m_boxes.Texts().size(), 1u);
    EXPECT_NE(m_boxes.Texts()[0].find("gone.mot: No such file or directory"), std::string::npos);
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("flash.mot - Kestrana"));
    EXPECT_EQ(frame->GetActiveDocument()->m_nUploadLines, 12u);
}

}  // namespace
