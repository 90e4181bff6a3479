#include "app/MainFrame.h"

#include "app/ConnectionText.h"
#include "app/EventMessageBox.h"
#include "app/MyStatusBar.h"
#include "app/PortLineSender.h"
#include "app/PortReconnect.h"
#include "app/ReceiveLineFeed.h"
#include "app/SplashWindow.h"
#include "app/ClientPortControl.h"
#include "app/TcpBridge.h"
#include "app/TcpPortDlg.h"
#include "automation/AutoResponseDlg.h"
#include "automation/AutoSendDlg.h"
#include "automation/AutomationLinks.h"
#include "automation/AutomationMessages.h"
#include "automation/PeriodicSendDlg.h"
#include "automation/ReceivedBlock.h"
#include "automation/ResponsePatterns.h"
#include "comm/CommPort2.h"
#include "comm/PortDevices.h"
#include "app/CommSettingsDlg.h"
#include "app/CommEventsDlg.h"
#include "platform/Diagnostic.h"
#include "platform/LocalTime.h"
#include "platform/MessageBox.h"
#include "platform/PostedPayload.h"
#include "platform/StampClock.h"
#include "resources/MenuTable.h"
#include "resources/StringTable.h"
#include "support/LogFile.h"
#include "support/LogFolder.h"
#include "support/Profile.h"
#include "support/TrafficLog.h"
#include "terminal/TerminalSettingsDlg.h"
#include "terminal/Trevane2Doc.h"
#include "terminal/Trevane2View.h"

#include "ui_DialogBar.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QToolBar>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

QString Utf8(const char* text) { return QString::fromUtf8(text); }

const QString kColouredFilter = QStringLiteral("Kestrana terminal (*.rtf)");
const QString kPlainFilter = QStringLiteral("Plain text (*.txt)");

}  // namespace

CMainFrame::CMainFrame(CTrevane2Doc* doc, CAppearance* appearance, QWidget* parent)
    : QMainWindow(parent),
      m_strConnStatus(res::Tr(res::kDisconnected)),
      m_pDoc(doc),
      m_pAppearance(appearance),
      m_pMessageWindow(std::make_unique<platform::QtMessageWindow>())
{
    setObjectName(QStringLiteral("mainFrame"));
    // The frame never puts the document's name in its title; the view does.
    setWindowTitle(Utf8(res::kMainTitle));
    resize(640, 425);
    m_pMessageWindow->SetHandler(WM_RXDATA, [this](platform::WPARAM w, platform::LPARAM l) {
        return OnRxData(w, l);
    });
    m_pMessageWindow->SetHandler(WM_STATUSTEXT, [this](platform::WPARAM w, platform::LPARAM l) {
        return OnStatusText(w, l);
    });
    m_pMessageWindow->SetHandler(WM_PORTGONE, [this](platform::WPARAM w, platform::LPARAM l) {
        return OnPortGone(w, l);
    });
    m_pMessageWindow->SetHandler(WM_DEVICEBACK, [this](platform::WPARAM w, platform::LPARAM) {
        if (m_pReconnect)
            m_pReconnect->OnDeviceBack(w);
        return platform::LRESULT{0};
    });
    m_pMessageWindow->SetHandler(WM_WRITEROOM, [this](platform::WPARAM, platform::LPARAM) {
        if (m_pLineSender)
            m_pLineSender->OnWriteRoom();
        return platform::LRESULT{0};
    });
    m_pMessageWindow->SetHandler(WM_AUTOSEND_CLOSED, [this](platform::WPARAM w, platform::LPARAM l) {
        return OnAutoSendClosed(w, l);
    });
    m_pMessageWindow->SetHandler(WM_PERIODICSEND_CLOSED, [this](platform::WPARAM w, platform::LPARAM l) {
        return OnPeriodicSendClosed(w, l);
    });
    m_pMessageWindow->SetHandler(WM_AUTORESPONSE_CLOSED, [this](platform::WPARAM w, platform::LPARAM l) {
        return OnAutoResponseClosed(w, l);
    });
    m_pMessageWindow->SetHandler(WM_AUTORESPONSE_TOGGLE, [this](platform::WPARAM w, platform::LPARAM l) {
        return OnAutoResponseToggle(w, l);
    });
    m_pEventMessages = std::make_unique<CEventMessageBox>(
        this, [this](std::string_view text) { ReportEvent(text); });

    CTcpBridge::Hooks hooks;
    hooks.showSent = [this](const char* bytes, int length) {
        if (m_pView != nullptr)
            m_pView->ShowSent(bytes, length);
    };
    hooks.receiveLF = [this] { return m_pDoc != nullptr && m_pDoc->m_bReceiveLF != 0; };
    hooks.reportEvent = [this](std::string_view text) { ReportEvent(text); };
    hooks.eventMessage = [this](std::string_view text, std::string_view detail) {
        m_pEventMessages->Show(text, detail);
    };
    m_pTcpBridge = std::make_unique<CTcpBridge>(std::move(hooks));
}

