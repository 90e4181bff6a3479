#pragma once
// The application object: starts the terminal in a fixed order, owns the
// settings store's application key and the appearance, answers About and
// Help, and saves the appearance at exit. It does not own the QApplication,
// so tests can start and end it several times in one process.

#include "app/CommandLine.h"
#include "support/Registry.h"
#include "support/RegistryStore.h"
#include "terminal/Appearance.h"

#include <QObject>

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

class CHelpWindow;
class CMainFrame;
class CTrevane2Doc;
class ShutdownSignals;
class SplashInputFilter;

class CTrevane2App : public QObject {
    Q_OBJECT
public:
    // Exit status of a headless run whose TCP server could not listen.
    static constexpr int kExitCannotServe = 3;

    CTrevane2App();
    ~CTrevane2App() override;

    // The running application object, or null.
    static CTrevane2App* GetApp();

    // True lets the run begin. On false, ExitInstance must still run.
    bool InitInstance(const CommandLineOptions& options);
    // Ends the window, saves the appearance when the key is open. Returns 0.
    int ExitInstance();
    // InitInstance, the event loop, ExitInstance: the whole run. Returns the exit status.
    int Run(const CommandLineOptions& options);

    void OnAppAbout();
    void OnHelpContents();
    // Ends the run the normal way, without asking anything (SIGTERM, SIGINT).
    void RequestShutdown();

    CMainFrame* GetMainFrame() const { return m_pMainWnd.get(); }
    CTrevane2Doc* GetDocument() const { return m_pDoc.get(); }
    CHelpWindow* GetHelpWindow() const { return m_pHelpWindow.get(); }

    CAppearance m_appearance;
    support::CRegistry m_registry;
    support::DWORD m_dwKeyDisposition = 0;  // of the application key, at start-up
    bool m_bKeyOpen = false;                // the application key is held

private:
    // A settings-store notice, from any thread: standard error now, the
    // event box (and log) on this object's thread once the frame exists.
    void OnSettingsNotice(std::string_view text);
    void PostSettingsNotices();

    std::unique_ptr<CTrevane2Doc> m_pDoc;
    std::unique_ptr<CMainFrame> m_pMainWnd;
    std::unique_ptr<CHelpWindow> m_pHelpWindow;
    std::unique_ptr<SplashInputFilter> m_pSplashFilter;
    std::unique_ptr<ShutdownSignals> m_pSignals;
    support::RegistryStore::NoticeHandler m_previousNoticeHandler;
    bool m_bNoticesHeard = false;  // this object is the store's notice handler
    std::mutex m_noticeMutex;
    std::vector<std::string> m_pendingNotices;
    bool m_bExited = false;
};
