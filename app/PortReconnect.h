#pragma once
// Follows a port whose device went away. While reconnecting is on, the port
// waits for the same device instead of staying closed, and opens it again
// with the same slot and settings the moment it can. The same device is the
// one the user named, or, when that is a USB adapter with a stable name, that
// adapter wherever it turns up next (never its twin under the old name). A
// device named by a symbolic link counts as back once the link is made anew.
//
// Choices:
//  - the wait sleeps on device events (DeviceWaiter); only a device that is
//    there but held by another program is tried again on a timer, since
//    nothing tells when it is let go;
//  - a device that is back but cannot be opened is reported with its cause,
//    once per cause and only when the cause lasts, and the wait goes on;
//  - a device that comes and goes many times a second costs at most
//    kReportsPerSecond event lines a second; the rest are counted into one.

#include "comm/DeviceWaiter.h"
#include "platform/FileIdentity.h"
#include "platform/WindowMessage.h"

#include <QTimer>

#include <chrono>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

class CCommPort2;

class CPortReconnect {
public:
    static constexpr int kReportsPerSecond = 5;
    static constexpr int kBusyRetryMs = 1000;
    // A cause of failure is told only once it has lasted this long: a node
    // udev has just made is root's for a moment before it gets its group.
    static constexpr int kCauseGraceMs = 1000;

    struct Hooks {
        std::function<void(std::string_view text)> report;  // event box and event log
        std::function<void()> stateChanged;                 // status bar and menus
    };

    CPortReconnect(CCommPort2& port, platform::MessageTarget& owner, Hooks hooks);
    CPortReconnect(const CPortReconnect&) = delete;
    CPortReconnect& operator=(const CPortReconnect&) = delete;

    void SetEnabled(bool enabled);
    bool Enabled() const { return m_bEnabled; }
    // The port has just opened: what to follow should its device go.
    void NoteOpened();
    // The port's device went away and the port is closed, or (atStart) the
    // first open failed. False when reconnecting is off: nothing waits.
    bool BeginWait(bool atStart);
    // The user closed the port or connects anew.
    void EndWait();
    bool Waiting() const { return m_bWaiting; }
    // "COM1: waiting for /dev/ttyUSB0"; empty while not waiting.
    std::string StatusText() const;
    // The device followed, e.g. its stable name (tests).
    const std::string& FollowedPath() const { return m_strFollow; }
    const DeviceWaiter& Waiter() const { return m_waiter; }

    // WM_DEVICEBACK.
    void OnDeviceBack(platform::WPARAM wait);

private:
    void TryOpen();
    // Through the throttle.
    void Report(std::string text);
    void FlushHeldReports();

    CCommPort2& m_port;
    platform::MessageTarget& m_owner;
    Hooks m_hooks;
    bool m_bEnabled = true;
    bool m_bWaiting = false;
    bool m_bAtStart = false;
    std::string m_strFollow;
    DeviceWaiter::Departed m_opened;  // what to tell from the device's return
    std::string m_strLastCause;   // the last told
    std::string m_strPendingCause;  // not told yet
    QTimer m_causeGrace;
    DeviceWaiter m_waiter;
    QTimer m_busyRetry;

    std::deque<std::chrono::steady_clock::time_point> m_recentReports;
    int m_nHeldReports = 0;
    std::string m_strLastHeld;
    QTimer m_heldReports;
};
