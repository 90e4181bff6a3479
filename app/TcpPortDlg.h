#pragma once
// The TCP server's dialog: the port in a box that takes digits only, the idle
// timeout, whether a new client takes over and what the bridge speaks. OK takes a port from 1 to
// 65535; anything else is refused with the valid range and the dialog stays
// open.

#include "app/TcpMode.h"

#include <QDialog>

#include <memory>
#include <string_view>

// Where the dialog's idle timeout and takeover choice are stored (the port is
// not: it is for this run).
inline constexpr std::string_view kTcpSection = "TcpServer";
inline constexpr std::string_view kTcpIdleTimeoutEntry = "IdleTimeout";
inline constexpr std::string_view kTcpTakeoverEntry = "Takeover";
inline constexpr std::string_view kTcpModeEntry = "Mode";  // 0 raw, 1 telnet, 2 rfc2217

namespace Ui { class TcpPortDlg; }

class CTcpPortDlg : public QDialog {
    Q_OBJECT
public:
    CTcpPortDlg(int port, int idleSeconds, bool takeover, TcpMode mode, QWidget* parent = nullptr);
    ~CTcpPortDlg() override;

    // The choices once the dialog ended with OK.
    int m_nPort;
    int m_nIdleSeconds;  // 0: no idle timeout
    bool m_bTakeover;
    TcpMode m_mode;

public slots:
    void accept() override;

private:
    std::unique_ptr<Ui::TcpPortDlg> m_ui;
};
