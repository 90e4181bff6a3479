#include "app/Trevane2App.h"

#include "app/AboutDlg.h"
#include "app/CharsetSetting.h"
#include "app/HelpWindow.h"
#include "app/MainFrame.h"
#include "app/ShutdownSignals.h"
#include "app/SplashWindow.h"
#include "app/TcpBridge.h"
#include "comm/PortDevices.h"
#include "platform/MessageBox.h"
#include "platform/ShutdownRequest.h"
#include "resources/StringTable.h"
#include "support/LogFolder.h"
#include "support/Profile.h"
#include "support/RegistryStore.h"
#include "terminal/Trevane2Doc.h"
#include "terminal/Trevane2View.h"

#include <QApplication>
#include <QTimer>

#include <csignal>
#include <cstdio>

// The pictures and the manual are linked in from a static library, so they
// are registered by hand.
static void InitKestranaResources() { Q_INIT_RESOURCE(kestrana); }

namespace {
CTrevane2App* g_pApp = nullptr;

// SIGTERM, SIGINT or SIGHUP came during start-up: it stops where it is.
bool Stopping() { return platform::ShutdownRequested() != 0; }
}  // namespace

CTrevane2App::CTrevane2App()
{
    InitKestranaResources();
    g_pApp = this;
}

CTrevane2App::~CTrevane2App()
{
    if (!m_bExited)
        ExitInstance();
    if (g_pApp == this)
        g_pApp = nullptr;
    // m_registry closes every key it still holds as it goes.
}

CTrevane2App* CTrevane2App::GetApp() { return g_pApp; }

bool CTrevane2App::InitInstance(const CommandLineOptions& options)
{
    m_bExited = false;
    // 1. The splash window is allowed unless the command line says otherwise.
    // A run without a window has no splash either.
    CSplashWindow::SetSplashAllowed(!options.noSplash && !options.headless);

    // 2. Socket set-up: a peer that goes away must not kill the process.
    if (std::signal(SIGPIPE, SIG_IGN) == SIG_ERR) {
        platform::ShowMessageBox(res::kSocketInitFailed);
        return false;
    }
    m_pSignals = std::make_unique<ShutdownSignals>();
    connect(m_pSignals.get(), &ShutdownSignals::shutdownRequested, this,
            &CTrevane2App::RequestShutdown);
    // A settings file set aside is said on standard error at once, and in the
    // event box once the frame has one.
    m_previousNoticeHandler = support::RegistryStore::SetNoticeHandler(
        [this](std::string_view text) { OnSettingsNotice(text); });
    m_bNoticesHeard = true;
    if (Stopping())
        return false;

    // 3, 4. Nothing to initialise for embedded objects or control looks here.

    // 5. The framework profile lives under the company key.
    support::SetProfileKey(res::kAppKeyPath);
    for (const auto& [slot, path] : options.devices)
        SetRunDevicePath(slot, path);
    support::SetLogFolder(options.logDir);
    // The terminal's character set, before the view's decoders are made.
    if (const std::string warning = ChooseTerminalCharset(options.charset); !warning.empty())
        std::fprintf(stderr, "kestrana: %s\n", warning.c_str());

    // 6. The application key, held for the whole run.
    support::DWORD disposition = 0;
    if (!m_registry.CreateKeyByPath(res::kAppKeyPath, &disposition, nullptr, 0,
                                    support::KEY_ALL_ACCESS, nullptr)) {
        char text[64];
        std::snprintf(text, sizeof text, res::kRegistryErrorFormat,
                      static_cast<long>(m_registry.LastError()));
        // The box keeps its fixed text; which folder or file, and why, go
        // to its detail and to standard error, once: a run without a window
        // writes every box there already. A wait the user ended asks nothing.
        const std::string& cause = m_registry.LastErrorText();
        if (Stopping())
            return false;
        if (!options.headless)
            std::fprintf(stderr, "kestrana: %s%s%s\n", text, cause.empty() ? "" : ": ",
                         cause.c_str());
        platform::ShowMessageBox(text, cause);
        return false;
    }
    m_bKeyOpen = true;
    m_dwKeyDisposition = disposition;

    // 7. A stored appearance only when the key was there before.
    if (disposition == support::REG_OPENED_EXISTING_KEY)
        m_appearance.Load(m_registry);

    // 8, 9. Document, frame (view, bars, engine, event log, splash), initial update.
    m_pSplashFilter = std::make_unique<SplashInputFilter>();
    qApp->installEventFilter(m_pSplashFilter.get());
    m_pDoc = std::make_unique<CTrevane2Doc>();
    m_pDoc->SetPlainTextColor(m_appearance.m_crReceived);
    m_pDoc->Text().SetMemoryBudget(static_cast<std::size_t>(options.historyMemory));
    m_pDoc->Text().SetDiskBudget(options.historyDisk);
    m_pMainWnd = std::make_unique<CMainFrame>(m_pDoc.get(), &m_appearance);
    connect(m_pMainWnd.get(), &CMainFrame::appAboutRequested, this, &CTrevane2App::OnAppAbout);
    connect(m_pMainWnd.get(), &CMainFrame::helpContentsRequested, this,
            &CTrevane2App::OnHelpContents);
    if (!m_pMainWnd->Create())
        return false;
    PostSettingsNotices();
    m_pMainWnd->SetHeadless(options.headless);
    if (options.noReconnect)
        m_pMainWnd->SetReconnect(false, false);
    m_pMainWnd->TcpBridge()->SetServerPort(options.tcpPort);
    m_pMainWnd->TcpBridge()->SetBindAddress(options.tcpBind);
    m_pMainWnd->TcpBridge()->SetKeepAlive(options.tcpKeepAlive);
    // Given on the command line: for this run; the stored choices stay.
    if (options.tcpIdleTimeout)
        m_pMainWnd->TcpBridge()->SetIdleTimeout(*options.tcpIdleTimeout);
    if (options.tcpTakeover)
        m_pMainWnd->TcpBridge()->SetTakeover(true);
    if (options.tcpMode)
        m_pMainWnd->TcpBridge()->SetMode(*options.tcpMode);
    m_pMainWnd->GetActiveView()->OnInitialUpdate();
    // After the terminal options are read: they say whether to keep a traffic log.
    if (options.trafficLog)
        m_pMainWnd->ForceTrafficLog();
    else
        m_pMainWnd->UpdateTrafficLog();
    if (!options.file.empty() && !Stopping()) {
        const QString path = QString::fromLocal8Bit(options.file.c_str());
        std::string failure;
        if (!m_pDoc->OnOpenDocument(path, &failure)) {
            if (!Stopping())
                platform::ShowMessageBox(
                    QStringLiteral("The file %1 could not be opened.").arg(path).toStdString(),
                    failure);
            return false;
        }
    }
    if (Stopping())
        return false;

    // 10. Without a window everything else runs the same, unseen.
    if (!options.headless) {
        m_pMainWnd->show();
        m_pMainWnd->update();
    }
    CMainFrame* frame = m_pMainWnd.get();
    if (options.connect)
        QTimer::singleShot(0, frame, [frame] { frame->ConnectAtStart(); });
    if (options.tcpServer) {
        const bool headless = options.headless;
        QTimer::singleShot(0, frame, [frame, headless] {
            frame->OnTcpServerOpen();
            // A bridge without a window that cannot listen has nothing to do:
            // it ends (the reason is on standard error) so that a service
            // supervisor sees it.
            if (headless && !frame->TcpBridge()->IsListening())
                QCoreApplication::exit(kExitCannotServe);
        });
    }
    return true;
}

