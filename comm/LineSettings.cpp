// The settings record turned into the tty's line state, and read back so a
// value the device did not take is reported instead of silently changed.

#include "comm/CommPort2.h"
#include "comm/PortTables.h"
#include "platform/Diagnostic.h"

#include <termios.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

constexpr std::uint32_t kParityBits = PARENB | PARODD | CMSPAR;

const char* ParityName(std::uint32_t cflag)
{
    if (!(cflag & PARENB))
        return "No";
    if (cflag & CMSPAR)
        return (cflag & PARODD) ? "Mark" : "Space";
    return (cflag & PARODD) ? "Odd" : "Even";
}

unsigned DataBitsOf(std::uint32_t cflag)
{
    switch (cflag & CSIZE) {
    case CS5: return 5;
    case CS6: return 6;
    case CS7: return 7;
    default: return 8;
    }
}

void Report(CCommPort2& port, const std::string& text)
{
    platform::OutputDebugString(text);
    port.UpdateStatus(text + "\r\n");
}

// Line time of one character in microseconds: start bit, data, parity, stop bits.
std::uint32_t CharacterMicros(std::uint32_t baud, unsigned dataBits, bool parity, unsigned stopBits)
{
    if (baud == 0)
        return 0;
    const std::uint64_t bits = 1 + dataBits + (parity ? 1 : 0) + stopBits;
    return static_cast<std::uint32_t>(bits * 1000000ull / baud);
}

}  // namespace

void CCommPort2::RefreshPortName()
{
    std::fill(std::begin(m_szPortName), std::end(m_szPortName), '\0');
    std::snprintf(m_szPortName, sizeof m_szPortName, "%s%u", "COM", m_nPort + 1);
    if (m_bConnected == 1)
        ApplyLineSettings();
}

bool CCommPort2::ApplyLineSettings()
{
    const int fd = m_hPort.get();
    if (fd < 0)
        return true;

    TtyLineState current{};
    if (!ReadTtyLineState(fd, current))
        platform::OutputDebugString("GetCommState");

    TtyLineState asked = current;
    std::string refused;  // what no tty setting can express
    auto refuse = [&refused](const std::string& what) {
        refused += refused.empty() ? what : ", " + what;
    };

    // Raw bytes both ways: no echo, no line editing, no translation, no signals.
    asked.iflag &= ~static_cast<std::uint32_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                               IXON | IXOFF | IXANY | INPCK | IGNPAR | IUCLC | IMAXBEL);
    asked.oflag &= ~static_cast<std::uint32_t>(OPOST);
    asked.lflag &= ~static_cast<std::uint32_t>(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    asked.cflag |= CREAD | CLOCAL;
    asked.cc[VMIN] = 1;  // with a non-blocking fd: EAGAIN when empty, 0 only at hang-up
    asked.cc[VTIME] = 0;

    if (m_dwBaudRate == 0)
        refuse("0 baud");
    else
        SetTtySpeed(asked, m_dwBaudRate);

    static constexpr std::uint32_t kSizes[] = {CS5, CS6, CS7, CS8};
    if (m_byDataBits >= 5 && m_byDataBits <= 8) {
        asked.cflag = (asked.cflag & ~static_cast<std::uint32_t>(CSIZE)) | kSizes[m_byDataBits - 5];
    } else {
        refuse(std::to_string(m_byDataBits) + " data bits");
    }

    asked.cflag &= ~kParityBits;
    switch (m_byParity) {
    case 0: break;
    case 1: asked.cflag |= PARENB | PARODD; break;
    case 2: asked.cflag |= PARENB; break;
    case 3: asked.cflag |= PARENB | CMSPAR | PARODD; break;
    case 4: asked.cflag |= PARENB | CMSPAR; break;
    default:
        asked.cflag |= current.cflag & kParityBits;
        refuse("parity code " + std::to_string(m_byParity));
        break;
    }

    switch (m_byStopBits) {
    case 0: asked.cflag &= ~static_cast<std::uint32_t>(CSTOPB); break;
    case 2: asked.cflag |= CSTOPB; break;
    case 1:
        // A UART gives 1.5 stop bits for "two" only with 5-bit characters.
        if ((asked.cflag & CSIZE) == CS5)
            asked.cflag |= CSTOPB;
        else
            refuse("1.5 stop bits with " + std::to_string(DataBitsOf(asked.cflag)) + " data bits");
        break;
    default: refuse("stop-bit code " + std::to_string(m_byStopBits)); break;
    }

    const unsigned rtsMode = m_nRtsControl & 3;
    const unsigned dtrMode = m_nDtrControl & 3;
    if ((m_bCtsOutFlow & 1) || rtsMode == 2)
        asked.cflag |= CRTSCTS;
    else
        asked.cflag &= ~static_cast<std::uint32_t>(CRTSCTS);
    if ((m_bCtsOutFlow & 1) != (rtsMode == 2 ? 1u : 0u))
        refuse("CTS/RTS flow control in one direction only");
    if (rtsMode == 3)
        refuse("RTS toggle");
    if (dtrMode == 2)
        refuse("DTR handshake");
    if (m_bDsrOutFlow & 1)
        refuse("DSR output flow control");
    if (m_bDsrSensitivity & 1)
        refuse("DSR sensitivity");
    if (m_bXonXoffOut & 1)
        asked.iflag |= IXON;
    if (m_bXonXoffIn & 1)
        asked.iflag |= IXOFF;
    asked.cc[VSTART] = static_cast<std::uint8_t>(m_chXon);
    asked.cc[VSTOP] = static_cast<std::uint8_t>(m_chXoff);

    if (!WriteTtyLineState(fd, asked))
        platform::OutputDebugString("SetCommState");

    TtyLineState got{};
    if (ReadTtyLineState(fd, got))
        ReportLineMismatches(asked, got, refused);
    else if (!refused.empty())
        Report(*this, "Device cannot take " + refused);

    // RTS and DTR as the modes ask; a tty without modem lines has nothing to set.
    if (m_pLineControl) {
        int raise = 0;
        int lower = 0;
        if (dtrMode == 1)
            raise |= kLineDtr;
        else if (dtrMode == 0)
            lower |= kLineDtr;
        if (rtsMode == 1)
            raise |= kLineRts;
        else if (rtsMode == 0)
            lower |= kLineRts;
        if (m_pLineControl->SetModemLines(raise, lower) == LineResult::Failed)
            platform::OutputDebugString("SetCommState");
    }

    const std::uint32_t mask = m_dwEventMask.load();
    m_chAppliedEvtChar.store((mask & EV_RXFLAG) ? static_cast<std::uint8_t>(m_chFlag) : 0);

    const TtyLineState& inForce = got.ospeed != 0 ? got : asked;
    const std::uint32_t stopBits = (inForce.cflag & CSTOPB) ? 2 : 1;
    const std::uint32_t halfAgain =
        CharacterMicros(inForce.ospeed, DataBitsOf(inForce.cflag), inForce.cflag & PARENB, stopBits) * 3 / 2;
    m_dwQuietMicros.store(std::max(m_Timeouts.ReadIntervalTimeout * 1000u, std::max(halfAgain, 1000u)));
    return true;
}

