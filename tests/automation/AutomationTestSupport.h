#pragma once
// Shared pieces of the automation tests: one offscreen QApplication for the
// process, the real program started on a pseudo-terminal and connected, a
// message box recorder, and typing into widgets.

#include "app/MainFrame.h"
#include "app/Trevane2App.h"
#include "platform/MessageBox.h"
#include "tests/common/PtyPair.h"
#include "tests/common/TestFiles.h"

#include <QApplication>
#include <QString>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CTrevane2Doc;
class CTrevane2View;
class QPushButton;
class QWidget;

namespace autotest {

QApplication& App();

// Runs the event loop until `done` holds or `timeoutMs` passes.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 5000);

// Each character as a key press with that text; '\b' is Backspace.
void Type(QWidget* widget, const QString& keys);

// Runs `action` on the next modal dialog once it is shown (from inside its
// event loop), e.g. to fill in and confirm it.
void OnNextModal(std::function<void(QWidget* dialog)> action);

class MessageBoxRecorder {
public:
    MessageBoxRecorder();
    ~MessageBoxRecorder();
    const std::vector<std::string>& Texts() const { return m_texts; }

private:
    std::vector<std::string> m_texts;
    platform::MessageBoxHandler m_previous;
};

// The program with its first port on a pty, connected, in a folder of its own.
class AutomationFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    CMainFrame* Frame() const { return m_app->GetMainFrame(); }
    CTrevane2View* View() const;
    CTrevane2Doc* Doc() const;
    // The terminal's text as shown.
    QString ViewText() const;
    void ClickBarButton(unsigned id);
    // Clicks a push button of a window by its control id.
    static void Click(QWidget* window, int id);
    void Disconnect();
    void Connect();
    // Bytes the program sends before a marker key typed into the terminal:
    // proves what did (not) reach the line up to now.
    std::string SentBeforeMarker();
    // Reads the far end while the event loop runs (timers tick, blocks
    // arrive) until `done` holds for what came, or `timeoutMs` passes.
    std::string PumpRead(const std::function<bool(const std::string&)>& done, int timeoutMs = 5000);
    std::string PumpRead(std::size_t count, int timeoutMs = 5000);

    testfiles::TempDir m_temp{"kestrana-automation"};
    std::filesystem::path m_oldCwd;
    MessageBoxRecorder m_boxes;
    testpty::PtyPair m_pty;
    std::unique_ptr<CTrevane2App> m_app;
};

}  // namespace autotest
