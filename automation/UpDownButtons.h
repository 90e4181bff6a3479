#pragma once
// An up-down control without a value of its own: two arrow buttons (and the
// Up and Down keys while it has the focus) that report each step, +1 up and
// -1 down. Whoever listens keeps the value.

#include <QWidget>

class QToolButton;

class CUpDownButtons : public QWidget {
    Q_OBJECT
public:
    explicit CUpDownButtons(QWidget* parent = nullptr);

    QToolButton* UpButton() const { return m_pUp; }
    QToolButton* DownButton() const { return m_pDown; }

signals:
    void deltaPos(int delta);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QToolButton* m_pUp;    // owned by the widget
    QToolButton* m_pDown;  // owned by the widget
};
