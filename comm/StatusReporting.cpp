// The reader's status texts: delivery to the owner, and the texts made from
// port events, line errors and the port's hold flags and queue counts.

#include "comm/ReaderThread.h"

#include "comm/CallFailure.h"
#include "platform/Diagnostic.h"
#include "platform/PostedPayload.h"
#include "platform/SystemError.h"

#include <cerrno>

void ReaderThread::PostStatusMessages()
{
    for (;;) {
        // Closing: what is left stays queued for the next reader thread.
        if (m_shared.ghThreadExitEvent.TryWait())
            return;
        std::optional<std::string> text = m_shared.m_statusQueue.Front();
        if (!text)
            return;
        if (platform::MessageTarget* owner = m_shared.m_pOwner.load()) {
            // Every post buffer still with the owner: wait for one to come back.
            if (!m_shared.m_StatusPost.CurrentFree() && !m_shared.m_StatusPost.PrepareToWait())
                return;
            StatusPostBuffer* post = m_shared.m_StatusPost.Current();
            CopyStatusText(*text, post->text, sizeof post->text);
            m_shared.m_StatusPost.Lend();
            if (!owner->PostMessage(WM_STATUSTEXT, 0, platform::LendParam(post)))
                m_shared.m_StatusPost.Release(post, m_shared.m_hReaderWakeEvent);
        }
        m_shared.m_statusQueue.Pop();
    }
}

void ReaderThread::ReportCommEvent(std::uint32_t eventWord)
{
    m_shared.UpdateStatus(CommEventText(eventWord));
    if (eventWord & EV_ERR)
        ReportLineErrors();
    PollModemStatus();
    if (!(eventWord & EV_ERR))
        ClearLineErrors();
}

bool ReaderThread::ReadComStat(std::uint32_t& errors, ComStat& status, std::string& failure)
{
    errors = 0;
    status = ComStat{};
    failure.clear();
    if (!m_shared.m_pLineControl)
        return false;
    // The first failure is the one worth telling; a device gone fails them all.
    auto failed = [&](const char* action) {
        const int error = errno;
        if (failure.empty())
            failure = platform::DescribeFailure(action, m_shared.m_strDevicePath, error);
        if (MeansDeviceGone(error))
            m_shared.SetDeviceGone();
    };
    if (m_bCountersSupported) {
        LineCounters now{};
        const LineResult result = m_shared.m_pLineControl->GetCounters(now);
        if (result == LineResult::Ok) {
            if (m_bErrorBaselineKnown) {
                const LineCounters& was = m_errorBaseline;
                if (now.frame != was.frame)
                    errors |= CE_FRAME;
                if (now.overrun != was.overrun)
                    errors |= CE_OVERRUN;
                if (now.parity != was.parity)
                    errors |= CE_RXPARITY;
                if (now.brk != was.brk)
                    errors |= CE_BREAK;
                if (now.bufferOverrun != was.bufferOverrun)
                    errors |= CE_RXOVER;
            }
            m_errorBaseline = now;
            m_bErrorBaselineKnown = true;
        } else if (result == LineResult::Unsupported) {
            m_bCountersSupported = false;
        } else {
            failed("Cannot read the error counters of");
        }
    }
    if (m_shared.m_pLineControl->GetInputQueued(status.cbInQue) == LineResult::Failed)
        failed("Cannot read the input queue count of");
    if (m_shared.m_pLineControl->GetOutputQueued(status.cbOutQue) == LineResult::Failed)
        failed("Cannot read the output queue count of");
    if (m_bModemLinesKnown) {
        status.fCtsHold = m_shared.m_bCtsOutFlowApplied.load() && !(m_nLastModemLines & kLineCts);
        status.fDsrHold = m_shared.m_bDsrOutFlowApplied.load() && !(m_nLastModemLines & kLineDsr);
    }
    return failure.empty();
}

