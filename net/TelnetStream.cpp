#include "net/TelnetStream.h"

#include <cstring>

namespace net {

TelnetStream::TelnetStream(bool comPort) : m_bComPort(comPort)
{
    m_us.fill(Q::No);
    m_him.fill(Q::No);
    m_sb.reserve(kMaxSubnegotiation);
}

bool TelnetStream::WeMay(std::uint8_t option) const
{
    return option == kOptBinary || option == kOptSuppressGoAhead || option == kOptEcho ||
           (m_bComPort && option == kOptComPort);
}

bool TelnetStream::TheyMay(std::uint8_t option) const
{
    return option == kOptBinary || option == kOptSuppressGoAhead || (m_bComPort && option == kOptComPort);
}

std::vector<std::uint8_t> TelnetStream::Greeting()
{
    // ECHO is only taken up when the client asks for it.
    m_us[kOptBinary] = Q::WantYes;
    m_him[kOptBinary] = Q::WantYes;
    m_us[kOptSuppressGoAhead] = Q::WantYes;
    return {kIac, kWill, kOptBinary, kIac, kDo, kOptBinary, kIac, kWill, kOptSuppressGoAhead};
}

void TelnetStream::Negotiate(std::uint8_t verb, std::uint8_t option, std::vector<std::uint8_t>& replies)
{
    const bool enable = verb == kWill || verb == kDo;
    const bool theirSide = verb == kWill || verb == kWont;
    Q& q = theirSide ? m_him[option] : m_us[option];
    const bool allowed = theirSide ? TheyMay(option) : WeMay(option);
    const std::uint8_t yes = theirSide ? kDo : kWill;
    const std::uint8_t no = theirSide ? kDont : kWont;
    auto send = [&](std::uint8_t answer) { replies.insert(replies.end(), {kIac, answer, option}); };

    // An answer to our own request is never answered again.
    if (enable) {
        switch (q) {
        case Q::No:
            if (allowed) {
                q = Q::Yes;
                send(yes);
            } else {
                bool& refused = theirSide ? m_refusedHim[option] : m_refusedUs[option];
                if (!refused)
                    send(no);
                refused = true;
            }
            break;
        case Q::Yes: break;
        case Q::WantNo: q = Q::No; break;  // they disagree with our no: stay off, say nothing
        case Q::WantYes: q = Q::Yes; break;
        }
    } else {
        switch (q) {
        case Q::No: break;
        case Q::Yes:
            q = Q::No;
            send(no);
            break;
        case Q::WantNo:
        case Q::WantYes: q = Q::No; break;
        }
    }
}

void TelnetStream::AfterIac(std::uint8_t b, std::vector<std::uint8_t>& data)
{
    if (b == kIac) {
        data.push_back(kIac);
        m_state = State::Data;
    } else if (b >= kWill) {
        m_verb = b;
        m_state = State::Verb;
    } else if (b == kSb) {
        m_state = State::SbOption;
    } else {
        // NOP, GA, AYT, IP and the other one-byte commands carry nothing
        // for a serial line.
        m_state = State::Data;
    }
}

void TelnetStream::Feed(const std::uint8_t* bytes, std::size_t length, std::vector<std::uint8_t>& data,
                        std::vector<std::uint8_t>& replies)
{
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t b = bytes[i];
        switch (m_state) {
        case State::Cr:
            m_state = State::Data;
            // Outside binary mode CR NUL stands for a lone CR.
            if (b == 0 && !TheyDo(kOptBinary))
                break;
            [[fallthrough]];
        case State::Data:
            if (b == kIac) {
                m_state = State::Iac;
            } else {
                data.push_back(b);
                if (b == '\r')
                    m_state = State::Cr;
            }
            break;
        case State::Iac:
            AfterIac(b, data);
            break;
        case State::Verb:
            Negotiate(m_verb, b, replies);
            m_state = State::Data;
            break;
        case State::SbOption:
            m_sbOption = b;
            m_sb.clear();
            m_state = State::SbData;
            break;
        case State::SbData:
            if (b == kIac) {
                m_state = State::SbIac;
            } else if (m_sb.size() < kMaxSubnegotiation) {
                m_sb.push_back(b);
            } else {
                // Too long to be anything we take: dropped, and what
                // follows is data again rather than swallowed.
                m_sb.clear();
                m_state = State::Data;
            }
            break;
        case State::SbIac:
            if (b == kIac) {
                m_state = State::SbData;
                if (m_sb.size() < kMaxSubnegotiation) {
                    m_sb.push_back(kIac);
                } else {
                    m_sb.clear();
                    m_state = State::Data;
                }
            } else if (b == kSe) {
                m_state = State::Data;
                if (m_handler)
                    m_handler(m_sbOption, m_sb.data(), m_sb.size());
                m_sb.clear();
            } else {
                // A subnegotiation cut short by another command: it is
                // dropped and the command taken as if it stood alone.
                m_sb.clear();
                AfterIac(b, data);
            }
            break;
        }
    }
}

void TelnetStream::Escape(const std::uint8_t* bytes, std::size_t length, std::vector<std::uint8_t>& out)
{
    // Runs without 0xFF are copied whole: under a flood this is the
    // device-to-client path's per-byte work.
    const std::uint8_t* at = bytes;
    const std::uint8_t* const end = bytes + length;
    while (at < end) {
        const auto* iac = static_cast<const std::uint8_t*>(std::memchr(at, kIac, static_cast<std::size_t>(end - at)));
        const std::uint8_t* runEnd = iac != nullptr ? iac + 1 : end;
        out.insert(out.end(), at, runEnd);
        if (iac != nullptr)
            out.push_back(kIac);
        at = runEnd;
    }
}

std::vector<std::uint8_t> TelnetStream::Subnegotiation(std::uint8_t option, const std::vector<std::uint8_t>& payload)
{
    std::vector<std::uint8_t> out{kIac, kSb, option};
    Escape(payload.data(), payload.size(), out);
    out.insert(out.end(), {kIac, kSe});
    return out;
}

}  // namespace net
