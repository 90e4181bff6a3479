// The engine's settings in RFC 2217 terms and back: what a client asks is
// what the engine is handed, and only what it asks changes.

#include "app/ClientPortControl.h"

#include <gtest/gtest.h>

namespace {

TEST(ClientPortControl, LineAndSettingsMapBothWays)
{
    PortSettings user;  // 9600 8N1, DTR and RTS on, no flow control
    const net::ComPortLine line = CClientPortControl::LineOf(user, false);
    EXPECT_EQ(line, net::ComPortLine{});
    EXPECT_EQ(CClientPortControl::WithLine(user, line), user) << "nothing asked, nothing changed";

    const struct {
        const char* what;
        net::ComPortLine asked;
        PortSettings expected;
    } rows[] = {
        {"7E2 at 115200", {115200, 7, 3, 2, 1, 14, true, true, false},
         [] { PortSettings s; s.m_dwBaudRate = 115200; s.m_byDataBits = 7; s.m_byParity = 2; s.m_byStopBits = 2; return s; }()},
        {"mark, 1.5 stop", {9600, 5, 4, 3, 1, 14, true, true, false},
         [] { PortSettings s; s.m_byDataBits = 5; s.m_byParity = 3; s.m_byStopBits = 1; return s; }()},
        {"space", {9600, 8, 5, 1, 1, 14, true, true, false}, [] { PortSettings s; s.m_byParity = 4; return s; }()},
        {"hardware flow", {9600, 8, 1, 1, 3, 16, true, true, false},
         [] { PortSettings s; s.m_bCtsOutFlow = 1; s.m_nRtsControl = 2; return s; }()},
        {"XON/XOFF", {9600, 8, 1, 1, 2, 15, true, true, false},
         [] { PortSettings s; s.m_bXonXoffOut = 1; s.m_bXonXoffIn = 1; return s; }()},
        {"DTR and RTS off", {9600, 8, 1, 1, 1, 14, false, false, false},
         [] { PortSettings s; s.m_nDtrControl = 0; s.m_nRtsControl = 0; return s; }()},
    };
    for (const auto& row : rows) {
        const PortSettings got = CClientPortControl::WithLine(user, row.asked);
        EXPECT_EQ(got, row.expected) << row.what;
        EXPECT_EQ(CClientPortControl::LineOf(got, false), row.asked) << row.what;
    }
}

}  // namespace
