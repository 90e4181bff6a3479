// What is done to and read from the open tty outside its settings: a
// break, throwing away what waits in the driver, the framing in force.

#include "comm/CallFailure.h"
#include "comm/CommPort2.h"
#include "comm/Termios2.h"
#include "platform/SystemError.h"

#include <sys/ioctl.h>
#include <termios.h>

bool CCommPort2::SetBreak(bool on)
{
    const int fd = m_shared.m_hPort.get();
    if (fd < 0)
        return false;
    if (::ioctl(fd, on ? TIOCSBRK : TIOCCBRK) == 0)
        return true;
    ReportCallFailure(on ? "SetCommBreak" : "ClearCommBreak",
                      platform::DescribeLastFailure("Cannot change the break state of", m_shared.m_strDevicePath));
    return false;
}

bool CCommPort2::PurgeQueues(bool input, bool output)
{
    const int fd = m_shared.m_hPort.get();
    if (fd < 0 || (!input && !output))
        return false;
    if (::tcflush(fd, input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH) == 0)
        return true;
    ReportCallFailure("PurgeComm", platform::DescribeLastFailure("Cannot purge", m_shared.m_strDevicePath));
    return false;
}

PortSettings CCommPort2::SettingsInForce() const
{
    PortSettings settings = Settings();
    const int fd = m_shared.m_hPort.get();
    TtyLineState got{};
    if (fd < 0 || !ReadTtyLineState(fd, got))
        return settings;
    if (got.ospeed != 0)
        settings.m_dwBaudRate = got.ospeed;
    switch (got.cflag & CSIZE) {
    case CS5: settings.m_byDataBits = 5; break;
    case CS6: settings.m_byDataBits = 6; break;
    case CS7: settings.m_byDataBits = 7; break;
    default: settings.m_byDataBits = 8; break;
    }
    if (!(got.cflag & PARENB))
        settings.m_byParity = 0;
    else if (got.cflag & CMSPAR)
        settings.m_byParity = (got.cflag & PARODD) ? 3 : 4;
    else
        settings.m_byParity = (got.cflag & PARODD) ? 1 : 2;
    // One and a half stop bits is CSTOPB on a 5-bit line.
    if (!(got.cflag & CSTOPB))
        settings.m_byStopBits = 0;
    else if (settings.m_byStopBits == 0)
        settings.m_byStopBits = 2;
    return settings;
}

int CCommPort2::ModemLines() const
{
    int lines = 0;
    if (m_shared.m_hPort.get() < 0 || !m_shared.m_pLineControl ||
        m_shared.m_pLineControl->GetModemLines(lines) != LineResult::Ok)
        return 0;
    return lines;
}
