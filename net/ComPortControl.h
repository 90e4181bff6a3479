#pragma once
// The server side of the telnet COM-PORT-OPTION (RFC 2217): a client's
// subnegotiation in, the server's reply out (its command code plus 100).
// Every request is answered with what the port has afterwards, so a value
// the device refused comes back as the one it kept; a value of 0 only asks.
// The port is reached through ComPortDevice, which keeps this testable
// without a serial engine. Plain C++: no sockets, no Qt.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace net {

// A port's line as RFC 2217 names it.
struct ComPortLine {
    std::uint32_t baud = 9600;
    std::uint8_t dataSize = 8;   // 5..8
    std::uint8_t parity = 1;     // 1 none, 2 odd, 3 even, 4 mark, 5 space
    std::uint8_t stopSize = 1;   // 1 one, 2 two, 3 one and a half
    std::uint8_t flow = 1;       // outbound: 1 none, 2 XON/XOFF, 3 hardware
    std::uint8_t inboundFlow = 14;  // 14 none, 15 XON/XOFF, 16 hardware
    bool dtr = true;
    bool rts = true;
    bool breakOn = false;
    bool operator==(const ComPortLine&) const = default;
};

class ComPortDevice {
public:
    virtual ~ComPortDevice() = default;
    // What the port has now.
    virtual ComPortLine Line() const = 0;
    // Asks for `wanted`; the device keeps what it can (read back with Line()).
    virtual void ApplyLine(const ComPortLine& wanted) = 0;
    // Modem state bits as NOTIFY-MODEMSTATE sends them (CD 0x80, RI 0x40,
    // DSR 0x20, CTS 0x10); 0 where the device has no lines.
    virtual std::uint8_t ModemState() const { return 0; }
    // 1: receive buffer, 2: transmit buffer, 3: both.
    virtual void Purge(std::uint8_t which) = 0;
    // The client has gone: what it changed is undone.
    virtual void ClientGone() {}
};

class ComPortControl {
public:
    static constexpr std::uint8_t kSignature = 0, kSetBaudRate = 1, kSetDataSize = 2, kSetParity = 3,
                                  kSetStopSize = 4, kSetControl = 5, kNotifyLineState = 6,
                                  kNotifyModemState = 7, kFlowControlSuspend = 8, kFlowControlResume = 9,
                                  kSetLineStateMask = 10, kSetModemStateMask = 11, kPurgeData = 12;
    static constexpr std::uint8_t kServerOffset = 100;

    ComPortControl(ComPortDevice& device, std::string signature)
        : m_device(device), m_strSignature(std::move(signature)) {}

    // One subnegotiation's payload (after the option byte); returns the
    // reply payloads, each to be sent as its own subnegotiation (none for a
    // request RFC 2217 gives no answer, or one not understood).
    std::vector<std::vector<std::uint8_t>> Handle(const std::uint8_t* payload, std::size_t length);

    // While the client has asked us to hold serial data (FLOWCONTROL-SUSPEND).
    bool Suspended() const { return m_bSuspended; }
    // A modem state notice owed: the first one asked for, then one each time
    // the masked bits change; empty otherwise.
    std::vector<std::uint8_t> ModemStateNotice();

private:
    std::vector<std::uint8_t> Control(std::uint8_t value);

    ComPortDevice& m_device;
    std::string m_strSignature;
    bool m_bSuspended = false;
    std::uint8_t m_lineStateMask = 0;
    std::uint8_t m_modemStateMask = 255;
    std::uint8_t m_lastModemState = 0;
    bool m_bModemStateSent = false;  // the client knows the lines' state
};

}  // namespace net
