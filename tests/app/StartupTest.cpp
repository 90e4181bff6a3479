// Start-up and shutdown of the whole application object, in-process.

#include "AppTestSupport.h"

#include "app/AboutDlg.h"
#include "app/HelpWindow.h"
#include "app/MainFrame.h"
#include "app/MyStatusBar.h"
#include "app/SplashWindow.h"
#include "app/Trevane2App.h"
#include "platform/LocalTime.h"
#include "support/Registry.h"
#include "terminal/Trevane2View.h"

#include <QAction>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

namespace {

using namespace apptest;

CommandLineOptions Quiet()
{
    CommandLineOptions o;
    o.noSplash = true;
    return o;
}

std::string Utf8(const QString& s) { return s.toStdString(); }

class StartupTest : public AppFixture {};

TEST_F(StartupTest, FirstStartCreatesTheKeyAndSecondOpensIt)
{
    {
        CTrevane2App app;
        ASSERT_TRUE(app.InitInstance(Quiet()));
        EXPECT_EQ(app.m_dwKeyDisposition, support::REG_CREATED_NEW_KEY);
        EXPECT_EQ(app.m_appearance.m_crReceived, 0x000000FFu);
        EXPECT_EQ(app.m_appearance.m_crSent, 0x00FF0000u);
        app.ExitInstance();
    }
    {
        // The exit wrote the section with the defaults.
        support::CRegistry reader;
        ASSERT_TRUE(reader.CreateKeyByPath("HKEY_CURRENT_USER\\Software\\Trevane Desk2\\Trevane2"));
        ASSERT_TRUE(reader.OpenKey("Appearance"));
        support::DWORD received = 0;
        ASSERT_TRUE(reader.ReadDword("ReceivedColor", &received));
        EXPECT_EQ(received, 0x000000FFu);
    }
    {
        CTrevane2App app;
        ASSERT_TRUE(app.InitInstance(Quiet()));
        EXPECT_EQ(app.m_dwKeyDisposition, support::REG_OPENED_EXISTING_KEY);
        app.ExitInstance();
    }
    EXPECT_TRUE(m_boxes.Texts().empty());
}

TEST_F(StartupTest, StoredAppearanceIsLoadedOnTheSecondStart)
{
    {
        CTrevane2App app;
        ASSERT_TRUE(app.InitInstance(Quiet()));
        app.m_appearance.SetReceivedColor(0x00123456);
        app.m_appearance.SetSentColor(0x00654321);
        QFont font(QStringLiteral("DejaVu Sans Mono"));
        font.setPointSize(15);
        app.m_appearance.SetCharFormat(CharFormatFromFont(font));
        app.ExitInstance();
    }
    CTrevane2App app;
    ASSERT_TRUE(app.InitInstance(Quiet()));
    EXPECT_EQ(app.m_appearance.GetReceivedColor(), 0x00123456u);
    EXPECT_EQ(app.m_appearance.GetSentColor(), 0x00654321u);
    // The view starts with the stored font.
    const QFont shown = app.GetMainFrame()->GetActiveView()->font();
    EXPECT_EQ(shown.family(), QStringLiteral("DejaVu Sans Mono"));
    EXPECT_EQ(shown.pointSize(), 15);
}

TEST_F(StartupTest, UnwritableStoreEndsStartupWithTheRegistryError)
{
    // A plain file where the store's folder should be: nothing can be created.
    const std::string blocker = m_temp.path() + "/not-a-folder";
    { std::ofstream(blocker) << "x"; }
    setenv("KESTRANA_REGISTRY_DIR", (blocker + "/sub").c_str(), 1);
    CTrevane2App app;
    EXPECT_FALSE(app.InitInstance(Quiet()));
    EXPECT_EQ(app.GetMainFrame(), nullptr);
    ASSERT_EQ(m_boxes.Texts().size(), 1u);
    EXPECT_EQ(m_boxes.Texts()[0], "Registry error: 5");
    // The detail says which folder and why.
    EXPECT_EQ(m_boxes.Details()[0],
              "Cannot create settings folder " + blocker + "/sub: Not a directory");
    app.ExitInstance();
}

TEST_F(StartupTest, AnUnreadableDeepKeyFileIsSetAsideAndTheSettingsAreSavedAtExit)
{
    // One line of keys nested 60,000 deep.
    std::string hostile = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER";
    for (int i = 0; i < 60000; ++i)
        hostile += "\\a";
    hostile += "]\r\n";
    std::ofstream(m_registryDir + "/HKEY_CURRENT_USER.reg", std::ios::binary) << hostile;
    {
        CTrevane2App app;
        ASSERT_TRUE(app.InitInstance(Quiet()));
        EXPECT_EQ(app.m_dwKeyDisposition, support::REG_CREATED_NEW_KEY);
        app.m_appearance.SetReceivedColor(0x00102030);
        app.ExitInstance();
    }
    EXPECT_TRUE(m_boxes.Texts().empty());
    support::CRegistry reader;
    ASSERT_TRUE(reader.CreateKeyByPath("HKEY_CURRENT_USER\\Software\\Trevane Desk2\\Trevane2"));
    ASSERT_TRUE(reader.OpenKey("Appearance"));
    support::DWORD received = 0;
    ASSERT_TRUE(reader.ReadDword("ReceivedColor", &received));
    EXPECT_EQ(received, 0x00102030u);
    int setAside = 0;
    for (const auto& entry : std::filesystem::directory_iterator(m_registryDir))
        if (entry.path().filename().string().find(".corrupt-") != std::string::npos &&
            ReadFile(entry.path().string()) == hostile)
            ++setAside;
    EXPECT_EQ(setAside, 1);
}

TEST_F(StartupTest, TitleSizeAndMenus)
{
    CTrevane2App app;
    ASSERT_TRUE(app.InitInstance(Quiet()));
    CMainFrame* frame = app.GetMainFrame();
    ASSERT_NE(frame, nullptr);
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(Utf8(frame->windowTitle()), "No File - Kestrana");
    EXPECT_EQ(frame->size(), QSize(640, 425));

    std::vector<std::string> titles;
    for (QAction* menu : frame->menuBar()->actions())
        titles.push_back(Utf8(menu->text()));
    EXPECT_EQ(titles, (std::vector<std::string>{"파일(&F)", "설정(&S)", "통신(&C)", "도움말(&H)"}));

    const std::pair<unsigned, const char*> items[] = {
        {57601, "열기(&O)...\tCtrl+O"}, {57604, "저장(&S)..."},     {57665, "종료(&X)"},
        {32773, "시리얼 통신포트 설정"}, {32778, "터미널 설정"},     {32780, "TCP설정"},
        {32771, "연결"},                 {32772, "종료"},            {32781, "TCP서버소켓열기"},
        {32782, "TCP서버소켓닫기"},      {32779, "도움말 목차..."}, {57664, "Kestrana 정보..."},
    };
    for (const auto& [id, text] : items) {
        QAction* action = frame->Action(id);
        ASSERT_NE(action, nullptr) << id;
        EXPECT_EQ(Utf8(action->text()), text) << id;
    }
    EXPECT_EQ(Utf8(frame->Action(32771)->statusTip()), "Open COMM Port");
    EXPECT_EQ(Utf8(frame->Action(32772)->statusTip()), "Close COMM Port");
    EXPECT_EQ(Utf8(frame->Action(32773)->statusTip()), "COMM Port Set");
    EXPECT_EQ(frame->Action(57600)->shortcut(), QKeySequence(QStringLiteral("Ctrl+N")));
    EXPECT_EQ(frame->Action(57601)->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
    EXPECT_EQ(frame->Action(57603)->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));

    // The dialog bar's texts.
    EXPECT_EQ(Utf8(frame->BarButton(1002)->text()), "Events...");
    EXPECT_EQ(Utf8(frame->BarButton(1003)->text()), "AutoSend");
    EXPECT_EQ(Utf8(frame->BarButton(1004)->text()), "Periodic");
    EXPECT_EQ(Utf8(frame->BarButton(1005)->text()), "AutoResp.");
    ASSERT_NE(frame->EventBox(), nullptr);
    EXPECT_TRUE(frame->EventBox()->isReadOnly());
}

TEST_F(StartupTest, EnablingRulesWhileClosed)
{
    CTrevane2App app;
    ASSERT_TRUE(app.InitInstance(Quiet()));
    CMainFrame* frame = app.GetMainFrame();
    EXPECT_TRUE(frame->Action(32771)->isEnabled());
    EXPECT_TRUE(frame->Action(32773)->isEnabled());
    EXPECT_FALSE(frame->Action(32772)->isEnabled());
    for (unsigned id : {1003u, 1004u, 1005u})
        EXPECT_FALSE(frame->BarButton(id)->isEnabled()) << id;
    EXPECT_TRUE(frame->BarButton(1002)->isEnabled());
    for (unsigned id : {32780u, 32781u, 32782u})
        EXPECT_TRUE(frame->Action(id)->isEnabled()) << id;
    EXPECT_EQ(Utf8(frame->StatusBar()->ConnectionPane()->text()), "연결해제");
}

TEST_F(StartupTest, EventLogHasItsFirstAndLastLines)
{
    std::string name;
    {
        CTrevane2App app;
        ASSERT_TRUE(app.InitInstance(Quiet()));
        name = Utf8(app.GetMainFrame()->EventLogName());
        app.ExitInstance();
    }
    const platform::LocalTime now = platform::GetLocalTime();
    char expected[32];
    std::snprintf(expected, sizeof expected, "event%02d%02d.log", now.month, now.day);
    EXPECT_EQ(name, expected);
    const std::vector<std::string> lines = ReadLines(WorkFile(name));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_TRUE(EndsWith(lines.front(), " - Logging Start!")) << lines.front();
    EXPECT_TRUE(EndsWith(lines.back(), " - Logging End!")) << lines.back();

    char receive[32];
    std::snprintf(receive, sizeof receive, "receive%02d%02d.log", now.month, now.day);
    const std::vector<std::string> rx = ReadLines(WorkFile(receive));
    ASSERT_GE(rx.size(), 2u);
    EXPECT_TRUE(EndsWith(rx.front(), " - Receice Logging Start!")) << rx.front();
    EXPECT_TRUE(EndsWith(rx.back(), " - Logging End!")) << rx.back();
}

TEST_F(StartupTest, ClockPaneShowsTheLocalTime)
{
    platform::SetLocalTimeSource([] { return platform::LocalTime{2026, 12, 5, 9, 5, 3, 0}; });
    CMyStatusBar bar;
    EXPECT_EQ(Utf8(bar.ClockPane()->text()), "Open COMM Port");
    bar.RefreshPanes();
    EXPECT_EQ(Utf8(bar.ClockPane()->text()), "09:05:03");
    platform::SetLocalTimeSource([] { return platform::LocalTime{2026, 12, 5, 21, 0, 0, 0}; });
    bar.RefreshPanes();
    EXPECT_EQ(Utf8(bar.ClockPane()->text()), "21:00:00");
    EXPECT_EQ(Utf8(bar.MessagePane()->text()), "Always Be Happy!");
    platform::SetLocalTimeSource({});
}

TEST_F(StartupTest, ClockAdvancesByItself)
{
    int second = 0;
    platform::SetLocalTimeSource([&second] { return platform::LocalTime{2026, 1, 1, 12, 0, second, 0}; });
    CMyStatusBar bar;
    second = 7;
    EXPECT_TRUE(PumpUntil([&] { return bar.ClockPane()->text() == QStringLiteral("12:00:07"); }, 5000));
    platform::SetLocalTimeSource({});
}

TEST_F(StartupTest, NoSplashWhenSwitchedOff)
{
    CTrevane2App app;
    ASSERT_TRUE(app.InitInstance(Quiet()));
    EXPECT_EQ(CSplashWindow::Instance(), nullptr);
}

// Counts the key presses that reach a widget.
class KeyCounter : public QObject {
public:
    int keys = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::KeyPress)
            ++keys;
        return false;
    }
};