void ReaderThread::ReportLineErrors()
{
    std::uint32_t errors = 0;
    ComStat status;
    std::string failure;
    if (!ReadComStat(errors, status, failure)) {
        // No values to trust: say so to the developer and report nothing.
        if (!failure.empty())
            ReportCallFailure("ClearCommError", failure);
        return;
    }
    if (errors != 0)
        m_shared.UpdateStatus(LineErrorText(errors));
    for (const std::string& text : ComStatTexts(status))
        m_shared.UpdateStatus(text);
}

void ReaderThread::ClearLineErrors()
{
    if (m_shared.m_bDeviceGone.load())
        return;
    std::uint32_t errors = 0;
    ComStat status;
    std::string failure;
    if (!ReadComStat(errors, status, failure) && !failure.empty())
        ReportCallFailure("ClearCommError", failure);
}

void ReaderThread::PollModemStatus() { SampleLineState(true); }

// Modem lines and interrupt counters compared with the last sample; a change
// is the event. A driver without them is asked once and then left alone.
void ReaderThread::SampleLineState(bool raiseEvents)
{
    if (!m_shared.m_pLineControl || m_shared.m_bDeviceGone.load())
        return;
    std::uint32_t events = 0;
    const std::uint32_t mask = m_shared.m_dwEventMask.load();
    if (m_bModemLinesSupported) {
        int lines = 0;
        const LineResult result = m_shared.m_pLineControl->GetModemLines(lines);
        if (result == LineResult::Ok) {
            if (m_bModemLinesKnown) {
                const int changed = lines ^ m_nLastModemLines;
                if (changed & kLineCts)
                    events |= EV_CTS;
                if (changed & kLineDsr)
                    events |= EV_DSR;
                if (changed & kLineCd)
                    events |= EV_RLSD;
                if (changed & kLineRing)
                    events |= EV_RING;
            }
            m_nLastModemLines = lines;
            m_bModemLinesKnown = true;
        } else if (result == LineResult::Unsupported) {
            m_bModemLinesSupported = false;
        } else {
            const int error = errno;
            ReportCallFailure("GetCommModemStatus",
                              platform::DescribeFailure("Cannot read the modem lines of", m_shared.m_strDevicePath, error));
            if (MeansDeviceGone(error)) {
                m_shared.SetDeviceGone();
                return;
            }
        }
    }
    if (m_bCountersSupported && (mask & (EV_BREAK | EV_ERR | EV_CTS | EV_DSR | EV_RLSD | EV_RING))) {
        LineCounters now{};
        const LineResult result = m_shared.m_pLineControl->GetCounters(now);
        if (result == LineResult::Ok) {
            // Counters also catch a pulse shorter than the sampling interval.
            if (m_bEventBaselineKnown) {
                const LineCounters& was = m_eventBaseline;
                if (now.cts != was.cts)
                    events |= EV_CTS;
                if (now.dsr != was.dsr)
                    events |= EV_DSR;
                if (now.cd != was.cd)
                    events |= EV_RLSD;
                if (now.ring != was.ring)
                    events |= EV_RING;
                if (now.brk != was.brk)
                    events |= EV_BREAK;
                if (now.frame != was.frame || now.overrun != was.overrun || now.parity != was.parity ||
                    now.bufferOverrun != was.bufferOverrun)
                    events |= EV_ERR;
            }
            m_eventBaseline = now;
            m_bEventBaselineKnown = true;
        } else if (result == LineResult::Unsupported) {
            m_bCountersSupported = false;
        }
    }
    if (m_shared.m_bTxDrainPending.load()) {
        std::uint32_t queued = 0;
        const LineResult result = m_shared.m_pLineControl->GetOutputQueued(queued);
        if (result != LineResult::Ok || queued == 0) {
            m_shared.m_bTxDrainPending.store(false);
            events |= EV_TXEMPTY;
        }
    }
    if (raiseEvents && events != 0)
        m_shared.RaiseEvents(events, false);
}
