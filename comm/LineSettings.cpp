// The settings record applied to the open tty, and read back so a value the
// device did not take is reported instead of silently changed.

#include "comm/CallFailure.h"
#include "comm/CommPort2.h"
#include "comm/LineStatePlan.h"
#include "platform/Diagnostic.h"
#include "platform/SystemError.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

void Report(CCommPort2& port, const std::string& text)
{
    platform::OutputDebugString(text);
    port.UpdateStatus(text + "\r\n");
}

}  // namespace

void CCommPort2::RefreshPortName()
{
    std::fill(std::begin(m_szPortName), std::end(m_szPortName), '\0');
    std::snprintf(m_szPortName, sizeof m_szPortName, "%s%u", "COM", m_nPort + 1);
    if (m_bConnected == 1)
        ApplyLineSettings();
}

LineSettingsRecord CCommPort2::LineSettings() const
{
    LineSettingsRecord record;
    record.baudRate = m_dwBaudRate;
    record.dataBits = m_byDataBits;
    record.parity = m_byParity;
    record.stopBits = m_byStopBits;
    record.rtsControl = m_nRtsControl;
    record.dtrControl = m_nDtrControl;
    record.ctsOutFlow = m_bCtsOutFlow;
    record.dsrOutFlow = m_bDsrOutFlow;
    record.dsrSensitivity = m_bDsrSensitivity;
    record.xonXoffOut = m_bXonXoffOut;
    record.xonXoffIn = m_bXonXoffIn;
    record.xonChar = static_cast<std::uint8_t>(m_chXon);
    record.xoffChar = static_cast<std::uint8_t>(m_chXoff);
    record.eventMask = m_dwEventMask.load();
    record.flagChar = static_cast<std::uint8_t>(m_chFlag);
    return record;
}

bool CCommPort2::ApplyLineSettings()
{
    const int fd = m_hPort.get();
    if (fd < 0)
        return false;  // nothing open: the record takes effect at the next open
    bool applied = true;

    TtyLineState current{};
    if (!ReadTtyLineState(fd, current))
        ReportCallFailure("GetCommState",
                          platform::DescribeLastFailure("Cannot read the line settings of", m_strDevicePath));

    const LinePlan plan = PlanLineState(LineSettings(), current);
    if (!WriteTtyLineState(fd, plan.state)) {
        ReportCallFailure("SetCommState",
                          platform::DescribeLastFailure("Cannot apply the line settings to", m_strDevicePath));
        applied = false;
    }

    if (!plan.refused.empty()) {
        std::string text = "Device cannot take ";
        for (std::size_t i = 0; i < plan.refused.size(); ++i)
            text += (i == 0 ? "" : ", ") + plan.refused[i];
        Report(*this, text);
    }
    TtyLineState got{};
    const bool readBack = ReadTtyLineState(fd, got);
    if (readBack) {
        for (const std::string& text : LineStateMismatches(plan.state, got))
            Report(*this, text);
    }

    if (m_pLineControl && m_pLineControl->SetModemLines(plan.raiseLines, plan.lowerLines) == LineResult::Failed) {
        ReportCallFailure("SetCommState",
                          platform::DescribeLastFailure("Cannot set RTS and DTR on", m_strDevicePath));
        applied = false;
    }

    m_chAppliedEvtChar.store(plan.eventChar);
    const TtyLineState& inForce = readBack && got.ospeed != 0 ? got : plan.state;
    m_dwQuietMicros.store(BlockQuietMicros(m_Timeouts.ReadIntervalTimeout, inForce));
    return applied;
}
