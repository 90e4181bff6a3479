// The port settings applied to the open tty, and read back so a value the
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
    std::snprintf(m_szPortName, sizeof m_szPortName, "%s%u", "COM", m_settings.m_nPort + 1);
}

PortSettings CCommPort2::Settings() const
{
    PortSettings settings = m_settings;
    settings.m_dwEventMask = m_shared.m_dwEventMask.load();
    return settings;
}

bool CCommPort2::ApplySettings(const PortSettings& settings)
{
    const bool lineChanged = !Settings().SameLine(settings);
    m_settings = settings;
    if (settings.m_dwEventMask != m_shared.m_dwEventMask.load())
        SetEventMask(settings.m_dwEventMask);
    RefreshPortName();
    return !IsOpen() || !lineChanged || ApplyLineSettings();
}

bool CCommPort2::ApplyLineSettings()
{
    const int fd = m_shared.m_hPort.get();
    if (fd < 0)
        return false;  // nothing open: the record takes effect at the next open
    bool applied = true;

    TtyLineState current{};
    if (!ReadTtyLineState(fd, current))
        ReportCallFailure("GetCommState",
                          platform::DescribeLastFailure("Cannot read the line settings of", m_shared.m_strDevicePath));

    const LinePlan plan = PlanLineState(Settings(), current);
    if (!WriteTtyLineState(fd, plan.state)) {
        ReportCallFailure("SetCommState",
                          platform::DescribeLastFailure("Cannot apply the line settings to", m_shared.m_strDevicePath));
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

    if (m_shared.m_pLineControl && m_shared.m_pLineControl->SetModemLines(plan.raiseLines, plan.lowerLines) == LineResult::Failed) {
        ReportCallFailure("SetCommState",
                          platform::DescribeLastFailure("Cannot set RTS and DTR on", m_shared.m_strDevicePath));
        applied = false;
    }

    m_shared.m_chAppliedEvtChar.store(plan.eventChar);
    m_shared.m_bCtsOutFlowApplied.store(m_settings.m_bCtsOutFlow & 1);
    m_shared.m_bDsrOutFlowApplied.store(m_settings.m_bDsrOutFlow & 1);
    const TtyLineState& inForce = readBack && got.ospeed != 0 ? got : plan.state;
    m_shared.m_dwQuietMicros.store(BlockQuietMicros(m_settings.m_Timeouts.ReadIntervalTimeout, inForce));
    return applied;
}
