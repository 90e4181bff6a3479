#include "terminal/TerminalSettingsDlg.h"

#include "platform/MessageBox.h"
#include "terminal/AppearanceDlg.h"
#include "terminal/Trevane2Doc.h"
#include "terminal/Trevane2View.h"

#include "ui_TerminalSettingsDlg.h"

CTerminalSettingsDlg::CTerminalSettingsDlg(CTrevane2View* view, QWidget* parent)
    : QDialog(parent),
      m_ui(std::make_unique<Ui::TerminalSettingsDlg>()),
      m_pView(view),
      m_pDoc(view->GetDocument())
{
    m_ui->setupUi(this);
    CopyFromDocument();
    // The store is read before the boxes are filled, so they show the
    // options that are in force from now on.
    LoadSettings();
    DoDataExchange(false);
    // Typed characters are always shown; the box only says so.
    m_ui->check1009->setEnabled(false);
    connect(m_ui->button1, &QPushButton::clicked, this, &CTerminalSettingsDlg::accept);
    connect(m_ui->button1007, &QPushButton::clicked, this, &CTerminalSettingsDlg::OnFont);
}

CTerminalSettingsDlg::~CTerminalSettingsDlg() = default;

void CTerminalSettingsDlg::CopyFromDocument()
{
    m_bHexMode = m_pDoc->m_bHexMode;
    m_bLocalEcho = m_pDoc->m_bLocalEcho;
    m_bReceiveLF = m_pDoc->m_bReceiveLF;
    m_bSendLF = m_pDoc->m_bSendLF;
    m_bAppendCRC = m_pDoc->m_bAppendCRC;
}

void CTerminalSettingsDlg::LoadSettings()
{
    m_pDoc->ReadTerminalSettings();
    CopyFromDocument();
}

bool CTerminalSettingsDlg::SaveSettings()
{
    m_pDoc->m_bHexMode = m_bHexMode;
    m_pDoc->m_bLocalEcho = m_bLocalEcho;
    m_pDoc->m_bReceiveLF = m_bReceiveLF;
    m_pDoc->m_bSendLF = m_bSendLF;
    m_pDoc->m_bAppendCRC = m_bAppendCRC;
    return m_pDoc->WriteTerminalSettings();
}

void CTerminalSettingsDlg::DoDataExchange(bool save)
{
    const std::pair<QCheckBox*, int*> pairs[] = {
        {m_ui->check1010, &m_bHexMode},   {m_ui->check1009, &m_bLocalEcho},
        {m_ui->check1011, &m_bReceiveLF}, {m_ui->check1008, &m_bSendLF},
        {m_ui->check1012, &m_bAppendCRC},
    };
    for (const auto& [box, member] : pairs) {
        if (save)
            *member = box->isChecked() ? 1 : 0;
        else
            box->setChecked(*member != 0);
    }
}

void CTerminalSettingsDlg::OnFont()
{
    CAppearanceDlg dialog(m_pView, this);
    dialog.exec();
}

void CTerminalSettingsDlg::accept()
{
    DoDataExchange(true);
    // The options are in force for the run even when they cannot be kept.
    if (!SaveSettings())
        platform::ShowMessageBox("The terminal settings could not be stored.");
    QDialog::accept();
}