CMainFrame::~CMainFrame()
{
    // The traffic log tells this window of failures: it ends first.
    if (m_pCommPort)
        m_pCommPort->SetTrafficRecorder(nullptr);
    m_pTrafficLog.reset();
    // The automation windows use the view, the line and the message window.
    DeleteAutomationWindows();
    // The view goes first, as a window's children do; it ends the receive log.
    if (m_pView != nullptr) {
        QWidget* view = takeCentralWidget();
        m_pView = nullptr;
        delete view;
    }
    // No thread may post once the message window is gone, and no queued
    // message may reach a handler once the engine is gone; the bridge, which
    // may still flush a client at its close, finds no line by then.
    if (m_pTcpBridge) {
        m_pTcpBridge->SetLine(nullptr);
        m_pTcpBridge->SetComPort(nullptr);
    }
    m_pClientPort.reset();
    m_pReconnect.reset();
    m_pCommPort.reset();
    m_pMessageWindow.reset();
    m_pFirstBytes.reset();
    if (m_pEventLog) {
        m_pEventLog->Write("Logging End!\n");
        m_pEventLog.reset();
    }
    CloseTcpServer();
    m_pTcpBridge.reset();
    m_pEventMessages.reset();
}

bool CMainFrame::Create()
{
    // 1. Menu and view.
    BuildMenus();
    m_pView = new CTrevane2View(m_pDoc, m_pAppearance, this);
    m_pView->setObjectName(QStringLiteral("view"));
    setCentralWidget(m_pView);
    connect(m_pDoc, &CTrevane2Doc::titleChanged, this, &QWidget::setWindowTitle);
    connect(m_pView, &CTrevane2View::logNotice, this, &CMainFrame::ShowLogNotice);

    // 2. Dialog bar.
    if (!CreateDialogBar())
        return false;

    // 3. Status bar: message pane, connection pane, clock.
    m_wndStatusBar = new CMyStatusBar(this);
    setStatusBar(m_wndStatusBar);
    m_wndStatusBar->SetConnectionTextSource([this] { return m_strConnStatus; });
    m_wndStatusBar->SetIdleHandler([this] { UpdateCommandUI(); });

    // 4. Engine, and the one way to send through it.
    m_pCommPort = std::make_unique<CCommPort2>();
    m_pLineSender = std::make_unique<PortLineSender>(m_pCommPort.get());
    m_pView->SetLineSender(m_pLineSender.get());
    m_pTcpBridge->SetLine(m_pLineSender.get());
    CClientPortControl::Hooks clientPortHooks;
    clientPortHooks.reportEvent = [this](std::string_view text) { ReportEvent(text); };
    clientPortHooks.settingsChanged = [this] {
        RefreshConnectionText();
        RefreshIdle();
    };
    m_pClientPort = std::make_unique<CClientPortControl>(m_pCommPort.get(), std::move(clientPortHooks));
    m_pTcpBridge->SetComPort(m_pClientPort.get());
    CPortReconnect::Hooks reconnectHooks;
    reconnectHooks.report = [this](std::string_view text) { ReportEvent(text); };
    reconnectHooks.stateChanged = [this] {
        RefreshConnectionText();
        RefreshIdle();
    };
    m_pReconnect = std::make_unique<CPortReconnect>(*m_pCommPort, *m_pMessageWindow, std::move(reconnectHooks));
    SetReconnect(support::GetProfileInt(kPortSection, "Reconnect", 1) != 0, false);
    m_pTcpBridge->SetIdleTimeout(std::max(0, support::GetProfileInt(kTcpSection, kTcpIdleTimeoutEntry, 0)));
    m_pTcpBridge->SetTakeover(support::GetProfileInt(kTcpSection, kTcpTakeoverEntry, 0) != 0);
    const int storedMode = support::GetProfileInt(kTcpSection, kTcpModeEntry, 0);
    m_pTcpBridge->SetMode(storedMode >= 0 && storedMode <= 2 ? static_cast<TcpMode>(storedMode) : TcpMode::Raw);
    ConnectEditCommands();

    // 5, 6. Event log, named for the day the program started.
    const platform::LocalTime now = platform::GetLocalTime();
    char name[32];
    std::snprintf(name, sizeof name, "event%02d%02d.log", now.month, now.day);
    m_pEventLog = std::make_unique<support::CLogFile>(support::LogFilePath(name));
    m_strEventLogName = QString::fromLocal8Bit(m_pEventLog->HasFile()
                                                   ? m_pEventLog->FileName()
                                                   : m_pEventLog->RequestedName());
    m_pEventLog->SetWriteStatusListener([this](bool ok, const std::string& text) {
        // Said where the user reads events; a failing event log cannot carry
        // its own news, so that goes to standard error at once.
        if (!ok) {
            std::fprintf(stderr, "kestrana: %s\n", text.c_str());
            std::fflush(stderr);
        }
        const QString line = QString::fromLocal8Bit(text);
        QMetaObject::invokeMethod(
            this,
            [this, ok, line] {
                if (ok) {
                    ShowLogNotice(line);
                } else {
                    const std::string shown = line.toLocal8Bit().toStdString() + "\r\n";
                    AppendEventText(shown.data(), shown.size());
                }
            },
            Qt::QueuedConnection);
    });
    m_pEventLog->Write("Logging Start!\n");
    if (!m_pEventLog->Notice().empty())
        ShowLogNotice(QString::fromLocal8Bit(m_pEventLog->Notice()));

    // 7.
    m_nEventChars = 0;
    m_pFirstBytes = std::make_unique<std::array<std::uint8_t, 4>>();
    m_pFirstBytes->fill(0);
    m_bResponderActive = 0;

    // 8.
    CSplashWindow::ShowSplash(this);

    m_pView->setFocus();
    RefreshIdle();
    return true;
}

