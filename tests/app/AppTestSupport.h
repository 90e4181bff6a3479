#pragma once
// Shared pieces of the application tests: one QApplication for the process,
// a temporary folder per test (settings store and working directory), a
// pseudo-terminal standing in for the serial device, a message box recorder,
// and the whole application started and stopped in-process.

#include "app/CommandLine.h"
#include "app/MainFrame.h"
#include "app/Trevane2App.h"
#include "comm/CommPort2.h"
#include "comm/PortDevices.h"
#include "platform/MessageBox.h"
#include "terminal/Trevane2Doc.h"
#include "terminal/Trevane2View.h"
#include "tests/common/PtyPair.h"
#include "tests/common/QtPump.h"
#include "tests/common/TestFiles.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QPlainTextEdit>
#include <QTimer>

#include <algorithm>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace apptest {

inline std::unique_ptr<QApplication>& QtHolder()
{
    static std::unique_ptr<QApplication> app;
    return app;
}

// The process's QApplication, made on first use. It is destroyed by the test
// environment (QtEnvironment.cpp) before exit, while Qt's own globals live.
inline QApplication& Qt()
{
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    std::unique_ptr<QApplication>& app = QtHolder();
    if (!app) {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        app = std::make_unique<QApplication>(argc, argv);
    }
    return *app;
}

using testfiles::ReadFile;
using testfiles::ReadLines;
using testqt::Pump;
using testqt::PumpUntil;

class MessageBoxRecorder {
public:
    MessageBoxRecorder()
    {
        m_previous = platform::SetMessageBoxHandler([this](std::string_view text, std::string_view detail) {
            m_texts.emplace_back(text);
            m_details.emplace_back(detail);
        });
    }
    ~MessageBoxRecorder() { platform::SetMessageBoxHandler(std::move(m_previous)); }
    const std::vector<std::string>& Texts() const { return m_texts; }
    // The detail text of each box, "" where it had none.
    const std::vector<std::string>& Details() const { return m_details; }

private:
    std::vector<std::string> m_texts;
    std::vector<std::string> m_details;
    platform::MessageBoxHandler m_previous;
};

// True when the log holds exactly one run: first line `start`, last line
// "Logging End!", and no NUL byte anywhere.
inline ::testing::AssertionResult OneWholeRun(const std::string& path, const std::string& start)
{
    const std::string text = ReadFile(path);
    const std::vector<std::string> lines = ReadLines(path);
    const auto starts = std::count_if(lines.begin(), lines.end(), [&](auto& l) { return l.ends_with(" - " + start); });
    if (text.find('\0') != std::string::npos || lines.size() < 2 || !lines.front().ends_with(" - " + start) ||
        !lines.back().ends_with(" - Logging End!") || starts != 1)
        return ::testing::AssertionFailure() << path << " is not one whole run:\n" << text;
    return ::testing::AssertionSuccess();
}

inline std::string Utf8(const QString& text) { return text.toStdString(); }

// Runs `open`, and `act` on the modal dialog of type T it brings up, from
// inside the dialog's loop; a dialog `act` leaves open is cancelled, so the
// loop always ends. False when no such dialog came up.
template <typename T>
bool RunModal(const std::function<void()>& open, const std::function<void(T&)>& act)
{
    bool seen = false;
    QTimer timer;  // goes with this call, even if no dialog came up
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* dialog = qobject_cast<T*>(modal)) {
            seen = true;
            act(*dialog);
        }
        if (auto* dialog = qobject_cast<QDialog*>(modal); dialog != nullptr && dialog->isVisible())
            dialog->reject();
    });
    timer.start(0);
    open();
    return seen;
}

// A settings store and a working directory of the test's own, and the
// application started in-process on them.
class AppFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        Qt();
        ASSERT_FALSE(m_temp.path().empty());
        m_registryDir = m_temp.path() + "/registry";
        m_workDir = m_temp.path() + "/work";
        std::filesystem::create_directories(m_registryDir);
        std::filesystem::create_directories(m_workDir);
        setenv("KESTRANA_REGISTRY_DIR", m_registryDir.c_str(), 1);
        m_oldCwd = std::filesystem::current_path();
        std::filesystem::current_path(m_workDir);
        ClearRunDevicePaths();
    }
    void TearDown() override
    {
        Stop();
        ClearRunDevicePaths();
        std::error_code ignored;
        std::filesystem::current_path(m_oldCwd, ignored);
    }

    static CommandLineOptions Quiet()
    {
        CommandLineOptions o;
        o.noSplash = true;
        return o;
    }
    CMainFrame* Start(const CommandLineOptions& options = Quiet())
    {
        m_app = std::make_unique<CTrevane2App>();
        EXPECT_TRUE(m_app->InitInstance(options));
        return m_app->GetMainFrame();
    }
    // Started with COM1 mapped to a pty, and connected.
    CMainFrame* StartConnected(const CommandLineOptions& options = Quiet())
    {
        EXPECT_TRUE(m_pty.Open(false));
        SetRunDevicePath(1, m_pty.SlavePath());
        CMainFrame* frame = Start(options);
        frame->Action(32771)->trigger();
        EXPECT_TRUE(frame->m_pCommPort->IsOpen());
        return frame;
    }
    void Stop()
    {
        if (m_app)
            m_app->ExitInstance();
        m_app.reset();
    }
    CMainFrame* Frame() const { return m_app->GetMainFrame(); }
    CTrevane2View* View() const { return Frame()->GetActiveView(); }
    CTrevane2Doc* Doc() const { return Frame()->GetActiveDocument(); }
    QString ViewText() const
    {
        View()->FlushPending();
        return View()->PlainText();
    }
    QString EventBoxText() const { return Frame()->EventBox()->toPlainText(); }

    std::string WorkFile(const std::string& name) const { return m_workDir + "/" + name; }

    testfiles::TempDir m_temp{"kestrana-app"};
    std::string m_registryDir;
    std::string m_workDir;
    std::filesystem::path m_oldCwd;
    MessageBoxRecorder m_boxes;
    std::unique_ptr<CTrevane2App> m_app;
    testpty::PtyPair m_pty;
};

}  // namespace apptest