void CCommPort2::ReportLineMismatches(const TtyLineState& asked, const TtyLineState& got,
                                      const std::string& refused)
{
    if (!refused.empty())
        Report(*this, "Device cannot take " + refused);

    auto mismatch = [this](const char* what, const std::string& wanted, const std::string& has) {
        Report(*this, std::string("Device did not take ") + what + ": asked " + wanted + ", has " + has);
    };
    if (m_dwBaudRate != 0 && got.ospeed != asked.ospeed)
        mismatch("baud rate", std::to_string(asked.ospeed), std::to_string(got.ospeed));
    if ((got.cflag & CSIZE) != (asked.cflag & CSIZE))
        mismatch("data bits", std::to_string(DataBitsOf(asked.cflag)), std::to_string(DataBitsOf(got.cflag)));
    // Without parity the odd/mark bits mean nothing, whatever the driver keeps of them.
    const std::uint32_t parityCompared = (asked.cflag & PARENB) ? kParityBits : PARENB;
    if ((got.cflag & parityCompared) != (asked.cflag & parityCompared))
        mismatch("parity", ParityName(asked.cflag), ParityName(got.cflag));
    if ((got.cflag & CSTOPB) != (asked.cflag & CSTOPB))
        mismatch("stop bits", (asked.cflag & CSTOPB) ? "2" : "1", (got.cflag & CSTOPB) ? "2" : "1");
    if ((got.cflag & CRTSCTS) != (asked.cflag & CRTSCTS))
        mismatch("CTS/RTS flow control", (asked.cflag & CRTSCTS) ? "on" : "off",
                 (got.cflag & CRTSCTS) ? "on" : "off");
    const std::uint32_t xonxoff = IXON | IXOFF;
    if ((got.iflag & xonxoff) != (asked.iflag & xonxoff))
        mismatch("XON/XOFF flow control", std::to_string(asked.iflag & xonxoff), std::to_string(got.iflag & xonxoff));
}
