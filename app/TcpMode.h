#pragma once
// What the TCP bridge speaks to its client: the bytes as they are, telnet
// (commands taken out, 0xFF doubled), or telnet with RFC 2217 port control.

#include <optional>
#include <string_view>

enum class TcpMode { Raw = 0, Telnet = 1, Rfc2217 = 2 };

inline const char* TcpModeName(TcpMode mode)
{
    switch (mode) {
    case TcpMode::Telnet: return "telnet";
    case TcpMode::Rfc2217: return "rfc2217";
    case TcpMode::Raw: break;
    }
    return "raw";
}

inline std::optional<TcpMode> ParseTcpMode(std::string_view text)
{
    for (TcpMode mode : {TcpMode::Raw, TcpMode::Telnet, TcpMode::Rfc2217})
        if (text == TcpModeName(mode))
            return mode;
    return std::nullopt;
}
