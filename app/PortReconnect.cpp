#include "app/PortReconnect.h"

#include "comm/CommPort2.h"
#include "comm/PortDevices.h"
#include "comm/StableDeviceName.h"
#include "platform/ErrorKind.h"

#include <sys/stat.h>

#include <cerrno>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kReportWindow = std::chrono::seconds(1);

}  // namespace

CPortReconnect::CPortReconnect(CCommPort2& port, platform::MessageTarget& owner, Hooks hooks)
    : m_port(port), m_owner(owner), m_hooks(std::move(hooks))
{
    m_busyRetry.setSingleShot(true);
    m_busyRetry.setInterval(kBusyRetryMs);
    QObject::connect(&m_busyRetry, &QTimer::timeout, [this] { TryOpen(); });
    m_causeGrace.setSingleShot(true);
    m_causeGrace.setInterval(kCauseGraceMs);
    QObject::connect(&m_causeGrace, &QTimer::timeout, [this] {
        if (m_bWaiting && !m_strPendingCause.empty() && m_strPendingCause != m_strLastCause) {
            m_strLastCause = m_strPendingCause;
            Report(m_strLastCause + "; still waiting");
        }
    });
    m_heldReports.setSingleShot(true);
    QObject::connect(&m_heldReports, &QTimer::timeout, [this] { FlushHeldReports(); });
}

void CPortReconnect::SetEnabled(bool enabled)
{
    m_bEnabled = enabled;
    if (!enabled)
        EndWait();
}

void CPortReconnect::NoteOpened()
{
    const std::string opened = m_port.DevicePath();
    const std::string stable = IsStableDeviceName(opened) ? std::string() : StableDeviceName(opened);
    m_strFollow = stable.empty() ? opened : stable;
    m_opened.node = platform::FileIdentity::Of(opened);
    // A link is taken back only once it is made anew (udev makes stable
    // names and rule links again for their device); until then a node at its
    // old target may be another device given the old name, or another pty.
    m_opened.link.reset();
    struct stat info {};
    if (::lstat(m_strFollow.c_str(), &info) == 0 && S_ISLNK(info.st_mode))
        m_opened.link = platform::FileIdentity::FromStat(info);
}

bool CPortReconnect::BeginWait(bool atStart)
{
    if (!m_bEnabled)
        return false;
    m_bAtStart = atStart;
    if (atStart) {
        m_strFollow = DevicePathForSlot(static_cast<int>(m_port.Settings().m_nPort) + 1);
        m_opened = {};
    }
    if (m_strFollow.empty())
        return false;
    std::string failure;
    if (!m_waiter.Start(m_strFollow, m_opened, &m_owner, failure)) {
        Report(failure);
        return false;
    }
    m_bWaiting = true;
    m_strLastCause.clear();
    m_strPendingCause.clear();
    Report(std::string(m_port.PortName()) + ": waiting for " + m_strFollow + (atStart ? "" : " to come back"));
    if (m_hooks.stateChanged)
        m_hooks.stateChanged();
    return true;
}

void CPortReconnect::EndWait()
{
    if (!m_bWaiting)
        return;
    m_waiter.Stop();
    m_busyRetry.stop();
    m_causeGrace.stop();
    m_bWaiting = false;
    Report(std::string(m_port.PortName()) + ": no longer waiting for " + m_strFollow);
    if (m_hooks.stateChanged)
        m_hooks.stateChanged();
}

std::string CPortReconnect::StatusText() const
{
    return m_bWaiting ? std::string(m_port.PortName()) + ": waiting for " + m_strFollow : std::string();
}

void CPortReconnect::OnDeviceBack(platform::WPARAM wait)
{
    if (m_bWaiting && wait == m_waiter.WaitNumber())
        TryOpen();
}

void CPortReconnect::TryOpen()
{
    if (!m_bWaiting || m_port.IsOpen())
        return;
    if (m_port.OpenPortAt(m_strFollow)) {
        m_waiter.Stop();
        m_busyRetry.stop();
        m_causeGrace.stop();
        m_bWaiting = false;
        NoteOpened();
        Report(std::string(m_port.PortName()) + (m_bAtStart ? " Opened" : " reopened"));
        if (m_hooks.stateChanged)
            m_hooks.stateChanged();
        return;
    }
    // Back but not ours to open yet: said once per cause, once it lasts.
    const std::string cause = m_port.LastOpenError();
    if (cause != m_strPendingCause || !m_causeGrace.isActive()) {
        m_strPendingCause = cause;
        m_causeGrace.start();
    }
    // Nothing announces that another program let the device go.
    const int error = m_port.LastOpenErrorCode();
    if (error == EBUSY || platform::ClassifyError(error) == platform::ErrorKind::WouldBlock)
        m_busyRetry.start();
}

void CPortReconnect::Report(std::string text)
{
    if (!m_hooks.report)
        return;
    const auto now = Clock::now();
    while (!m_recentReports.empty() && now - m_recentReports.front() >= kReportWindow)
        m_recentReports.pop_front();
    if (m_recentReports.size() >= static_cast<std::size_t>(kReportsPerSecond)) {
        ++m_nHeldReports;
        m_strLastHeld = std::move(text);
        if (!m_heldReports.isActive())
            m_heldReports.start(static_cast<int>(
                std::chrono::duration_cast<std::chrono::milliseconds>(kReportWindow - (now - m_recentReports.front()))
                    .count() + 1));
        return;
    }
    m_recentReports.push_back(now);
    m_hooks.report(text);
}

void CPortReconnect::FlushHeldReports()
{
    if (m_nHeldReports == 0)
        return;
    const int held = m_nHeldReports;
    m_nHeldReports = 0;
    std::string last = std::move(m_strLastHeld);
    m_recentReports.push_back(Clock::now());
    if (held == 1) {
        m_hooks.report(last);
        return;
    }
    m_hooks.report(std::string(m_port.PortName()) + ": the device came and went often; " + std::to_string(held - 1) +
                   " changes not listed; last: " + last);
}
