#pragma once
// The frame of a modeless automation window. Its close box and its "Close"
// button take the same path: the window hides, becomes "closing" and posts
// its close message to the main frame, which then deletes it. Enter never
// presses a button (none is a default button) and Esc does nothing, so the
// window is never hidden while the frame still counts it as open.

#include "platform/WindowMessage.h"

#include <QDialog>

class CModelessDlg : public QDialog {
    Q_OBJECT
public:
    CModelessDlg(platform::MessageTarget* frame, unsigned closeMessage, QWidget* parent);

    // Closed by the user and waiting for the frame to delete it.
    bool IsClosing() const { return m_bClosing; }
    // Shows the window, or brings it to the front when it is already shown.
    void Activate();

public slots:
    // Esc: nothing.
    void reject() override {}

protected:
    // After the template is set up: Enter presses no button of this window.
    void NoDefaultButtons();
    // Runs once as the window closes, before the frame hears of it.
    virtual void OnClosing() {}
    void closeEvent(QCloseEvent* event) override;

private:
    platform::MessageTarget* m_pFrame;
    unsigned m_nCloseMessage;
    bool m_bClosing = false;
};
