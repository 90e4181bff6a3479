#pragma once
// SIGTERM, SIGINT and SIGHUP (a closed terminal or SSH session) end the run
// the normal way (logs closed, settings saved) instead of killing it.
//
// Before the event loop runs, the handler only records the request
// (platform/ShutdownRequest.h): start-up looks at it between its steps and in
// its long loops, and since the handler is installed without SA_RESTART, a
// wait it interrupts returns instead of starting again. Once the loop runs,
// the handler also writes the signal number to a pipe; a socket notifier
// reads it on the user-interface thread and emits shutdownRequested.

#include "platform/UniqueFd.h"

#include <QObject>

#include <memory>

class QSocketNotifier;

// Installs the recording handler; the first thing the program does.
void InstallStartupShutdownHandler();

class ShutdownSignals : public QObject {
    Q_OBJECT
public:
    // Installs the handlers. Only one instance may exist at a time. A request
    // made before is passed on to the loop.
    explicit ShutdownSignals(QObject* parent = nullptr);
    ~ShutdownSignals() override;  // restores the default dispositions

    bool IsInstalled() const { return m_bInstalled; }
    // Start-up is over: interrupted system calls are restarted from now on,
    // as the rest of the program expects.
    void EventLoopStarts();

signals:
    void shutdownRequested(int signalNumber);

private:
    void OnReadable();

    platform::UniqueFd m_readEnd;
    platform::UniqueFd m_writeEnd;
    std::unique_ptr<QSocketNotifier> m_notifier;
    bool m_bInstalled = false;
};