void CMainFrame::BuildMenus()
{
    auto makeAction = [this](unsigned id, const QString& text) {
        auto* action = new QAction(text, this);  // owned by the window
        action->setObjectName(QStringLiteral("action%1").arg(id));
        const QString prompt = res::Tr(res::PromptFor(id));
        if (!prompt.isEmpty())
            action->setStatusTip(prompt);
        m_actions[id] = action;
        return action;
    };
    for (const res::Menu& menuDef : res::kMainMenu) {
        QMenu* menu = menuBar()->addMenu(res::Tr(menuDef.title));
        menu->setObjectName(QStringLiteral("menu%1").arg(menuBar()->actions().size()));
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
        for (const res::MenuItem& item : menuDef.items) {
            if (item.text == nullptr)
                break;
            if (item.id == 0) {
                menu->addSeparator();
                continue;
            }
            menu->addAction(makeAction(item.id, res::Tr(item.text)));
        }
    }
    // Accelerators without a menu entry get a window-wide action of their own.
    for (const res::Accelerator& accel : res::kAccelerators) {
        QAction* action = m_actions.count(accel.id) ? m_actions[accel.id]
                                                    : makeAction(accel.id, QString());
        action->setShortcuts(action->shortcuts() << QKeySequence(QString::fromLatin1(accel.keys)));
        action->setShortcutContext(Qt::WindowShortcut);
        QWidget::addAction(action);  // active whether or not a menu shows it
    }

    using namespace res;
    connect(Action(ID_COMM_SETTINGS), &QAction::triggered, this, &CMainFrame::OnCommSettings);
    connect(Action(ID_COMM_OPEN), &QAction::triggered, this, &CMainFrame::OnCommOpen);
    connect(Action(ID_COMM_CLOSE), &QAction::triggered, this, &CMainFrame::OnCommClose);
    connect(Action(ID_FILE_NEW), &QAction::triggered, this, &CMainFrame::OnFileNew);
    connect(Action(ID_FILE_SAVE), &QAction::triggered, this, &CMainFrame::OnFileSave);
    connect(Action(ID_FILE_SAVE_AS), &QAction::triggered, this, &CMainFrame::OnFileSaveAs);
    connect(Action(ID_APP_EXIT), &QAction::triggered, this, &QWidget::close);
    connect(Action(ID_APP_ABOUT), &QAction::triggered, this, &CMainFrame::appAboutRequested);
    connect(Action(ID_HELP_CONTENTS), &QAction::triggered, this,
            &CMainFrame::helpContentsRequested);
    // File > Open is the view's command; the terminal settings dialog works on the view.
    connect(Action(ID_FILE_OPEN), &QAction::triggered, this, [this] {
        if (m_pView != nullptr)
            m_pView->OnFileOpen();
    });
    connect(Action(ID_TERMINAL_SETTINGS), &QAction::triggered, this, [this] {
        if (m_pView != nullptr) {
            CTerminalSettingsDlg dialog(m_pView, this);
            if (dialog.exec() == QDialog::Accepted)
                UpdateTrafficLog();
        }
    });
    connect(Action(ID_TCP_SETTINGS), &QAction::triggered, this, &CMainFrame::OnTcpPortSettings);
    connect(Action(ID_TCP_OPEN), &QAction::triggered, this, &CMainFrame::OnTcpServerOpen);
    connect(Action(ID_TCP_CLOSE), &QAction::triggered, this, &CMainFrame::OnTcpServerClose);
    QAction* reconnect = Action(ID_COMM_RECONNECT);
    reconnect->setCheckable(true);
    reconnect->setChecked(true);
    connect(reconnect, &QAction::triggered, this, [this](bool on) { SetReconnect(on, true); });
}

