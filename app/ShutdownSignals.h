#pragma once
// SIGTERM and SIGINT as an ordinary event of the Qt loop: the handler only
// writes the signal number to a pipe; a socket notifier reads it on the
// user-interface thread and emits shutdownRequested, so the shutdown runs the
// normal way (logs closed, settings saved) instead of dying in the handler.

#include "platform/UniqueFd.h"

#include <QObject>

#include <memory>

class QSocketNotifier;

class ShutdownSignals : public QObject {
    Q_OBJECT
public:
    // Installs the handlers. Only one instance may exist at a time.
    explicit ShutdownSignals(QObject* parent = nullptr);
    ~ShutdownSignals() override;  // restores the default dispositions

    bool IsInstalled() const { return m_bInstalled; }

signals:
    void shutdownRequested(int signalNumber);

private:
    void OnReadable();

    platform::UniqueFd m_readEnd;
    platform::UniqueFd m_writeEnd;
    std::unique_ptr<QSocketNotifier> m_notifier;
    bool m_bInstalled = false;
};
