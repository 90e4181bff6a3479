#include "app/WindowTour.h"

#include "app/AboutDlg.h"
#include "app/CommEventsDlg.h"
#include "app/CommSettingsDlg.h"
#include "app/HelpWindow.h"
#include "app/MainFrame.h"
#include "app/TcpPortDlg.h"
#include "automation/AutoResponseDlg.h"
#include "automation/AutoSendAssignDlg.h"
#include "automation/AutoSendDlg.h"
#include "automation/PeriodicSendDlg.h"
#include "comm/CommPort2.h"
#include "resources/MenuTable.h"
#include "terminal/AppearanceDlg.h"
#include "terminal/FindBar.h"
#include "terminal/TerminalSettingsDlg.h"
#include "terminal/Trevane2View.h"

#include <QAction>
#include <QApplication>
#include <QPushButton>

#include <map>
#include <memory>
#include <string>

namespace {

void Settle()
{
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
}

// Shown as the user would see it, visited, then closed.
void Visit(const QString& name, QWidget& window, const std::function<void(const QString&, QWidget&)>& visit)
{
    window.show();
    window.raise();
    Settle();
    visit(name, window);
    window.close();
    Settle();
}

}  // namespace

void TourWindows(CMainFrame& frame, const std::function<void(const QString& name, QWidget& window)>& visit)
{
    CTrevane2View* view = frame.GetActiveView();
    if (QAction* find = frame.Action(res::ID_EDIT_FIND))
        find->trigger();
    Settle();
    visit(QStringLiteral("main"), frame);
    if (view != nullptr && view->GetFindBar() != nullptr)
        view->GetFindBar()->hide();

    const PortSettings& settings = frame.m_pCommPort->Settings();
    {
        CCommSettingsDlg dialog(settings, &frame);
        Visit(QStringLiteral("port-settings"), dialog, visit);
    }
    {
        CCommEventsDlg dialog(settings, &frame);
        Visit(QStringLiteral("port-events"), dialog, visit);
    }
    if (view != nullptr) {
        CTerminalSettingsDlg terminal(view, &frame);
        Visit(QStringLiteral("terminal-settings"), terminal, visit);
        CAppearanceDlg appearance(view, &frame);
        Visit(QStringLiteral("font-colours"), appearance, visit);
    }
    {
        CTcpPortDlg dialog(2000, 0, false, TcpMode::Raw, &frame);
        Visit(QStringLiteral("tcp-settings"), dialog, visit);
    }
    {
        CAboutDlg dialog(&frame);
        Visit(QStringLiteral("about"), dialog, visit);
    }
    {
        std::map<std::string, std::string> store;
        CAutoSendAssignDlg dialog(&store, &frame);
        Visit(QStringLiteral("autosend-assign"), dialog, visit);
    }
    // The automation windows are the main window's own, opened by their buttons.
    const struct {
        unsigned id;
        const char* name;
        std::function<QWidget*()> window;
    } automation[] = {
        {res::IDC_AUTOSEND, "autosend", [&] { return static_cast<QWidget*>(frame.AutoSendWindow()); }},
        {res::IDC_PERIODIC, "periodic-send", [&] { return static_cast<QWidget*>(frame.PeriodicSendWindow()); }},
        {res::IDC_AUTORESP, "auto-response", [&] { return static_cast<QWidget*>(frame.AutoResponseWindow()); }},
    };
    for (const auto& each : automation) {
        if (QPushButton* button = frame.BarButton(each.id))
            button->click();
        Settle();
        if (QWidget* window = each.window())
            Visit(QString::fromLatin1(each.name), *window, visit);
    }
    {
        CHelpWindow help(&frame);
        help.ShowContents();
        Visit(QStringLiteral("manual"), help, visit);
    }
}
