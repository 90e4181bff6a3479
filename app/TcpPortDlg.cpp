#include "app/TcpPortDlg.h"

#include "net/SocketWnd.h"
#include "platform/MessageBox.h"
#include "resources/StringTable.h"

#include "ui_TcpPortDlg.h"

#include <QRegularExpressionValidator>

CTcpPortDlg::CTcpPortDlg(int port, int idleSeconds, bool takeover, TcpMode mode, QWidget* parent)
    : QDialog(parent), m_nPort(port), m_nIdleSeconds(idleSeconds), m_bTakeover(takeover), m_mode(mode),
      m_ui(std::make_unique<Ui::TcpPortDlg>())
{
    m_ui->setupUi(this);
    m_ui->edit1005->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), m_ui->edit1005));
    m_ui->edit1005->setText(QString::number(port));
    m_ui->edit1005->selectAll();
    m_ui->spinIdleTimeout->setValue(idleSeconds);
    m_ui->checkTakeover->setChecked(takeover);
    for (TcpMode each : {TcpMode::Raw, TcpMode::Telnet, TcpMode::Rfc2217})
        m_ui->comboMode->addItem(QString::fromLatin1(TcpModeName(each)), static_cast<int>(each));
    m_ui->comboMode->setCurrentIndex(static_cast<int>(mode));
    connect(m_ui->button1, &QPushButton::clicked, this, &CTcpPortDlg::accept);
    connect(m_ui->button2, &QPushButton::clicked, this, &CTcpPortDlg::reject);
}

CTcpPortDlg::~CTcpPortDlg() = default;

void CTcpPortDlg::accept()
{
    const QString text = m_ui->edit1005->text().trimmed();
    bool ok = false;
    const int port = text.toInt(&ok);
    if (!ok || port < net::kFirstPort || port > net::kLastPort) {
        const std::string detail = text.isEmpty()
                                       ? std::string("No port was given.")
                                       : "'" + text.toStdString() + "' is not a valid port.";
        platform::ShowMessageBox(res::kTcpPortRange, detail);
        m_ui->edit1005->setFocus();
        m_ui->edit1005->selectAll();
        return;
    }
    m_nPort = port;
    m_nIdleSeconds = m_ui->spinIdleTimeout->value();
    m_bTakeover = m_ui->checkTakeover->isChecked();
    m_mode = static_cast<TcpMode>(m_ui->comboMode->currentData().toInt());
    QDialog::accept();
}