void CMainFrame::ConnectEditCommands()
{
    using namespace res;
    CTrevane2View* view = m_pView;
    connect(Action(ID_EDIT_COPY), &QAction::triggered, view, &CTrevane2View::OnEditCopy);
    connect(Action(ID_EDIT_PASTE), &QAction::triggered, view, &CTrevane2View::OnEditPaste);
    connect(Action(ID_EDIT_SELECT_ALL), &QAction::triggered, view, &CTrevane2View::OnEditSelectAll);
    connect(Action(ID_EDIT_FIND), &QAction::triggered, view, &CTrevane2View::OnEditFind);
    connect(Action(ID_EDIT_REPEAT), &QAction::triggered, view, &CTrevane2View::OnEditRepeat);
    // Undo, cut, replace, object properties, pane switching and Esc have
    // nothing to act on in a terminal: their keys are taken and do nothing.
}

bool CMainFrame::CreateDialogBar()
{
    auto* bar = new QToolBar(this);  // owned by the window
    bar->setObjectName(QStringLiteral("dialogBar103"));
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->toggleViewAction()->setEnabled(false);
    auto* content = new QWidget(bar);
    Ui::DialogBar ui;
    ui.setupUi(content);
    bar->addWidget(content);
    addToolBar(Qt::TopToolBarArea, bar);
    m_wndDlgBar = bar;
    m_pEventEdit = content->findChild<QPlainTextEdit*>(QStringLiteral("edit1001"));
    if (m_pEventEdit == nullptr)
        return false;
    m_pEventEdit->setFocusPolicy(Qt::ClickFocus);
    if (QPushButton* events = content->findChild<QPushButton*>(QStringLiteral("button1002")))
        connect(events, &QPushButton::clicked, this, &CMainFrame::OnCommEvents);
    const std::pair<unsigned, void (CMainFrame::*)()> automation[] = {
        {res::IDC_AUTOSEND, &CMainFrame::OnAutoSend},
        {res::IDC_PERIODIC, &CMainFrame::OnPeriodicSend},
        {res::IDC_AUTORESP, &CMainFrame::OnAutoResponse},
    };
    for (const auto& [id, handler] : automation)
        if (QPushButton* button = content->findChild<QPushButton*>(QStringLiteral("button%1").arg(id)))
            connect(button, &QPushButton::clicked, this, handler);
    return true;
}

QAction* CMainFrame::Action(unsigned id) const
{
    const auto found = m_actions.find(id);
    return found == m_actions.end() ? nullptr : found->second;
}

QPushButton* CMainFrame::BarButton(unsigned id) const
{
    if (m_wndDlgBar == nullptr)
        return nullptr;
    return m_wndDlgBar->findChild<QPushButton*>(QStringLiteral("button%1").arg(id));
}

void CMainFrame::UpdateCommandUI()
{
    const bool open = m_pCommPort && m_pCommPort->IsOpen();
    const bool waiting = m_pReconnect && m_pReconnect->Waiting();
    using namespace res;
    if (QAction* action = Action(ID_COMM_OPEN))
        action->setEnabled(!open);
    // The settings of a port that waits for its device stay as they are.
    if (QAction* action = Action(ID_COMM_SETTINGS))
        action->setEnabled(!open && !waiting);
    if (QAction* action = Action(ID_COMM_CLOSE))
        action->setEnabled(open || waiting);
    for (unsigned id : {IDC_AUTOSEND, IDC_PERIODIC, IDC_AUTORESP})
        if (QPushButton* button = BarButton(id))
            button->setEnabled(open);
}

void CMainFrame::RefreshIdle()
{
    if (m_wndStatusBar != nullptr)
        m_wndStatusBar->RefreshPanes();  // also runs UpdateCommandUI
    else
        UpdateCommandUI();
}

