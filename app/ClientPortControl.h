#pragma once
// The serial port as an RFC 2217 client of the TCP bridge may set it: a
// copy of the engine's settings with the client's choice goes through the
// engine's front, is shown but never stored, and the user's own settings
// come back when the client leaves. A break the client starts ends by
// itself after kMaxBreakMs, so a client that goes silent cannot hold the
// line in break.

#include "comm/PortSettings.h"
#include "net/ComPortControl.h"

#include <QTimer>

#include <functional>
#include <optional>
#include <string_view>

class CCommPort2;

class CClientPortControl final : public net::ComPortDevice {
public:
    static constexpr int kMaxBreakMs = 1000;

    struct Hooks {
        std::function<void(std::string_view text)> reportEvent;
        std::function<void()> settingsChanged;  // the status bar's text
    };

    CClientPortControl(CCommPort2* port, Hooks hooks);
    ~CClientPortControl() override;
    CClientPortControl(const CClientPortControl&) = delete;
    CClientPortControl& operator=(const CClientPortControl&) = delete;

    net::ComPortLine Line() const override;
    void ApplyLine(const net::ComPortLine& wanted) override;
    void Purge(std::uint8_t which) override;
    std::uint8_t ModemState() const override;
    void ClientGone() override;

    // The same line in PortSettings' terms, over `base` (for the tests too).
    static PortSettings WithLine(PortSettings base, const net::ComPortLine& line);
    static net::ComPortLine LineOf(const PortSettings& settings, bool breakOn);

private:
    void SetBreak(bool on);

    CCommPort2* m_pPort;
    Hooks m_hooks;
    std::optional<PortSettings> m_userSettings;  // before the client's first change
    PortSettings m_clientSettings;               // the client's last change
    bool m_bBreak = false;
    QTimer m_breakEnd;
};