int CTrevane2App::ExitInstance()
{
    if (m_bExited)
        return 0;
    m_bExited = true;
    m_pHelpWindow.reset();
    // The frame's end: the view closes the receive log, the engine closes the
    // port, the event log gets its end line.
    m_pMainWnd.reset();
    m_pDoc.reset();
    if (m_pSplashFilter) {
        qApp->removeEventFilter(m_pSplashFilter.get());
        m_pSplashFilter.reset();
    }
    if (m_bKeyOpen)
        m_appearance.Save(m_registry);
    if (m_bNoticesHeard) {
        support::RegistryStore::SetNoticeHandler(std::move(m_previousNoticeHandler));
        m_bNoticesHeard = false;
    }
    m_pSignals.reset();
    return 0;
}

int CTrevane2App::Run(const CommandLineOptions& options)
{
    int status = 1;
    if (InitInstance(options) && !Stopping()) {
        m_pSignals->EventLoopStarts();
        status = QApplication::exec();
    }
    ExitInstance();
    // Asked to end during start-up: the run ends as the loop would have ended it.
    return Stopping() ? 0 : status;
}

void CTrevane2App::OnSettingsNotice(std::string_view text)
{
    std::fprintf(stderr, "kestrana: %.*s\n", static_cast<int>(text.size()), text.data());
    std::fflush(stderr);
    {
        std::lock_guard lock(m_noticeMutex);
        m_pendingNotices.emplace_back(text);
    }
    // Any thread may have read the settings; the event box is this one's.
    QMetaObject::invokeMethod(this, [this] { PostSettingsNotices(); }, Qt::QueuedConnection);
}

void CTrevane2App::PostSettingsNotices()
{
    if (!m_pMainWnd)
        return;  // kept until the frame exists
    std::vector<std::string> notices;
    {
        std::lock_guard lock(m_noticeMutex);
        notices.swap(m_pendingNotices);
    }
    for (const std::string& text : notices)
        m_pMainWnd->ReportEvent(text);
}

void CTrevane2App::OnAppAbout()
{
    CAboutDlg dialog(m_pMainWnd.get());
    dialog.exec();
}

void CTrevane2App::OnHelpContents()
{
    if (!m_pHelpWindow)
        m_pHelpWindow = std::make_unique<CHelpWindow>();
    m_pHelpWindow->ShowContents();
}

void CTrevane2App::RequestShutdown()
{
    // Modal dialogs and message boxes end with their loops; nothing asks.
    if (m_pHelpWindow)
        m_pHelpWindow->hide();
    if (m_pMainWnd)
        m_pMainWnd->hide();
    QCoreApplication::exit(0);
}
