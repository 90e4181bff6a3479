#include "app/ShutdownSignals.h"

#include "platform/ShutdownRequest.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace {

// Besides the request flag, the handler may only touch this one descriptor.
std::atomic<int> g_writeFd{-1};

void Wake(int fd, int signalNumber)
{
    const auto byte = static_cast<unsigned char>(signalNumber);
    // A full pipe already holds a pending request: losing this byte is fine.
    [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
}

void OnSignal(int signalNumber)
{
    const int savedErrno = errno;
    platform::NoteShutdownRequest(signalNumber);
    if (const int fd = g_writeFd.load(); fd >= 0)
        Wake(fd, signalNumber);
    errno = savedErrno;
}

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

bool Install(void (*handler)(int), int flags)
{
    struct sigaction action{};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = flags;
    bool ok = true;
    for (int sig : kSignals)
        ok = sigaction(sig, &action, nullptr) == 0 && ok;
    return ok;
}

}  // namespace

void InstallStartupShutdownHandler() { Install(OnSignal, 0); }

ShutdownSignals::ShutdownSignals(QObject* parent) : QObject(parent)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_readEnd.reset(fds[0]);
    m_writeEnd.reset(fds[1]);

    m_notifier = std::make_unique<QSocketNotifier>(m_readEnd.get(), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &ShutdownSignals::OnReadable);

    m_bInstalled = Install(OnSignal, 0);
    g_writeFd.store(m_writeEnd.get());
    // A request that came before the pipe reaches the loop through it too.
    if (const int sig = platform::ShutdownRequested(); sig != 0)
        Wake(m_writeEnd.get(), sig);
}

ShutdownSignals::~ShutdownSignals()
{
    Install(SIG_DFL, 0);
    g_writeFd.store(-1);
    m_notifier.reset();
}

void ShutdownSignals::EventLoopStarts()
{
    if (m_bInstalled)
        m_bInstalled = Install(OnSignal, SA_RESTART);
}

void ShutdownSignals::OnReadable()
{
    unsigned char bytes[16];
    int last = 0;
    ssize_t got;
    while ((got = ::read(m_readEnd.get(), bytes, sizeof bytes)) > 0)
        last = bytes[got - 1];
    if (last != 0)
        emit shutdownRequested(last);
}
