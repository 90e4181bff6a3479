#pragma once
// Shared pieces of the terminal tests: one offscreen application for the
// process, a temporary working folder (logs land there) with its own settings
// store, a message box recorder, and a document with its view. The typing
// fixture puts a pty behind the view's sender: what the view sends is read
// at the pty's far end.

#include "platform/MessageBox.h"
#include "terminal/Appearance.h"
#include "terminal/Trevane2Doc.h"
#include "terminal/Trevane2View.h"
#include "tests/common/PtyPair.h"
#include "tests/common/TestFiles.h"
#include "text/LineSender.h"

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace terminal_test {

QApplication& App();

// The process works in a temporary folder while the object lives.
class TempWorkDir {
public:
    TempWorkDir();
    ~TempWorkDir();
    const std::string& Path() const { return m_dir.path(); }

private:
    testfiles::TempDir m_dir{"kestrana-terminal"};
    std::string m_previous;
};

inline std::string ReadFile(const std::string& path) { return testfiles::ReadFile(path); }
inline std::vector<std::string> ReadLines(const std::string& path) { return testfiles::ReadLines(path); }

// Message boxes are recorded while the object lives, not shown.
struct MessageBoxes {
    MessageBoxes();
    ~MessageBoxes() { platform::SetMessageBoxHandler(std::move(m_previous)); }
    std::vector<std::string> texts, details;
    platform::MessageBoxHandler m_previous;
};

// A document and its view in a working folder of their own.
class ViewFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // A view made now takes the terminal's character set as it is now.
    virtual void MakeView();
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
    void SetUp() override;
    void MakeView() override;
    // Keys as text: '\r' Return, '\n' the keypad's Enter, '\b' Backspace,
    // '\t' Tab; any other character its own key.
    void Type(const std::string& keys);
    // Text committed by an input method.
    void Commit(const QString& text);
    // Everything sent so far, read at the far end up to a marker written
    // after it: an empty result means nothing was sent.
    std::string Sent();

    testpty::PtyPair m_pty;
    PtySender m_sender{m_pty};
    int m_beeps = 0;
};

}  // namespace terminal_test
