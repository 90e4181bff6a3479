#pragma once
// The one-line box for typed hex strings. Every second letter or digit typed
// is followed by a space, so 0A1B reads "0A 1B ". Nothing is refused and the
// case is kept; the users of the text strip the spaces and decode it.
//
// The pair flag counts letters and digits typed into this box, not its text:
// text set by code leaves it alone, and so do Backspace and Delete. Text
// pasted (keys, context menu, middle button), dropped or committed by an
// input method goes in as if its letters and digits were typed one by one,
// with its white space left out, so a paste continues the pairs the box shows.

#include <QLineEdit>
#include <QString>

class CHexEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit CHexEdit(QWidget* parent = nullptr);

    // 1 after an odd-numbered letter or digit, 0 after an even-numbered one.
    int SecondOfPair() const { return m_bSecondOfPair; }

    // Inserts `text` at the caret (over the selection) as if typed.
    void InsertAsTyped(const QString& text);
    // The clipboard's text, as if typed.
    void PasteAsTyped();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;

private:
    // Builds in m_strScratch what typing `text` inserts, and moves the flag.
    void PairText(const QString& text, bool dropWhiteSpace);
    // After an undo or redo: whether the next letter or digit is the second
    // of a pair follows from the text itself, since the step may have taken
    // a pair's space away or put it back.
    void PairFromText();

    QString m_strScratch;     // the text about to be inserted
    int m_bSecondOfPair = 0;
};
