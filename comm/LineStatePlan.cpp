#include "comm/LineStatePlan.h"

#include "comm/CommEvents.h"
#include "comm/TtyLineControl.h"

#include <termios.h>

#include <algorithm>

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

void Clear(std::uint32_t& flags, std::uint32_t bits) { flags &= ~bits; }

}  // namespace

LinePlan PlanLineState(const PortSettings& settings, const TtyLineState& current)
{
    LinePlan plan;
    TtyLineState& asked = plan.state;
    asked = current;

    // Raw bytes both ways: no echo, no line editing, no translation, no signals.
    Clear(asked.iflag, IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK |
                           IGNPAR | IUCLC | IMAXBEL);
    Clear(asked.oflag, OPOST);
    Clear(asked.lflag, ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    asked.cflag |= CREAD | CLOCAL;
    asked.cc[VMIN] = 1;  // with a non-blocking fd: EAGAIN when empty, 0 only at hang-up
    asked.cc[VTIME] = 0;

    if (settings.m_dwBaudRate == 0)
        plan.refused.push_back("0 baud");
    else
        SetTtySpeed(asked, settings.m_dwBaudRate);

    static constexpr std::uint32_t kSizes[] = {CS5, CS6, CS7, CS8};
    if (settings.m_byDataBits >= 5 && settings.m_byDataBits <= 8)
        asked.cflag = (asked.cflag & ~static_cast<std::uint32_t>(CSIZE)) | kSizes[settings.m_byDataBits - 5];
    else
        plan.refused.push_back(std::to_string(settings.m_byDataBits) + " data bits");

    Clear(asked.cflag, kParityBits);
    switch (settings.m_byParity) {
    case 0: break;
    case 1: asked.cflag |= PARENB | PARODD; break;
    case 2: asked.cflag |= PARENB; break;
    case 3: asked.cflag |= PARENB | CMSPAR | PARODD; break;
    case 4: asked.cflag |= PARENB | CMSPAR; break;
    default:
        asked.cflag |= current.cflag & kParityBits;
        plan.refused.push_back("parity code " + std::to_string(settings.m_byParity));
        break;
    }

    switch (settings.m_byStopBits) {
    case 0: Clear(asked.cflag, CSTOPB); break;
    case 2: asked.cflag |= CSTOPB; break;
    case 1:
        // A UART gives 1.5 stop bits for "two" only with 5-bit characters.
        if ((asked.cflag & CSIZE) == CS5)
            asked.cflag |= CSTOPB;
        else
            plan.refused.push_back("1.5 stop bits with " + std::to_string(DataBitsOf(asked.cflag)) + " data bits");
        break;
    default: plan.refused.push_back("stop-bit code " + std::to_string(settings.m_byStopBits)); break;
    }

    const unsigned rtsMode = settings.m_nRtsControl & 3;
    const unsigned dtrMode = settings.m_nDtrControl & 3;
    const bool ctsOut = settings.m_bCtsOutFlow & 1;
    // A tty has one switch for hardware flow control, both directions at once.
    if (ctsOut || rtsMode == 2)
        asked.cflag |= CRTSCTS;
    else
        Clear(asked.cflag, CRTSCTS);
    if (ctsOut != (rtsMode == 2))
        plan.refused.push_back("CTS/RTS flow control in one direction only");
    if (rtsMode == 3)
        plan.refused.push_back("RTS toggle");
    if (dtrMode == 2)
        plan.refused.push_back("DTR handshake");
    if (settings.m_bDsrOutFlow & 1)
        plan.refused.push_back("DSR output flow control");
    if (settings.m_bDsrSensitivity & 1)
        plan.refused.push_back("DSR sensitivity");
    if (settings.m_bXonXoffOut & 1)
        asked.iflag |= IXON;
    if (settings.m_bXonXoffIn & 1)
        asked.iflag |= IXOFF;
    asked.cc[VSTART] = static_cast<std::uint8_t>(settings.m_chXon);
    asked.cc[VSTOP] = static_cast<std::uint8_t>(settings.m_chXoff);

    // RTS and DTR held as the modes ask; handshake modes leave them to the driver.
    if (dtrMode == 1)
        plan.raiseLines |= kLineDtr;
    else if (dtrMode == 0)
        plan.lowerLines |= kLineDtr;
    if (rtsMode == 1)
        plan.raiseLines |= kLineRts;
    else if (rtsMode == 0)
        plan.lowerLines |= kLineRts;

    plan.eventChar = (settings.m_dwEventMask & EV_RXFLAG) ? static_cast<std::uint8_t>(settings.m_chFlag) : 0;
    return plan;
}

std::vector<std::string> LineStateMismatches(const TtyLineState& asked, const TtyLineState& got)
{
    std::vector<std::string> texts;
    auto mismatch = [&texts](const char* what, const std::string& wanted, const std::string& has) {
        texts.push_back(std::string("Device did not take ") + what + ": asked " + wanted + ", has " + has);
    };
    if (got.ospeed != asked.ospeed)
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
        mismatch("CTS/RTS flow control", (asked.cflag & CRTSCTS) ? "on" : "off", (got.cflag & CRTSCTS) ? "on" : "off");
    const std::uint32_t xonxoff = IXON | IXOFF;
    if ((got.iflag & xonxoff) != (asked.iflag & xonxoff))
        mismatch("XON/XOFF flow control", std::to_string(asked.iflag & xonxoff), std::to_string(got.iflag & xonxoff));
    return texts;
}

std::uint32_t BlockQuietMicros(std::uint32_t readIntervalMs, const TtyLineState& inForce)
{
    std::uint32_t halfAgain = 0;
    if (inForce.ospeed != 0) {
        // One character: start bit, data, parity, stop bits.
        const std::uint64_t bits = 1 + DataBitsOf(inForce.cflag) + ((inForce.cflag & PARENB) ? 1 : 0) +
                                   ((inForce.cflag & CSTOPB) ? 2 : 1);
        halfAgain = static_cast<std::uint32_t>(bits * 1000000ull / inForce.ospeed * 3 / 2);
    }
    const std::uint64_t interval = static_cast<std::uint64_t>(readIntervalMs) * 1000u;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(
        std::max<std::uint64_t>({interval, halfAgain, 1000u}), UINT32_MAX));
}
