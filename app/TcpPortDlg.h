#pragma once
// The TCP server's port dialog: one box that takes digits only. OK takes a
// port from 1 to 65535; anything else is refused with the valid range and
// the dialog stays open.

#include <QDialog>

#include <memory>

namespace Ui { class TcpPortDlg; }

class CTcpPortDlg : public QDialog {
    Q_OBJECT
public:
    explicit CTcpPortDlg(int port, QWidget* parent = nullptr);
    ~CTcpPortDlg() override;

    int m_nPort;  // the chosen port once the dialog ended with OK

public slots:
    void accept() override;

private:
    std::unique_ptr<Ui::TcpPortDlg> m_ui;
};
