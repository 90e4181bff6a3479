#pragma once
// The find bar over the terminal: a text, a case option, "next" (Enter, F3),
// and a line that says when the search went round to the start or found
// nothing. Esc or the close button hides it and gives the keys back to the
// terminal.

#include <QFrame>

class CTrevane2View;
class QCheckBox;
class QLabel;
class QLineEdit;

class FindBar : public QFrame {
    Q_OBJECT
public:
    explicit FindBar(CTrevane2View* view);

    // Shows the bar with its text selected for typing over.
    void Open();
    // The next hit after the current one (or from the top of the screen);
    // true when there is one.
    bool FindNext();
    bool HasText() const;

    QLineEdit* TextEdit() const { return m_pText; }
    QCheckBox* MatchCase() const { return m_pMatchCase; }
    QString Status() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    // Keys typed in the bar stay in the bar: none goes on to the terminal.
    void keyPressEvent(QKeyEvent* event) override;

private:
    CTrevane2View* m_pView;
    QLineEdit* m_pText;
    QCheckBox* m_pMatchCase;
    QLabel* m_pStatus;
};
