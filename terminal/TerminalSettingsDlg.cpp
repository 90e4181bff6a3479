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

namespace {

// Each option as the dialog and the document hold it.
constexpr std::pair<int CTerminalSettingsDlg::*, int CTrevane2Doc::*> kOptions[] = {
    {&CTerminalSettingsDlg::m_bHexMode, &CTrevane2Doc::m_bHexMode},
    {&CTerminalSettingsDlg::m_bLocalEcho, &CTrevane2Doc::m_bLocalEcho},
    {&CTerminalSettingsDlg::m_bReceiveLF, &CTrevane2Doc::m_bReceiveLF},
    {&CTerminalSettingsDlg::m_bSendLF, &CTrevane2Doc::m_bSendLF},
    {&CTerminalSettingsDlg::m_bAppendCRC, &CTrevane2Doc::m_bAppendCRC},
    {&CTerminalSettingsDlg::m_nTimestamps, &CTrevane2Doc::m_nTimestamps},
    {&CTerminalSettingsDlg::m_bHexFrames, &CTrevane2Doc::m_bHexFrames},
    {&CTerminalSettingsDlg::m_nFrameGapMs, &CTrevane2Doc::m_nFrameGapMs},
    {&CTerminalSettingsDlg::m_bTrafficLog, &CTrevane2Doc::m_bTrafficLog},
};

}  // namespace

void CTerminalSettingsDlg::CopyFromDocument()
{
    for (const auto& [mine, doc] : kOptions)
        this->*mine = m_pDoc->*doc;
}

void CTerminalSettingsDlg::LoadSettings()
{
    m_pDoc->ReadTerminalSettings();
    CopyFromDocument();
}

bool CTerminalSettingsDlg::SaveSettings()
{
    for (const auto& [mine, doc] : kOptions)
        m_pDoc->*doc = this->*mine;
    return m_pDoc->WriteTerminalSettings();
}

void CTerminalSettingsDlg::DoDataExchange(bool save)
{
    const std::pair<QCheckBox*, int*> pairs[] = {
        {m_ui->check1010, &m_bHexMode},   {m_ui->check1009, &m_bLocalEcho},
        {m_ui->check1011, &m_bReceiveLF}, {m_ui->check1008, &m_bSendLF},
        {m_ui->check1012, &m_bAppendCRC}, {m_ui->checkFrames, &m_bHexFrames},
        {m_ui->checkTrafficLog, &m_bTrafficLog},
    };
    for (const auto& [box, member] : pairs) {
        if (save)
            *member = box->isChecked() ? 1 : 0;
        else
            box->setChecked(*member != 0);
    }
    if (save) {
        m_nTimestamps = m_ui->comboStamps->currentIndex();
        m_nFrameGapMs = m_ui->spinFrameGap->value();
    } else {
        m_ui->comboStamps->setCurrentIndex(m_nTimestamps);
        m_ui->spinFrameGap->setValue(m_nFrameGapMs);
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
