#include "comm/PortShared.h"

#include "comm/CallFailure.h"
#include "platform/Diagnostic.h"
#include "platform/ErrorKind.h"

bool MeansDeviceGone(int error) { return platform::ClassifyError(error) == platform::ErrorKind::Gone; }

void PortShared::UpdateStatus(std::string_view text)
{
    m_statusQueue.Push(text);
    ghStatusMessageEvent.Set();
}

void PortShared::ReportEndingFailure(std::string_view fixedText, const std::string& cause, bool& shown)
{
    ReportCallFailure(fixedText, cause);
    if (shown)
        return;
    shown = true;
    UpdateStatus(cause + "\r\n");
}

void PortShared::SetDeviceGone()
{
    if (!m_bDeviceGone.exchange(true))
        m_hReaderWakeEvent.Set();
}

void PortShared::RaiseEvents(std::uint32_t events, bool wakeReader)
{
    // Like a driver's event wait: what is not watched at the moment is not recorded.
    const std::uint32_t watched = events & m_dwEventMask.load();
    if (watched == 0)
        return;
    m_dwRaisedEvents.fetch_or(watched);
    if (wakeReader)
        m_hReaderWakeEvent.Set();
}

void PortShared::PostWriteRoom()
{
    if (platform::MessageTarget* owner = m_pOwner.load(); owner && !owner->PostMessage(WM_WRITEROOM, 0, 0))
        platform::OutputDebugString("PostMessage (write room)");
}

void PortShared::RecordTraffic(support::TrafficDirection direction, std::int64_t firstNs,
                               std::int64_t lastNs, const std::uint8_t* bytes, std::size_t n)
{
    if (!HasTrafficRecorder())
        return;
    std::shared_ptr<support::TrafficRecorder> recorder;
    {
        std::lock_guard lock(m_trafficMutex);
        recorder = m_pTraffic;
    }
    if (recorder)
        recorder->Record(direction, firstNs, lastNs, bytes, n);
}

void PortShared::SetTrafficRecorder(std::shared_ptr<support::TrafficRecorder> recorder)
{
    std::lock_guard lock(m_trafficMutex);
    m_bHasTraffic.store(recorder != nullptr);
    m_pTraffic = std::move(recorder);
}
