// What the three automation windows share: the hex entry box (typed letters
// and digits paired with a space, pasted text going in as if typed), a
// second press of the bar button that only brings the open window forward,
// and Enter and Esc that neither press a button nor hide a window the frame
// still holds.

#include "AutomationTestSupport.h"

#include "automation/AutoResponseDlg.h"
#include "automation/AutoSendDlg.h"
#include "automation/HexEdit.h"
#include "automation/PeriodicSendDlg.h"

#include <QClipboard>
#include <QGuiApplication>

namespace {

using namespace autotest;

using Windows = AutomationFixture;

TEST_F(Windows, EnterAndEscLeaveEachWindowAsItWasAndASecondPressOnlyActivatesIt)
{
    Doc()->m_mapAutoSend["1005"] = "41";  // so that AutoSend's "1" can be pressed
    const struct {
        const char* name;
        unsigned barButton;
        CModelessDlg* (*window)(CMainFrame*);
    } windows[] = {
        {"AutoSend", res::IDC_AUTOSEND, [](CMainFrame* f) -> CModelessDlg* { return f->AutoSendWindow(); }},
        {"Periodic", res::IDC_PERIODIC, [](CMainFrame* f) -> CModelessDlg* { return f->PeriodicSendWindow(); }},
        {"AutoResp", res::IDC_AUTORESP, [](CMainFrame* f) -> CModelessDlg* { return f->AutoResponseWindow(); }},
    };
    for (const auto& c : windows) {
        SCOPED_TRACE(c.name);
        ClickBarButton(c.barButton);
        CModelessDlg* window = c.window(Frame());
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        // Button 1004 is "1" or "Start" in each of them.
        auto* first = window->findChild<QPushButton*>(QStringLiteral("button1004"));
        const QString label = first->text();
        first->setFocus();
        for (QWidget* target : {static_cast<QWidget*>(first), static_cast<QWidget*>(window)})
            for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
                QTest::keyClick(target, key);
        QCoreApplication::processEvents();
        EXPECT_TRUE(window->isVisible() && !window->IsClosing() && first->text() == label && m_boxes.Texts().empty());
        EXPECT_EQ(SentBeforeMarker(), "");

        ClickBarButton(c.barButton);
        EXPECT_EQ(c.window(Frame()), window);
    }
}

TEST(HexEdit, PairsTypedAndPastedCharacters)
{
    apptest::Qt();
    const struct {
        const char* name;
        QString preset;  // set by code before typing
        QString keys;    // '\b' is Backspace, '\x16' pastes `clipboard`
        QString clipboard;
        QString text;
        int secondOfPair;
    } cases[] = {
        {"one digit", "", "0", "", "0", 1},
        {"letters keep their case", "", "abGZ01", "", "ab GZ 01 ", 0},
        {"a typed space does not count", "", "1 2", "", "1 2 ", 0},
        {"Backspace leaves the flag", "", "a\bb", "", "b ", 0},
        {"loaded text does not count", "01 02", "34", "", "01 0234 ", 0},
        {"letters beyond ASCII", "", QStringLiteral("é1한"), "", QStringLiteral("é1 한"), 1},
        {"punctuation goes in unpaired", "", "1,2", "", "1,2 ", 0},
        {"paste into an empty box", "", "\x16", "0A 1b\t2", "0A 1b 2", 1},
        {"paste completes an open pair", "", "1\x16" "c", "23 4", "12 34 c", 1},
        {"typing goes on after a paste", "", "\x16" "5", "0a1", "0a 15 ", 0},
    };
    for (const auto& c : cases) {
        CHexEdit box;
        box.show();
        box.setText(c.preset);
        QGuiApplication::clipboard()->setText(c.clipboard);
        for (const QChar key : c.keys) {
            if (key == QChar(0x16))
                QTest::keyClick(&box, Qt::Key_V, Qt::ControlModifier);
            else
                Type(&box, QString(key));
        }
        EXPECT_EQ(box.text(), c.text) << c.name;
        EXPECT_EQ(box.SecondOfPair(), c.secondOfPair) << c.name;
    }
}

}  // namespace
