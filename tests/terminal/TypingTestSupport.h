#pragma once
// Typing into the real view with QTest key and input-method events, with a
// pseudo-terminal behind the view's sender: what the view sends is read at
// the pty's far end.

#include "TerminalTestSupport.h"

#include "platform/MessageBox.h"
#include "terminal/Appearance.h"
#include "terminal/LineSender.h"
#include "terminal/Trevane2Doc.h"
#include "terminal/Trevane2View.h"
#include "tests/common/PtyPair.h"

#include <QInputMethodEvent>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace terminal_test {

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

class MessageBoxes {
public:
    MessageBoxes()
    {
        m_previous = platform::SetMessageBoxHandler([this](std::string_view text, std::string_view detail) {
            texts.emplace_back(text);
            details.emplace_back(detail);
        });
    }
    ~MessageBoxes() { platform::SetMessageBoxHandler(std::move(m_previous)); }
    std::vector<std::string> texts;
    std::vector<std::string> details;

private:
    platform::MessageBoxHandler m_previous;
};

class TypingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        App();
        m_dir = std::make_unique<TempWorkDir>();
        ASSERT_TRUE(m_pty.Open(true));
        MakeView();
    }
    void TearDown() override
    {
        m_view.reset();
        m_doc.reset();
        m_dir.reset();
    }
    // A view made now takes the terminal's character set as it is now.
    void MakeView()
    {
        m_view.reset();
        m_doc = std::make_unique<CTrevane2Doc>();
        m_view = std::make_unique<CTrevane2View>(m_doc.get(), &m_appearance);
        m_view->resize(500, 300);
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
    std::string Shown() const { return m_view->PlainText().toStdString(); }
    void Received(const std::string& bytes)
    {
        m_view->ShowReceived(bytes.data(), static_cast<int>(bytes.size()));
    }

    CAppearance m_appearance;
    std::unique_ptr<TempWorkDir> m_dir;
    testpty::PtyPair m_pty;
    PtySender m_sender{m_pty};
    MessageBoxes m_boxes;
    std::unique_ptr<CTrevane2Doc> m_doc;
    std::unique_ptr<CTrevane2View> m_view;
    int m_beeps = 0;
};

}  // namespace terminal_test
