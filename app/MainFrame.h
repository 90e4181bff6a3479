#pragma once
// The main window: the terminal view, the dialog bar with the port-event box
// and the automation buttons, the status bar, the serial engine and the event
// log. Worker threads reach it only through posted messages.

#include "platform/QtMessageWindow.h"
#include "platform/WindowMessage.h"

#include <QMainWindow>
#include <QString>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string_view>

class CCommPort2;
class CEventMessageBox;
class CMyStatusBar;
class CTcpBridge;
class CClientPortControl;
class CTrevane2Doc;
class CTrevane2View;
class CAppearance;
class CAutoResponseDlg;
class CAutoSendDlg;
struct AutomationLinks;
class CPeriodicSendDlg;
class CPortReconnect;
class PortLineSender;
class QAction;
class QPlainTextEdit;
class QPushButton;
class QToolBar;
namespace support { class CLogFile; class TrafficLog; }

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kEventBoxLimit = 20000;

    CMainFrame(CTrevane2Doc* doc, CAppearance* appearance, QWidget* parent = nullptr);
    // View first, then the engine, the event log's end line, the bars.
    ~CMainFrame() override;

    // Builds the window's parts in their fixed order; false ends start-up.
    bool Create();

    // Commands.
    void OnCommSettings();
    void OnCommOpen();
    void OnCommClose();
    void OnFileNew();
    void OnFileSave();
    void OnFileSaveAs();
    // Connects at start-up; with reconnecting on, a device not there yet is waited for.
    void ConnectAtStart();
    // The 통신 menu's check item; `store` keeps the choice for later runs.
    void SetReconnect(bool on, bool store);
    CPortReconnect* Reconnect() const { return m_pReconnect.get(); }
    // "Events...": the comm events dialog, modal, open port or not.
    void OnCommEvents();
    void OnTcpPortSettings();
    void OnTcpServerOpen();
    void OnTcpServerClose();
    // Dialog-bar buttons "AutoSend", "Periodic" and "AutoResp.": open the
    // window, or bring it to the front when it is open.
    void OnAutoSend();
    void OnPeriodicSend();
    void OnAutoResponse();

    // Enabling rules and the status panes, as after any command.
    void UpdateCommandUI();
    void RefreshIdle();

    // Message handlers.
    platform::LRESULT OnRxData(platform::WPARAM wParam, platform::LPARAM lParam);
    platform::LRESULT OnStatusText(platform::WPARAM wParam, platform::LPARAM lParam);
    platform::LRESULT OnPortGone(platform::WPARAM wParam, platform::LPARAM lParam);
    // WM_USER+4, +5, +6: an automation window closed; it is deleted.
    platform::LRESULT OnAutoSendClosed(platform::WPARAM wParam, platform::LPARAM lParam);
    platform::LRESULT OnPeriodicSendClosed(platform::WPARAM wParam, platform::LPARAM lParam);
    platform::LRESULT OnAutoResponseClosed(platform::WPARAM wParam, platform::LPARAM lParam);
    // WM_USER+7: the response window's "Start"/"End".
    platform::LRESULT OnAutoResponseToggle(platform::WPARAM wParam, platform::LPARAM lParam);

    CTrevane2View* GetActiveView() const { return m_pView; }
    CTrevane2Doc* GetActiveDocument() const { return m_pDoc; }
    platform::QtMessageWindow* MessageWindow() const { return m_pMessageWindow.get(); }
    QAction* Action(unsigned id) const;
    QPushButton* BarButton(unsigned id) const;
    QPlainTextEdit* EventBox() const { return m_pEventEdit; }
    CMyStatusBar* StatusBar() const { return m_wndStatusBar; }
    // The event log's file as used: a numbered one when the day's file is
    // held by another running program.
    const QString& EventLogName() const { return m_strEventLogName; }
    CTcpBridge* TcpBridge() const { return m_pTcpBridge.get(); }
    CEventMessageBox* EventMessages() const { return m_pEventMessages.get(); }
    // The automation windows; null while closed.
    CAutoSendDlg* AutoSendWindow() const { return m_pAutoSendDlg.get(); }
    CPeriodicSendDlg* PeriodicSendWindow() const { return m_pPeriodicSendDlg.get(); }
    CAutoResponseDlg* AutoResponseWindow() const { return m_pAutoResponseDlg.get(); }

    // A line of the program's own in the event box and the event log.
    void ReportEvent(std::string_view text);
    // Without a window: message boxes of events go to the funnel, not on screen.
    void SetHeadless(bool headless);
    // The traffic log for this run whatever the terminal option says.
    void ForceTrafficLog();
    // Opens or closes the traffic log as the option says, and takes its join gap.
    void UpdateTrafficLog();
    support::TrafficLog* TrafficLog() const { return m_pTrafficLog.get(); }

    std::unique_ptr<CCommPort2> m_pCommPort;
    QString m_strConnStatus;
    CMyStatusBar* m_wndStatusBar = nullptr;  // owned by the window
    QToolBar* m_wndDlgBar = nullptr;         // owned by the window
    int m_nEventChars = 0;
    QPlainTextEdit* m_pEventEdit = nullptr;
    std::unique_ptr<support::CLogFile> m_pEventLog;
    std::shared_ptr<support::TrafficLog> m_pTrafficLog;  // shared with the engine's threads
    bool m_bTrafficLogForced = false;
    std::unique_ptr<std::array<std::uint8_t, 4>> m_pFirstBytes;  // responder's first-byte table
    std::size_t m_nFirstBytes = 0;  // patterns in the table; 0x00 is a first byte like any other
    int m_bResponderActive = 0;
    std::unique_ptr<CTcpBridge> m_pTcpBridge;  // the TCP server and its client
    std::unique_ptr<CClientPortControl> m_pClientPort;  // what an RFC 2217 client sets

signals:
    // Commands the application answers.
    void appAboutRequested();
    void helpContentsRequested();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildMenus();
    // The edit commands act on the terminal view.
    void ConnectEditCommands();
    bool CreateDialogBar();
    void AppendEventText(const char* text, std::size_t length);
    // A note about a log file in the event box and the event log, or on
    // standard error while the event log cannot be written.
    void ShowLogNotice(const QString& text);
    // Steps of a received block that later features fill in.
    void RelayToTcpClient(const std::uint8_t* data, std::uint32_t length);
    void ApplyResponder(const std::uint8_t* data, std::uint32_t length);
    void CloseTcpServer();
    // The status bar's connection pane: open, waiting for the device, or closed.
    void RefreshConnectionText();
    // What the automation windows get to reach the document, line and terminal.
    AutomationLinks MakeAutomationLinks();
    void DeleteAutomationWindows();
    bool SaveDocumentTo(const QString& path);

    CTrevane2Doc* m_pDoc;
    CAppearance* m_pAppearance;
    CTrevane2View* m_pView = nullptr;  // owned by the window
    std::unique_ptr<PortLineSender> m_pLineSender;
    std::unique_ptr<CPortReconnect> m_pReconnect;  // follows a device that went away  // the one way to the engine for view, automation and bridge
    std::unique_ptr<CAutoSendDlg> m_pAutoSendDlg;
    std::unique_ptr<CPeriodicSendDlg> m_pPeriodicSendDlg;
    std::unique_ptr<CAutoResponseDlg> m_pAutoResponseDlg;
    std::unique_ptr<platform::QtMessageWindow> m_pMessageWindow;
    std::unique_ptr<CEventMessageBox> m_pEventMessages;
    std::map<unsigned, QAction*> m_actions;
    QString m_strEventLogName;
    QString m_strDocumentPath;  // where Ctrl+S saves; empty until saved once
};
