#include "automation/ModelessDlg.h"

#include <QCloseEvent>
#include <QPushButton>

CModelessDlg::CModelessDlg(platform::MessageTarget* frame, unsigned closeMessage, QWidget* parent)
    : QDialog(parent), m_pFrame(frame), m_nCloseMessage(closeMessage)
{
    setModal(false);
}

void CModelessDlg::Activate()
{
    show();
    raise();
    activateWindow();
}

void CModelessDlg::NoDefaultButtons()
{
    for (QPushButton* button : findChildren<QPushButton*>()) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
}

void CModelessDlg::closeEvent(QCloseEvent* event)
{
    if (!m_bClosing) {
        m_bClosing = true;
        OnClosing();
        if (m_pFrame != nullptr)
            m_pFrame->PostMessage(m_nCloseMessage, 0, 0);
    }
    event->accept();  // the window hides; the frame deletes it
}
