#include "app/ShutdownSignals.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace {

// The handler may only touch this one descriptor.
std::atomic<int> g_writeFd{-1};

void OnSignal(int signalNumber)
{
    const int savedErrno = errno;
    const int fd = g_writeFd.load();
    if (fd >= 0) {
        const auto byte = static_cast<unsigned char>(signalNumber);
        // A full pipe already holds a pending request: losing this byte is fine.
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

constexpr int kSignals[] = {SIGTERM, SIGINT};

}  // namespace

ShutdownSignals::ShutdownSignals(QObject* parent) : QObject(parent)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_readEnd.reset(fds[0]);
    m_writeEnd.reset(fds[1]);
    g_writeFd.store(m_writeEnd.get());

    m_notifier = std::make_unique<QSocketNotifier>(m_readEnd.get(), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &ShutdownSignals::OnReadable);

    struct sigaction action{};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    bool ok = true;
    for (int sig : kSignals)
        ok = sigaction(sig, &action, nullptr) == 0 && ok;
    m_bInstalled = ok;
}

ShutdownSignals::~ShutdownSignals()
{
    struct sigaction action{};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int sig : kSignals)
        sigaction(sig, &action, nullptr);
    g_writeFd.store(-1);
    m_notifier.reset();
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
