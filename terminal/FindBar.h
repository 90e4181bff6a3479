#pragma once
// The find bar over the terminal: a text, a case option, "next" (Enter, F3),
// and a line that says when the search went round to the start or found
// nothing. Esc or the close button hides it and gives the keys back to the
// terminal.
//
// A short text held in memory is searched at once. Otherwise the search runs
// on a worker thread over a snapshot of the text, with its progress shown in
// the bar; the window stays responsive, and Esc or a new search cancels it.

#include "terminal/TextSearch.h"

#include <QFrame>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

class LatestJobThread;
class QCheckBox;
class QLabel;
class QLineEdit;
class TerminalScreen;

class FindBar : public QFrame {
    Q_OBJECT
public:
    // Shown over `terminal`, the widget of `screen`.
    FindBar(TerminalScreen& screen, QWidget* terminal);
    ~FindBar() override;

    // Shows the bar with its text selected for typing over.
    void Open();
    // The next hit after the current one (or from the top of the screen);
    // true when there is one or a search for it is under way.
    bool FindNext();
    bool HasText() const;
    // True while a search runs on the worker thread.
    bool Searching() const { return m_running.has_value(); }
    // Drops the running search; its result is never shown.
    void CancelSearch();

    // Texts up to this many units, all in memory, are searched at once.
    static constexpr std::uint64_t kImmediateUnits = std::uint64_t(1) << 22;

    QLineEdit* TextEdit() const { return m_pText; }
    QCheckBox* MatchCase() const { return m_pMatchCase; }
    QString Status() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    // Keys typed in the bar stay in the bar: none goes on to the terminal.
    void keyPressEvent(QKeyEvent* event) override;

private:
    struct Request {
        std::u16string pattern;
        bool matchCase;
        std::uint64_t from;
        std::uint64_t generation;  // of the text searched
        bool operator==(const Request&) const = default;
    };
    void Show(const SearchOutcome& outcome);
    void OnProgress(std::uint64_t serial, int percent);
    void OnDone(std::uint64_t serial, const SearchOutcome& outcome);

    TerminalScreen& m_screen;
    QLineEdit* m_pText;
    QCheckBox* m_pMatchCase;
    QLabel* m_pStatus;
    std::uint64_t m_serial = 0;        // the search whose reports count
    std::optional<Request> m_running;  // the search on the worker
    std::unique_ptr<LatestJobThread> m_pWorker;  // last: stops first
};