TEST_F(StartupTest, SplashSwallowsTheFirstKey)
{
    CTrevane2App app;
    ASSERT_TRUE(app.InitInstance(CommandLineOptions{}));
    CSplashWindow* splash = CSplashWindow::Instance();
    ASSERT_NE(splash, nullptr);
    EXPECT_EQ(splash->size(), QSize(411, 200));
    EXPECT_TRUE(splash->isVisible());

    QWidget* view = app.GetMainFrame()->GetActiveView();
    KeyCounter counter;
    view->installEventFilter(&counter);
    QKeyEvent first(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QApplication::sendEvent(view, &first);
    EXPECT_EQ(counter.keys, 0);
    EXPECT_EQ(CSplashWindow::Instance(), nullptr);
    QKeyEvent second(QEvent::KeyPress, Qt::Key_B, Qt::NoModifier, QStringLiteral("b"));
    QApplication::sendEvent(view, &second);
    EXPECT_EQ(counter.keys, 1);
    view->removeEventFilter(&counter);
}

TEST_F(StartupTest, SplashSwallowsAClickOnTheMenuBar)
{
    CTrevane2App app;
    ASSERT_TRUE(app.InitInstance(CommandLineOptions{}));
    ASSERT_NE(CSplashWindow::Instance(), nullptr);
    QMenuBar* bar = app.GetMainFrame()->menuBar();
    const QRect first = bar->actionGeometry(bar->actions().front());
    QMouseEvent press(QEvent::MouseButtonPress, first.center(), bar->mapToGlobal(first.center()),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(bar, &press);
    EXPECT_EQ(CSplashWindow::Instance(), nullptr);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
}

TEST_F(StartupTest, SplashGoesAwayByItself)
{
    CTrevane2App app;
    ASSERT_TRUE(app.InitInstance(CommandLineOptions{}));
    ASSERT_NE(CSplashWindow::Instance(), nullptr);
    EXPECT_TRUE(PumpUntil([] { return CSplashWindow::Instance() == nullptr; }, 10000));
}

TEST_F(StartupTest, AboutBoxLines)
{
    CAboutDlg about;
    EXPECT_EQ(Utf8(about.windowTitle()), "Kestrana 정보");
    EXPECT_EQ(Utf8(about.CreditText()), "Kestrana " KESTRANA_PROJECT_VERSION " - a serial-port terminal");
    EXPECT_EQ(Utf8(about.SystemText()).rfind("Linux version ", 0), 0u);
    EXPECT_EQ(Utf8(about.MemoryText()).rfind("Memory ", 0), 0u);
    EXPECT_NE(Utf8(about.MemoryText()).find(" Bytes(Avail.) / "), std::string::npos);
    EXPECT_EQ(Utf8(about.UserText()).rfind("Current User : ", 0), 0u);
}

TEST_F(StartupTest, AboutCommandShowsTheBox)
{
    CTrevane2App app;
    ASSERT_TRUE(app.InitInstance(Quiet()));
    bool seen = false;
    QTimer::singleShot(0, [&seen] {
        if (auto* dialog = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget())) {
            seen = true;
            dialog->accept();
        }
    });
    app.GetMainFrame()->Action(57664)->trigger();
    EXPECT_TRUE(seen);
}

TEST_F(StartupTest, HelpContentsShowTheManual)
{
    CTrevane2App app;
    ASSERT_TRUE(app.InitInstance(Quiet()));
    app.GetMainFrame()->Action(32779)->trigger();
    CHelpWindow* help = app.GetHelpWindow();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->source().toString(), QStringLiteral("qrc:/manual/index.html"));
    EXPECT_TRUE(help->toPlainText().contains(QStringLiteral("--device COMn=PATH")));
}

TEST_F(StartupTest, FileOnTheCommandLineIsOpened)
{
    const std::string saved = WorkFile("earlier.txt");
    { std::ofstream(saved) << "hello from before\n"; }
    CommandLineOptions o = Quiet();
    o.file = saved;
    CTrevane2App app;
    ASSERT_TRUE(app.InitInstance(o));
    EXPECT_TRUE(app.GetMainFrame()->GetActiveView()->PlainText().contains(
        QStringLiteral("hello from before")));
}

TEST_F(StartupTest, MissingFileEndsStartup)
{
    CommandLineOptions o = Quiet();
    o.file = WorkFile("no-such-file.rtf");
    CTrevane2App app;
    EXPECT_FALSE(app.InitInstance(o));
    EXPECT_EQ(m_boxes.Texts().size(), 1u);
    app.ExitInstance();
}

}  // namespace
