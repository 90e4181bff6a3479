#include "app/AboutDlg.h"

#include "app/SystemInfo.h"
#include "support/Version.h"

#include "ui_AboutDlg.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::AboutDlg>())
{
    m_ui->setupUi(this);
    m_ui->staticCredit->setText(
        QStringLiteral("Kestrana %1 - a serial-port terminal").arg(QLatin1String(support::kVersion)));
    m_ui->static1001->setText(QString::fromStdString(::SystemText()));
    m_ui->static1002->setText(QString::fromStdString(::MemoryText()));
    m_ui->static1003->setText(QString::fromStdString(::UserText()));
}

CAboutDlg::~CAboutDlg() = default;

QString CAboutDlg::CreditText() const { return m_ui->staticCredit->text(); }
QString CAboutDlg::SystemText() const { return m_ui->static1001->text(); }
QString CAboutDlg::MemoryText() const { return m_ui->static1002->text(); }
QString CAboutDlg::UserText() const { return m_ui->static1003->text(); }
