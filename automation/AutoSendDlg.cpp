#include "automation/AutoSendDlg.h"

#include "automation/AutoSendAssignDlg.h"
#include "automation/AutomationMessages.h"
#include "automation/HexTextBytes.h"
#include "terminal/Trevane2Doc.h"
#include "text/LineSender.h"

#include "ui_AutoSendDlg.h"

#include <QPushButton>

#include <charconv>

CAutoSendDlg::CAutoSendDlg(const AutomationLinks& links, QWidget* parent)
    : CModelessDlg(links.frame, WM_AUTOSEND_CLOSED, parent),
      m_ui(std::make_unique<Ui::AutoSendDlg>()),
      m_links(links),
      m_echo(links.appendSent)
{
    m_ui->setupUi(this);
    NoDefaultButtons();
    for (int id = kFirstSendButton; id <= kLastSendButton; ++id) {
        QPushButton* button = Button(id);
        button->setEnabled(false);
        connect(button, &QPushButton::clicked, this, [this, id] { OnSend(id); });
    }
    EnableStoredButtons();
    connect(m_ui->button1014, &QPushButton::clicked, this, &CAutoSendDlg::OnAssign);
    connect(m_ui->button1015, &QPushButton::clicked, this, &QWidget::close);
}

CAutoSendDlg::~CAutoSendDlg() = default;

QPushButton* CAutoSendDlg::Button(int id) const
{
    return findChild<QPushButton*>(QStringLiteral("button%1").arg(id));
}

void CAutoSendDlg::EnableStoredButtons()
{
    if (m_links.doc == nullptr)
        return;
    for (const auto& [key, value] : m_links.doc->m_mapAutoSend) {
        int number = 0;
        const auto [end, error] = std::from_chars(key.data(), key.data() + key.size(), number);
        if (error != std::errc() || end != key.data() + key.size())
            continue;
        // The string of box n belongs to the button numbered one less.
        if (number - 1 >= kFirstSendButton && number - 1 <= kLastSendButton)
            Button(number - 1)->setEnabled(true);
    }
}

void CAutoSendDlg::OnAssign()
{
    if (m_links.doc == nullptr)
        return;
    CAutoSendAssignDlg editor(&m_links.doc->m_mapAutoSend, this);
    if (editor.exec() == QDialog::Accepted)
        EnableStoredButtons();
}

void CAutoSendDlg::OnSend(int id)
{
    if (m_links.doc == nullptr)
        return;
    const auto& store = m_links.doc->m_mapAutoSend;
    const auto found = store.find(std::to_string(id + 1));
    if (found == store.end())
        return;
    m_echo.Show(QString::fromStdString(found->second) + QLatin1Char(' '));
    const std::vector<std::uint8_t> bytes = automation::HexTextBytes(found->second);
    // A refused send (the queue is full) is reported by the engine itself.
    if (!bytes.empty() && m_links.line != nullptr && m_links.line->IsPortOpen())
        m_links.line->SendBytes(bytes.data(), bytes.size());
}
