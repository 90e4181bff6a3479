// What the three automation windows share: a second press of the bar button
// only brings the open window forward, and Enter and Esc neither press a
// button nor hide a window the frame still holds.

#include "AutomationTestSupport.h"

#include "automation/AutoResponseDlg.h"
#include "automation/AutoSendDlg.h"
#include "automation/PeriodicSendDlg.h"

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

}  // namespace