void CMainFrame::OnCommSettings()
{
    if (!m_pCommPort || m_pCommPort->IsOpen())
        return;
    // The dialog starts from the stored settings, confirmed or not.
    m_pCommPort->LoadProfile();
    CCommSettingsDlg dialog(m_pCommPort->Settings(), this);
    if (dialog.exec() == QDialog::Accepted && m_pCommPort) {
        PortSettings settings = m_pCommPort->Settings();
        dialog.ApplyTo(settings);
        m_pCommPort->ApplySettings(settings);
        m_pCommPort->SaveProfile();
    }
    RefreshIdle();
}

void CMainFrame::OnCommEvents()
{
    if (!m_pCommPort)
        return;
    CCommEventsDlg dialog(m_pCommPort->Settings(), this);
    // On an open port a new event character is applied at once.
    if (dialog.exec() == QDialog::Accepted && m_pCommPort)
        m_pCommPort->ApplySettings(dialog.Settings());
}

void CMainFrame::OnCommOpen()
{
    if (!m_pCommPort)
        return;
    if (m_pReconnect)
        m_pReconnect->EndWait();
    m_pCommPort->SetOwner(m_pMessageWindow.get());
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    m_pCommPort->OpenPort();
    QGuiApplication::restoreOverrideCursor();
    if (!m_pCommPort->IsOpen()) {
        // Which device and why, where the user reads events, before the box.
        const std::string cause = m_pCommPort->LastOpenError();
        if (!cause.empty()) {
            const std::string line = cause + "\r\n";
            AppendEventText(line.data(), line.size());
            if (m_pEventLog)
                m_pEventLog->WriteText(cause + "\n");
        }
        platform::ShowMessageBox(res::kConnectionFailed, cause);
        RefreshIdle();
        return;
    }
    if (m_pReconnect)
        m_pReconnect->NoteOpened();
    if (m_pView != nullptr)
        m_pView->SetStampOrigin(platform::MonotonicNs());
    RefreshConnectionText();
    if (m_pEventLog)
        m_pEventLog->Write("%s Opened\n", m_pCommPort->PortName());
    RefreshIdle();
}

void CMainFrame::ConnectAtStart()
{
    OnCommOpen();
    if (m_pCommPort && !m_pCommPort->IsOpen() && m_pReconnect)
        m_pReconnect->BeginWait(true);
}

void CMainFrame::SetReconnect(bool on, bool store)
{
    if (store)
        support::WriteProfileInt(kPortSection, "Reconnect", on ? 1 : 0);
    if (QAction* action = Action(res::ID_COMM_RECONNECT))
        action->setChecked(on);
    if (!m_pReconnect)
        return;
    const bool wasWaiting = m_pReconnect->Waiting();
    m_pReconnect->SetEnabled(on);
    // The port tells of a lost device itself only when nobody waits for it.
    if (m_pCommPort)
        m_pCommPort->SetReportGone(!on);
    if (wasWaiting && !on && m_pTcpBridge)
        m_pTcpBridge->SerialDeviceGone();
    RefreshConnectionText();
    RefreshIdle();
}

void CMainFrame::RefreshConnectionText()
{
    if (m_pCommPort && m_pCommPort->IsOpen()) {
        const PortSettings settings = m_pCommPort->Settings();
        m_strConnStatus = QString::fromStdString(ConnectionText(settings.m_nPort, settings.m_dwBaudRate,
                                                                settings.m_byDataBits, settings.m_byParity,
                                                                settings.m_byStopBits));
    } else if (m_pReconnect && m_pReconnect->Waiting()) {
        m_strConnStatus = QString::fromStdString(m_pReconnect->StatusText());
    } else {
        m_strConnStatus = res::Tr(res::kDisconnected);
    }
}

void CMainFrame::OnCommClose()
{
    if (m_pReconnect)
        m_pReconnect->EndWait();
    if (m_pCommPort)
        m_pCommPort->ClosePort();
    RefreshConnectionText();
    RefreshIdle();
}

platform::LRESULT CMainFrame::OnPortGone(platform::WPARAM, platform::LPARAM)
{
    if (!m_pCommPort || !m_pCommPort->IsOpen())
        return 1;  // already closed by the user
    m_pCommPort->ClosePort();
    if (!m_pReconnect || !m_pReconnect->BeginWait(false)) {
        // The port is closed: a network client would talk into a void.
        AppendEventText(res::kPortGone, std::strlen(res::kPortGone));
        if (m_pEventLog)
            m_pEventLog->WriteText(std::string(res::kPortGone) + "\n");
        if (m_pTcpBridge)
            m_pTcpBridge->SerialDeviceGone();
    }
    RefreshConnectionText();
    RefreshIdle();
    return 1;
}

