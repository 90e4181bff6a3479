#pragma once
// Shared pieces of the terminal tests: one offscreen application for the
// process, a temporary working folder (logs land there) with its own settings
// store and history files, a message box recorder, and a document with its
// view.

#include "platform/MessageBox.h"
#include "terminal/Appearance.h"
#include "terminal/Trevane2Doc.h"
#include "terminal/Trevane2View.h"
#include "tests/common/TestFiles.h"

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace terminal_test {

inline std::unique_ptr<QApplication> g_app;

// The application must go before the process's static objects do, so it ends
// with the test run rather than at exit.
struct AppEnvironment : ::testing::Environment {
    void TearDown() override { g_app.reset(); }
};
inline ::testing::Environment* const g_appEnvironment =
    ::testing::AddGlobalTestEnvironment(new AppEnvironment);  // GoogleTest owns it

inline QApplication& App()
{
    static int argc = 1;
    static char name[] = "terminal_tests";
    static char* argv[] = {name, nullptr};
    if (!g_app) {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        g_app = std::make_unique<QApplication>(argc, argv);
    }
    return *g_app;
}

// The process works in a temporary folder while the object lives.
class TempWorkDir {
public:
    TempWorkDir()
    {
        if (m_dir.path().empty())
            throw std::runtime_error("mkdtemp failed");
        std::filesystem::current_path(m_dir.path());
    }
    ~TempWorkDir()
    {
        std::error_code ignored;
        std::filesystem::current_path(m_previous, ignored);
    }
    const std::string& Path() const { return m_dir.path(); }

private:
    std::filesystem::path m_previous = std::filesystem::current_path();
    testfiles::TempDir m_dir{"kestrana-terminal"};
    testfiles::ScopedEnv m_registry{"KESTRANA_REGISTRY_DIR", m_dir.path() + "/registry"};
    testfiles::ScopedEnv m_cache{"XDG_CACHE_HOME", m_dir.path()};
};

// Message boxes are recorded while the object lives, not shown.
struct MessageBoxes {
    std::vector<std::string> texts, details;
    testfiles::ScopedHook<platform::MessageBoxHandler> handler{
        platform::SetMessageBoxHandler, [this](std::string_view text, std::string_view detail) {
            texts.emplace_back(text);
            details.emplace_back(detail);
        }};
};

// A document and its view in a working folder of their own.
class ViewFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        App();
        m_dir = std::make_unique<TempWorkDir>();
        MakeView();
    }
    void TearDown() override
    {
        m_view.reset();
        m_doc.reset();
        m_dir.reset();
    }
    // A view made now takes the terminal's character set as it is now.
    virtual void MakeView()
    {
        m_view.reset();
        m_doc = std::make_unique<CTrevane2Doc>();
        m_view = std::make_unique<CTrevane2View>(m_doc.get(), &m_appearance);
        m_view->resize(500, 300);
    }
    void Received(const std::string& bytes) { m_view->ShowReceived(bytes.data(), static_cast<int>(bytes.size())); }
    std::string Shown() const { return m_view->PlainText().toStdString(); }

    CAppearance m_appearance;
    std::unique_ptr<TempWorkDir> m_dir;
    MessageBoxes m_boxes;
    std::unique_ptr<CTrevane2Doc> m_doc;
    std::unique_ptr<CTrevane2View> m_view;
};

}  // namespace terminal_test
