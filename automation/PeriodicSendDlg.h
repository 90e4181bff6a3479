#pragma once
// "Periodical Send": one hex string sent again and again at a period set in
// steps of 100 ms by the arrows. Each tick counts, echoes the string and,
// while the port is open, hands its bytes to the line. The ticks keep to a
// fixed schedule on the monotonic clock (start + n periods), so the period
// does not drift: a tick that comes late does not delay the ones after it,
// and ticks missed while the event loop was held up for less than a second
// are made up at once. A tick whose bytes the line refuses (its queue is
// full) is skipped: nothing is queued or echoed for it, and the window shows
// how many were skipped.

#include "automation/AutomationLinks.h"
#include "automation/ModelessDlg.h"
#include "automation/TerminalEcho.h"

#include <QBasicTimer>
#include <QString>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

class CUpDownButtons;
class QPushButton;
namespace Ui { class PeriodicSendDlg; }

class CPeriodicSendDlg : public CModelessDlg {
    Q_OBJECT
public:
    static constexpr int kPeriodStep = 100;  // ms per arrow step
    // Behind the schedule by more than this, the schedule starts afresh
    // instead of making up the missed ticks.
    static constexpr std::chrono::milliseconds kMaxCatchUp{1000};

    CPeriodicSendDlg(const AutomationLinks& links, QWidget* parent);
    ~CPeriodicSendDlg() override;

    // One arrow step: +1 up, anything else down (never below 0).
    void OnDeltaPos(int delta);
    // "Start" / "End".
    void OnStartEnd();

    bool IsRunning() const { return m_bRunning; }
    int Period() const { return m_nPeriod; }
    int TickCount() const { return m_nTickCount; }
    int SkippedTicks() const { return m_nSkipped; }

protected:
    void timerEvent(QTimerEvent* event) override;
    void OnClosing() override;

private:
    void Start();
    void Stop();
    void OnTick();
    // Sets the timer for the next tick of the schedule.
    void ArmTimer();

    std::unique_ptr<Ui::PeriodicSendDlg> m_ui;
    AutomationLinks m_links;
    TerminalEcho m_echo;

    CUpDownButtons* m_pSpin = nullptr;  // owned by the window
    QString m_strTyped;                 // the string as read at the last start, trimmed
    std::string m_strStripped;          // without spaces, upper case
    std::string m_strEcho;              // the typed string and a space, ready to show
    QString m_strCount;                 // the last "Count:%d" shown
    std::unique_ptr<std::uint8_t[]> m_pBytes;  // decoded at start; null while stopped
    std::size_t m_nByteCount = 0;
    int m_nTickCount = 0;
    int m_nSkipped = 0;
    bool m_bRunning = false;
    int m_nPeriod = 0;  // ms, changed only by the arrows
    QBasicTimer m_timer;
    std::chrono::steady_clock::time_point m_nextTick;  // due time of the next tick
};
