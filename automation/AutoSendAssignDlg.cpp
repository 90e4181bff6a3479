#include "automation/AutoSendAssignDlg.h"

#include "automation/HexEdit.h"

#include "ui_AutoSendAssignDlg.h"

#include <QPushButton>

CAutoSendAssignDlg::CAutoSendAssignDlg(std::map<std::string, std::string>* store, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::AutoSendAssignDlg>()), m_pStore(store)
{
    m_ui->setupUi(this);
    for (const auto& [key, value] : *m_pStore)
        if (CHexEdit* box = findChild<CHexEdit*>(QStringLiteral("edit") + QString::fromStdString(key)))
            box->setText(QString::fromStdString(value));
    connect(m_ui->button1, &QPushButton::clicked, this, &CAutoSendAssignDlg::accept);
    connect(m_ui->button2, &QPushButton::clicked, this, &CAutoSendAssignDlg::reject);
}

CAutoSendAssignDlg::~CAutoSendAssignDlg() = default;

CHexEdit* CAutoSendAssignDlg::Box(int id) const
{
    return findChild<CHexEdit*>(QStringLiteral("edit%1").arg(id));
}

void CAutoSendAssignDlg::accept()
{
    for (int id = kFirstBox; id <= kLastBox; ++id) {
        const QString text = Box(id)->text().trimmed();
        if (!text.isEmpty())
            (*m_pStore)[std::to_string(id)] = text.toStdString();
    }
    QDialog::accept();
}
