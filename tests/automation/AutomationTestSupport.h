#pragma once
// Shared pieces of the automation tests: the application tests' fixture (one
// offscreen QApplication, the real program in a folder of its own, message
// boxes recorded), here always connected to a pseudo-terminal as the device,
// with the event loop running while the far end is read; and typing into
// widgets.

#include "resources/MenuTable.h"
#include "tests/app/AppTestSupport.h"

#include <QPushButton>
#include <QTest>

namespace autotest {

using testqt::PumpUntil;

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

class AutomationFixture : public apptest::AppFixture {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        m_pty.SetWhileWaiting([] { QCoreApplication::processEvents(); });
        StartConnected();
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
};

}  // namespace autotest
