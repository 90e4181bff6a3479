#pragma once
// The status bar: the message pane (idle text or the prompt of the command
// under the pointer), the connection pane and a clock to the second. A
// one-second timer of its own refreshes the panes, so the clock advances even
// when nothing else happens.

#include <QBasicTimer>
#include <QStatusBar>
#include <QString>

#include <functional>

class QLabel;

class CMyStatusBar : public QStatusBar {
    Q_OBJECT
public:
    static constexpr int kClockTimerId = 32771;

    explicit CMyStatusBar(QWidget* parent = nullptr);
    ~CMyStatusBar() override;

    // Where the connection pane's text comes from (the frame's enabling-and-
    // text routing). Called at every refresh.
    void SetConnectionTextSource(std::function<QString()> source);
    // Called at every refresh after the panes, for the frame's other rules.
    void SetIdleHandler(std::function<void()> handler);

    // Re-reads every pane; a pane is redrawn only when its text changed.
    void RefreshPanes();
    // The clock pane's text for the current local time.
    QString ClockText() const;

    QString m_strTimeFormat;

    QLabel* ConnectionPane() const { return m_pConnPane; }

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    QLabel* m_pMessagePane;
    QLabel* m_pConnPane;
    QLabel* m_pClockPane;
    QBasicTimer m_clockTimer;
    std::function<QString()> m_connectionTextSource;
    std::function<void()> m_idleHandler;
};
