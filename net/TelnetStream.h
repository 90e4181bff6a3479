#pragma once
// The telnet layer of one client connection (RFC 854, option negotiation as
// in RFC 1143): bytes from the client come out as the data they carry, with
// every command taken out, plus the answers owed to the client. Only what a
// serial bridge needs is agreed to; everything else is refused once and never
// argued about, so two sides can never loop. Plain C++: no sockets, no Qt.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace net {

class TelnetStream {
public:
    static constexpr std::uint8_t kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251;
    static constexpr std::uint8_t kSb = 250, kSe = 240;
    static constexpr std::uint8_t kOptBinary = 0, kOptEcho = 1, kOptSuppressGoAhead = 3, kOptComPort = 44;
    // A longer subnegotiation is dropped (and the stream goes on as data).
    static constexpr std::size_t kMaxSubnegotiation = 256;

    using SubnegotiationHandler = std::function<void(std::uint8_t option, const std::uint8_t* data, std::size_t length)>;

    // `comPort`: COM-PORT-OPTION is agreed to both ways (RFC 2217).
    explicit TelnetStream(bool comPort = false);

    // What the server offers when a client connects.
    std::vector<std::uint8_t> Greeting();
    // Takes bytes from the client: their data are added to `data`, the
    // answers owed to `replies`; whole subnegotiations go to the handler.
    void Feed(const std::uint8_t* bytes, std::size_t length, std::vector<std::uint8_t>& data,
              std::vector<std::uint8_t>& replies);
    void SetSubnegotiationHandler(SubnegotiationHandler handler) { m_handler = std::move(handler); }

    // True once both sides agreed on the option for that side.
    bool WeDo(std::uint8_t option) const { return m_us[option] == Q::Yes; }
    bool TheyDo(std::uint8_t option) const { return m_him[option] == Q::Yes; }

    // Serial bytes for the client: every 0xFF doubled.
    static void Escape(const std::uint8_t* bytes, std::size_t length, std::vector<std::uint8_t>& out);
    // IAC SB option <payload, escaped> IAC SE.
    static std::vector<std::uint8_t> Subnegotiation(std::uint8_t option, const std::vector<std::uint8_t>& payload);

private:
    enum class Q : std::uint8_t { No, Yes, WantNo, WantYes };
    enum class State : std::uint8_t { Data, Cr, Iac, Verb, SbOption, SbData, SbIac };

    bool WeMay(std::uint8_t option) const;
    bool TheyMay(std::uint8_t option) const;
    void Negotiate(std::uint8_t verb, std::uint8_t option, std::vector<std::uint8_t>& replies);
    // The byte after an IAC, outside a subnegotiation.
    void AfterIac(std::uint8_t b, std::vector<std::uint8_t>& data);

    bool m_bComPort;
    State m_state = State::Data;
    std::uint8_t m_verb = 0;
    std::uint8_t m_sbOption = 0;
    std::vector<std::uint8_t> m_sb;
    std::array<Q, 256> m_us{};   // our side: WILL/WONT
    std::array<Q, 256> m_him{};  // the client's side: DO/DONT
    // Refused once already: later requests for it are ignored.
    std::array<bool, 256> m_refusedUs{};
    std::array<bool, 256> m_refusedHim{};
    SubnegotiationHandler m_handler;
};

}  // namespace net
