#include "comm/PortSettings.h"

#include "comm/PortTables.h"

std::vector<std::string> PortSettings::Problems() const
{
    std::vector<std::string> problems;
    auto check = [&](bool good, const char* what, std::uint32_t value) {
        if (!good)
            problems.push_back(what + std::to_string(value));
    };
    check(m_nPort < static_cast<std::uint32_t>(kPortTable.Count()), "port slot ", m_nPort + 1);
    check(m_dwBaudRate > 0, "baud rate ", m_dwBaudRate);
    check(m_byDataBits >= 4 && m_byDataBits <= 8, "data bits ", m_byDataBits);
    check(m_byParity <= 4, "parity code ", m_byParity);
    check(m_byStopBits <= 2, "stop-bit code ", m_byStopBits);
    return problems;
}

bool PortSettings::SameLine(const PortSettings& other) const
{
    PortSettings a = *this;
    PortSettings b = other;
    a.m_dwEventMask &= EV_RXFLAG;
    b.m_dwEventMask &= EV_RXFLAG;
    return a == b;
}
