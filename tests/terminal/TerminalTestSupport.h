#pragma once
// Shared pieces of the terminal tests: one offscreen application for the
// process, a temporary working folder (logs land there) with its own settings
// store and history files, a message box recorder, and a document with its
// view. The typing fixture puts a pty behind the view's sender: what the view
// sends is read at the pty's far end.

#include "platform/MessageBox.h"
#include "terminal/Appearance.h"
#include "terminal/Trevane2Doc.h"
#include "terminal/Trevane2View.h"
#include "tests/common/PtyPair.h"
#include "tests/common/TestFiles.h"
#include "text/LineSender.h"

#include <QApplication>
#include <QInputMethodEvent>
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

// Writes what the view sends to the pty's slave; counts the calls.
class PtySender : public LineSender {
public:
    explicit PtySender(testpty::PtyPair& pty) : m_pty(pty) {}
    bool IsPortOpen() const override { return open; }
    bool SendBytes(const std::uint8_t* data, std::size_t length) override
    {
        if (!open || refuse)
            return false;
        calls.emplace_back(reinterpret_cast<const char*>(data), length);
        return m_pty.WriteSlave(calls.back());
    }

    bool open = true;
    bool refuse = false;  // a full send queue
    std::vector<std::string> calls;

private:
    testpty::PtyPair& m_pty;
};

class TypingFixture : public ViewFixture {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_pty.Open(true));
        ViewFixture::SetUp();
    }
    void MakeView() override
    {
        ViewFixture::MakeView();
        m_view->SetLineSender(&m_sender);
        QObject::connect(m_view.get(), &CTrevane2View::inputRefused, [this] { ++m_beeps; });
    }
    // Keys as text: '\r' Return, '\n' the keypad's Enter, '\b' Backspace,
    // '\t' Tab; any other character its own key.
    void Type(const std::string& keys)
    {
        for (char c : keys) {
            switch (c) {
            case '\r': QTest::keyClick(m_view.get(), Qt::Key_Return); break;
            case '\n': QTest::keyClick(m_view.get(), Qt::Key_Enter, Qt::KeypadModifier); break;
            case '\b': QTest::keyClick(m_view.get(), Qt::Key_Backspace); break;
            case '\t': QTest::keyClick(m_view.get(), Qt::Key_Tab); break;
            default: QTest::keyClick(m_view.get(), c); break;
            }
        }
    }
    // Text committed by an input method.
    void Commit(const QString& text)
    {
        QInputMethodEvent event(QString(), {});
        event.setCommitString(text);
        QCoreApplication::sendEvent(m_view.get(), &event);
    }
    // Everything sent so far, read at the far end up to a marker written
    // after it: an empty result means nothing was sent.
    std::string Sent()
    {
        static const std::string kMarker = "<<marker>>";
        EXPECT_TRUE(m_pty.WriteSlave(kMarker));
        std::string got = m_pty.ReadUntil(kMarker);
        EXPECT_GE(got.size(), kMarker.size());
        got.resize(got.size() >= kMarker.size() ? got.size() - kMarker.size() : 0);
        return got;
    }

    testpty::PtyPair m_pty;
    PtySender m_sender{m_pty};
    int m_beeps = 0;
};

}  // namespace terminal_test