platform::LRESULT CMainFrame::OnRxData(platform::WPARAM, platform::LPARAM lParam)
{
    auto* packet = platform::LentParam<ReceivePacket>(lParam);
    if (packet == nullptr)
        return 1;
    // The packet goes back to the engine's ring however this ends.
    struct Release {
        CCommPort2* port;
        ReceivePacket* packet;
        ~Release()
        {
            if (port != nullptr)
                port->ReleasePacket(packet);
        }
    } release{m_pCommPort.get(), packet};

    std::uint32_t length = packet->length;
    if (length > kMaxReceiveBlock)  // never trust a length beyond what a read gives
        length = kMaxReceiveBlock;
    RelayToTcpClient(packet->data, length);
    // A short block ended with the line going quiet: nothing is on its way
    // to join it, so the client gets it before the display work below.
    if (length < kMaxReceiveBlock && m_pTcpBridge)
        m_pTcpBridge->FlushToClient();
    ApplyResponder(packet->data, length);
    CTrevane2View* view = GetActiveView();
    if (view == nullptr)
        return 1;
    CTrevane2Doc* doc = view->GetDocument();
    if (doc != nullptr && doc->m_bReceiveLF) {
        InsertLineFeedAfterFirstCR(packet->data, length, sizeof packet->data);
        packet->length = length;
    }
    view->ShowReceived(reinterpret_cast<const char*>(packet->data), static_cast<int>(length),
                       packet->firstByteNs, packet->lastByteNs);
    return 1;
}

platform::LRESULT CMainFrame::OnStatusText(platform::WPARAM, platform::LPARAM lParam)
{
    auto* post = platform::LentParam<StatusPostBuffer>(lParam);
    if (post == nullptr)
        return 1;
    // Never read past the buffer, even if a text filled it without its NUL.
    const std::size_t length = strnlen(post->text, sizeof post->text);
    const std::string text(post->text, length);
    if (m_pCommPort)
        m_pCommPort->ReleaseStatusPost(post);
    AppendEventText(text.data(), text.size());
    if (m_pEventLog)
        m_pEventLog->WriteText(text + "\n");
    return 1;
}

void CMainFrame::ShowLogNotice(const QString& text)
{
    const std::string line = text.toLocal8Bit().toStdString();
    const std::string shown = line + "\r\n";
    AppendEventText(shown.data(), shown.size());
    if (m_pEventLog && m_pEventLog->HasFile()) {
        // Written at once: a line the event log cannot take goes to standard
        // error instead.
        m_pEventLog->WriteText(line + "\n");
        m_pEventLog->Flush();
        if (!m_pEventLog->WriteFailing())
            return;
    }
    std::fprintf(stderr, "kestrana: %s\n", line.c_str());
    std::fflush(stderr);
}

