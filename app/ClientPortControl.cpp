#include "app/ClientPortControl.h"

#include "app/ConnectionText.h"
#include "comm/CommPort2.h"

#include <string>
#include <utility>

namespace {

std::string LineText(const PortSettings& s)
{
    return std::to_string(s.m_dwBaudRate) + " / " + ParityLetter(s.m_byParity) + " / " +
           std::to_string(s.m_byDataBits) + " / " + StopBitsText(s.m_byStopBits);
}

bool SameFrame(const PortSettings& a, const PortSettings& b)
{
    return a.m_dwBaudRate == b.m_dwBaudRate && a.m_byDataBits == b.m_byDataBits && a.m_byParity == b.m_byParity &&
           a.m_byStopBits == b.m_byStopBits;
}

}  // namespace

CClientPortControl::CClientPortControl(CCommPort2* port, Hooks hooks) : m_pPort(port), m_hooks(std::move(hooks))
{
    m_breakEnd.setSingleShot(true);
    m_breakEnd.setInterval(kMaxBreakMs);
    m_breakEnd.callOnTimeout([this] { SetBreak(false); });
}

CClientPortControl::~CClientPortControl() = default;

net::ComPortLine CClientPortControl::LineOf(const PortSettings& s, bool breakOn)
{
    net::ComPortLine line;
    line.baud = s.m_dwBaudRate;
    line.dataSize = s.m_byDataBits;
    line.parity = static_cast<std::uint8_t>(s.m_byParity + 1);
    line.stopSize = s.m_byStopBits == 0 ? 1 : s.m_byStopBits == 1 ? 3 : 2;
    line.flow = s.m_bCtsOutFlow ? 3 : s.m_bXonXoffOut ? 2 : 1;
    line.inboundFlow = (s.m_nRtsControl & 3) == 2 ? 16 : s.m_bXonXoffIn ? 15 : 14;
    line.dtr = (s.m_nDtrControl & 3) != 0;
    line.rts = (s.m_nRtsControl & 3) != 0;
    line.breakOn = breakOn;
    return line;
}

PortSettings CClientPortControl::WithLine(PortSettings s, const net::ComPortLine& line)
{
    s.m_dwBaudRate = line.baud;
    s.m_byDataBits = line.dataSize;
    s.m_byParity = static_cast<std::uint8_t>(line.parity >= 1 && line.parity <= 5 ? line.parity - 1 : s.m_byParity);
    s.m_byStopBits = line.stopSize == 1 ? 0 : line.stopSize == 3 ? 1 : line.stopSize == 2 ? 2 : s.m_byStopBits;
    s.m_bCtsOutFlow = line.flow == 3;
    s.m_bXonXoffOut = line.flow == 2;
    s.m_bXonXoffIn = line.inboundFlow == 15;
    if (line.inboundFlow == 16)
        s.m_nRtsControl = 2;
    else if ((s.m_nRtsControl & 3) == 2 || (s.m_nRtsControl & 3) == 3 || ((s.m_nRtsControl & 3) != 0) != line.rts)
        s.m_nRtsControl = line.rts ? 1 : 0;
    if (((s.m_nDtrControl & 3) != 0) != line.dtr)
        s.m_nDtrControl = line.dtr ? 1 : 0;
    return s;
}

net::ComPortLine CClientPortControl::Line() const
{
    return LineOf(m_pPort->SettingsInForce(), m_bBreak);
}

void CClientPortControl::ApplyLine(const net::ComPortLine& wanted)
{
    if (wanted.breakOn != m_bBreak)
        SetBreak(wanted.breakOn);
    // A closed port's record is the user's to change, not the client's.
    const PortSettings before = m_pPort->Settings();
    const PortSettings settings = WithLine(before, wanted);
    if (settings == before || !m_pPort->IsOpen())
        return;
    if (!m_userSettings)
        m_userSettings = before;
    m_pPort->ApplySettings(settings);
    m_clientSettings = settings;
    const PortSettings after = m_pPort->SettingsInForce();
    if (!SameFrame(after, before) && m_hooks.reportEvent)
        m_hooks.reportEvent("TCP client set " + LineText(after));
    if (m_hooks.settingsChanged)
        m_hooks.settingsChanged();
}

std::uint8_t CClientPortControl::ModemState() const
{
    const int lines = m_pPort->ModemLines();
    return static_cast<std::uint8_t>(((lines & kLineCts) ? 0x10 : 0) | ((lines & kLineDsr) ? 0x20 : 0) |
                                     ((lines & kLineRing) ? 0x40 : 0) | ((lines & kLineCd) ? 0x80 : 0));
}

void CClientPortControl::Purge(std::uint8_t which)
{
    m_pPort->PurgeQueues((which & 1) != 0, (which & 2) != 0);
}

void CClientPortControl::SetBreak(bool on)
{
    // A pty takes no break; the answer is still the state asked for.
    m_pPort->SetBreak(on);
    m_bBreak = on;
    if (on)
        m_breakEnd.start();
    else
        m_breakEnd.stop();
}

void CClientPortControl::ClientGone()
{
    if (m_bBreak)
        SetBreak(false);
    if (!m_userSettings)
        return;
    const PortSettings user = *std::exchange(m_userSettings, std::nullopt);
    // Settings the user has changed since are theirs: they stay.
    if (user == m_pPort->Settings() || !(m_clientSettings == m_pPort->Settings()))
        return;
    m_pPort->ApplySettings(user);
    if (m_hooks.reportEvent)
        m_hooks.reportEvent("Port settings back to " + LineText(m_pPort->SettingsInForce()));
    if (m_hooks.settingsChanged)
        m_hooks.settingsChanged();
}
