#pragma once
// Shared pieces of the automation tests: one offscreen QApplication for the
// process, the real program connected to a pseudo-terminal as the device
// (the event loop runs while the far end is read), a message box recorder
// and typing into widgets.

#include "app/MainFrame.h"
#include "app/Trevane2App.h"
#include "comm/CommPort2.h"
#include "comm/PortDevices.h"
#include "platform/MessageBox.h"
#include "resources/MenuTable.h"
#include "terminal/Trevane2Doc.h"
#include "terminal/Trevane2View.h"
#include "tests/common/PtyPair.h"
#include "tests/common/QtPump.h"
#include "tests/common/TestFiles.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace autotest {

using testqt::PumpUntil;

inline std::unique_ptr<QApplication> g_app;

// Ends the QApplication after the last test, while Qt's globals still live.
struct QtEnvironment : ::testing::Environment {
    void TearDown() override { g_app.reset(); }
};
inline ::testing::Environment* const g_qtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);  // GoogleTest owns it

inline QApplication& App()
{
    static int argc = 1;
    static char name[] = "automation_tests";
    static char* argv[] = {name, nullptr};
    if (!g_app) {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        g_app = std::make_unique<QApplication>(argc, argv);
    }
    return *g_app;
}

// Each character as a key press with that text; '\b' is Backspace.
inline void Type(QWidget* widget, const QString& keys)
{
    for (const QChar c : keys) {
        if (c == QLatin1Char('\b')) {
            QTest::keyClick(widget, Qt::Key_Backspace);
            continue;
        }
        for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
            QKeyEvent event(type, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QApplication::sendEvent(widget, &event);
        }
    }
}

// Clicks a push button of a window by its control id.
inline void Click(QWidget* window, int id)
{
    auto* button = window->findChild<QPushButton*>(QStringLiteral("button%1").arg(id));
    ASSERT_NE(button, nullptr) << id;
    QTest::mouseClick(button, Qt::LeftButton);
}

// The program with its first port on a device, connected, in a folder of
// its own; message boxes are recorded, not shown.
class AutomationFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        App();
        ASSERT_FALSE(m_temp.path().empty());
        m_oldCwd = std::filesystem::current_path();
        std::filesystem::current_path(m_temp.path());
        m_previousBoxes = platform::SetMessageBoxHandler(
            [this](std::string_view text, std::string_view) { m_boxes.emplace_back(text); });
        m_pty.SetWhileWaiting([] { QCoreApplication::processEvents(); });

        ASSERT_TRUE(m_pty.Open(false));
        ClearRunDevicePaths();
        SetRunDevicePath(1, m_pty.SlavePath());
        m_app = std::make_unique<CTrevane2App>();
        CommandLineOptions options;
        options.noSplash = true;
        ASSERT_TRUE(m_app->InitInstance(options));
        Connect();
    }
    void TearDown() override
    {
        if (m_app)
            m_app->ExitInstance();
        m_app.reset();
        ClearRunDevicePaths();
        platform::SetMessageBoxHandler(std::move(m_previousBoxes));
        std::error_code ignored;
        std::filesystem::current_path(m_oldCwd, ignored);
    }
    CMainFrame* Frame() const { return m_app->GetMainFrame(); }
    CTrevane2View* View() const { return Frame()->GetActiveView(); }
    CTrevane2Doc* Doc() const { return Frame()->GetActiveDocument(); }
    QString ViewText() const
    {
        View()->FlushPending();
        return View()->PlainText();
    }
    void ClickBarButton(unsigned id)
    {
        Frame()->RefreshIdle();
        QPushButton* button = Frame()->BarButton(id);
        ASSERT_TRUE(button != nullptr && button->isEnabled()) << id;
        QTest::mouseClick(button, Qt::LeftButton);
    }
    void Connect(bool connect = true)
    {
        Frame()->Action(connect ? res::ID_COMM_OPEN : res::ID_COMM_CLOSE)->trigger();
        ASSERT_EQ(Frame()->m_pCommPort->IsOpen(), connect);
    }
    // The bytes sent before a marker key typed into the terminal: what did
    // (not) reach the line up to now.
    std::string SentBeforeMarker()
    {
        const int hexMode = Doc()->m_bHexMode;
        Doc()->m_bHexMode = 0;
        QTest::keyClick(View(), '~');
        Doc()->m_bHexMode = hexMode;
        std::string got = m_pty.ReadUntil("~");
        EXPECT_TRUE(!got.empty() && got.back() == '~') << got;
        return got.substr(0, got.empty() ? 0 : got.size() - 1);
    }

    testfiles::TempDir m_temp{"kestrana-automation"};
    testfiles::ScopedEnv m_registry{"KESTRANA_REGISTRY_DIR", m_temp.path() + "/registry"};
    std::filesystem::path m_oldCwd;
    std::vector<std::string> m_boxes;  // message box texts, in order
    platform::MessageBoxHandler m_previousBoxes;
    testpty::PtyPair m_pty;
    std::unique_ptr<CTrevane2App> m_app;
};

}  // namespace autotest