void CMainFrame::AppendEventText(const char* text, std::size_t length)
{
    if (m_pEventEdit == nullptr)
        return;
    if (m_nEventChars > kEventBoxLimit) {
        m_pEventEdit->clear();
        m_nEventChars = 0;
    }
    m_nEventChars += static_cast<int>(length);
    // CR LF ends a line; a lone CR would start another paragraph here.
    QString shown = QString::fromLocal8Bit(text, static_cast<qsizetype>(length));
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QTextCursor cursor(m_pEventEdit->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(shown);
    m_pEventEdit->verticalScrollBar()->setValue(m_pEventEdit->verticalScrollBar()->maximum());
}

void CMainFrame::ReportEvent(std::string_view text)
{
    const std::string line = std::string(text) + "\r\n";
    AppendEventText(line.data(), line.size());
    if (m_pEventLog)
        m_pEventLog->WriteText(std::string(text) + "\n");
}

void CMainFrame::ForceTrafficLog()
{
    m_bTrafficLogForced = true;
    UpdateTrafficLog();
}

void CMainFrame::UpdateTrafficLog()
{
    const bool wanted = m_bTrafficLogForced || (m_pDoc != nullptr && m_pDoc->m_bTrafficLog != 0);
    if (!wanted) {
        if (m_pCommPort)
            m_pCommPort->SetTrafficRecorder(nullptr);
        m_pTrafficLog.reset();  // writes what it holds
        return;
    }
    const int gapMs = m_pDoc != nullptr ? m_pDoc->m_nFrameGapMs : 0;
    if (!m_pTrafficLog) {
        const platform::LocalTime now = platform::GetLocalTime();
        char name[32];
        std::snprintf(name, sizeof name, "traffic%02d%02d.log", now.month, now.day);
        m_pTrafficLog = std::make_shared<support::TrafficLog>(support::LogFilePath(name), gapMs);
        // A disk that refuses the log costs the log, said once, never the data.
        m_pTrafficLog->File().SetWriteStatusListener([this](bool, const std::string& text) {
            const QString line = QString::fromLocal8Bit(text);
            QMetaObject::invokeMethod(this, [this, line] { ShowLogNotice(line); }, Qt::QueuedConnection);
        });
        if (!m_pTrafficLog->File().Notice().empty())
            ShowLogNotice(QString::fromLocal8Bit(m_pTrafficLog->File().Notice()));
    }
    m_pTrafficLog->SetJoinGapMs(gapMs);
    if (m_pCommPort)
        m_pCommPort->SetTrafficRecorder(m_pTrafficLog);
}

void CMainFrame::SetHeadless(bool headless)
{
    if (m_pEventMessages)
        m_pEventMessages->SetHeadless(headless);
    if (m_pView != nullptr)
        m_pView->SetTextKept(!headless);
}

void CMainFrame::RelayToTcpClient(const std::uint8_t* bytes, std::uint32_t length)
{
    if (m_pTcpBridge)
        m_pTcpBridge->RelayToClient(bytes, length);
}

void CMainFrame::ApplyResponder(const std::uint8_t* bytes, std::uint32_t length)
{
    if (!m_bResponderActive || !m_pFirstBytes || length == 0)
        return;
    if (!automation::FirstByteHit(*m_pFirstBytes, m_nFirstBytes, bytes[0]))
        return;
    if (!m_pAutoResponseDlg || m_pAutoResponseDlg->IsClosing())
        return;
    // The window gets a copy of its own: the line-feed step below and the
    // engine's reuse of the packet must not reach what it compares.
    ReceivedBlock block;
    block.bytes.assign(bytes, bytes + length);
    platform::PostOwned(*m_pAutoResponseDlg->MessageWindow(), WM_AUTORESPONSE_BLOCK, 0, std::move(block));
}

AutomationLinks CMainFrame::MakeAutomationLinks()
{
    AutomationLinks links;
    links.doc = m_pDoc;
    links.line = m_pLineSender.get();
    links.appendSent = [this](const char* text) {
        if (m_pView != nullptr)
            m_pView->AppendText(text, 0, true);
    };
    links.frame = m_pMessageWindow.get();
    return links;
}

void CMainFrame::DeleteAutomationWindows()
{
    m_pAutoSendDlg.reset();
    m_pPeriodicSendDlg.reset();
    m_bResponderActive = 0;
    m_pAutoResponseDlg.reset();
}

void CMainFrame::OnAutoSend()
{
    // A window that is closing goes now; its close message then finds nothing.
    if (m_pAutoSendDlg && m_pAutoSendDlg->IsClosing())
        m_pAutoSendDlg.reset();
    if (!m_pAutoSendDlg)
        m_pAutoSendDlg = std::make_unique<CAutoSendDlg>(MakeAutomationLinks(), this);
    m_pAutoSendDlg->Activate();
}

void CMainFrame::OnPeriodicSend()
{
    if (m_pPeriodicSendDlg && m_pPeriodicSendDlg->IsClosing())
        m_pPeriodicSendDlg.reset();
    if (!m_pPeriodicSendDlg)
        m_pPeriodicSendDlg = std::make_unique<CPeriodicSendDlg>(MakeAutomationLinks(), this);
    m_pPeriodicSendDlg->Activate();
}

void CMainFrame::OnAutoResponse()
{
    if (m_pAutoResponseDlg && m_pAutoResponseDlg->IsClosing())
        OnAutoResponseClosed(0, 0);
    if (!m_pAutoResponseDlg)
        m_pAutoResponseDlg = std::make_unique<CAutoResponseDlg>(MakeAutomationLinks(), this);
    m_pAutoResponseDlg->Activate();
}

// The close messages are taken only from a window that has closed: the
// number of the periodic sender's is also the engine's file-block notice.
platform::LRESULT CMainFrame::OnAutoSendClosed(platform::WPARAM, platform::LPARAM)
{
    if (m_pAutoSendDlg && m_pAutoSendDlg->IsClosing())
        m_pAutoSendDlg.reset();
    return 0;
}

platform::LRESULT CMainFrame::OnPeriodicSendClosed(platform::WPARAM, platform::LPARAM)
{
    if (m_pPeriodicSendDlg && m_pPeriodicSendDlg->IsClosing())
        m_pPeriodicSendDlg.reset();
    else
        platform::OutputDebugString("WM_USER+5 without a closing periodic-send window: ignored");
    return 0;
}

platform::LRESULT CMainFrame::OnAutoResponseClosed(platform::WPARAM, platform::LPARAM)
{
    if (m_pAutoResponseDlg && m_pAutoResponseDlg->IsClosing()) {
        m_bResponderActive = 0;
        m_pAutoResponseDlg.reset();
    }
    return 0;
}

platform::LRESULT CMainFrame::OnAutoResponseToggle(platform::WPARAM, platform::LPARAM)
{
    // The responder follows the window's own "Start"/"End" state, so the two
    // cannot drift apart.
    const bool start = m_pAutoResponseDlg && !m_pAutoResponseDlg->IsClosing() &&
                       m_pAutoResponseDlg->IsStarted();
    if (start && m_pDoc != nullptr && m_pFirstBytes) {
        m_nFirstBytes = automation::BuildFirstByteTable(m_pDoc->m_mapAutoResp, *m_pFirstBytes);
        m_bResponderActive = 1;
    } else {
        m_bResponderActive = 0;
    }
    return 0;
}

void CMainFrame::CloseTcpServer()
{
    if (m_pTcpBridge)
        m_pTcpBridge->CloseServer();
}

void CMainFrame::OnTcpPortSettings()
{
    if (!m_pTcpBridge)
        return;
    CTcpPortDlg dialog(m_pTcpBridge->ServerPort(), m_pTcpBridge->IdleTimeout(), m_pTcpBridge->Takeover(),
                       m_pTcpBridge->Mode(), this);
    if (dialog.exec() != QDialog::Accepted || !m_pTcpBridge)
        return;
    // An open server keeps its port until it is closed and opened again; the
    // other two count at once.
    m_pTcpBridge->SetServerPort(dialog.m_nPort);
    m_pTcpBridge->SetIdleTimeout(dialog.m_nIdleSeconds);
    m_pTcpBridge->SetTakeover(dialog.m_bTakeover);
    support::WriteProfileInt(kTcpSection, kTcpIdleTimeoutEntry, dialog.m_nIdleSeconds);
    support::WriteProfileInt(kTcpSection, kTcpTakeoverEntry, dialog.m_bTakeover ? 1 : 0);
    m_pTcpBridge->SetMode(dialog.m_mode);
    support::WriteProfileInt(kTcpSection, kTcpModeEntry, static_cast<int>(dialog.m_mode));
}

void CMainFrame::OnTcpServerOpen()
{
    if (m_pTcpBridge)
        m_pTcpBridge->OpenServer();
}

void CMainFrame::OnTcpServerClose()
{
    CloseTcpServer();
}

void CMainFrame::OnFileNew()
{
    if (m_pDoc == nullptr || m_pView == nullptr)
        return;
    if (m_pDoc->OnNewDocument()) {
        m_strDocumentPath.clear();
        m_pView->OnInitialUpdate();
    }
}

bool CMainFrame::SaveDocumentTo(const QString& path)
{
    if (m_pView != nullptr)
        m_pView->FlushPending();
    if (!m_pDoc->OnSaveDocument(path)) {
        platform::ShowMessageBox(
            QStringLiteral("The file %1 could not be written.").arg(path).toStdString());
        return false;
    }
    m_strDocumentPath = path;
    return true;
}

void CMainFrame::OnFileSave()
{
    if (m_strDocumentPath.isEmpty()) {
        OnFileSaveAs();
        return;
    }
    SaveDocumentTo(m_strDocumentPath);
}

void CMainFrame::OnFileSaveAs()
{
    if (m_pDoc == nullptr)
        return;
    QString chosenFilter;
    QString path = QFileDialog::getSaveFileName(this, QString(), m_strDocumentPath,
                                                kColouredFilter + QStringLiteral(";;") + kPlainFilter,
                                                &chosenFilter);
    if (path.isEmpty())
        return;
    const bool plain = chosenFilter == kPlainFilter;
    if (QFileInfo(path).suffix().isEmpty())
        path += plain ? QStringLiteral(".txt") : QStringLiteral(".rtf");
    m_pDoc->SetSaveFormat(plain ? CTrevane2Doc::SaveFormat::Plain
                                : CTrevane2Doc::SaveFormat::Coloured);
    SaveDocumentTo(path);
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    event->accept();
    // The run ends with the main window even while the help window is open.
    QCoreApplication::quit();
}
