// The reader/status thread: received blocks to the owner, port events to
// status texts, queued status texts to the owner. It sleeps in one poll() on
// the port and its events; every wait includes the exit event.

#include "comm/ReaderThread.h"

#include "comm/CallFailure.h"
#include "platform/Diagnostic.h"
#include "platform/PosixIo.h"
#include "platform/PostedPayload.h"
#include "platform/StampClock.h"
#include "platform/SystemError.h"

#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kIdleWait = std::chrono::milliseconds(500);
// Modem lines and counters have no wake-up of their own: they are sampled.
constexpr auto kLinePollInterval = std::chrono::milliseconds(20);
// Beyond this many undelivered texts, port events are merged rather than queued.
constexpr std::size_t kStatusBacklogForEvents = 64;
constexpr int kFullBlocksBeforePoll = 16;
constexpr std::uint32_t kLineEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING | EV_BREAK | EV_ERR;

int PollFor(pollfd* fds, nfds_t count, Clock::duration timeout)
{
    const auto micros = std::max<long long>(0, std::chrono::duration_cast<std::chrono::microseconds>(timeout).count());
    timespec ts{static_cast<time_t>(micros / 1000000), static_cast<long>((micros % 1000000) * 1000)};
    for (;;) {
        const int ready = ::ppoll(fds, count, &ts, nullptr);
        if (ready >= 0 || errno != EINTR)
            return ready;
    }
}

}  // namespace

bool ReaderThread::WatchingLines() const
{
    // A device that went away has no lines left to sample.
    if (m_shared.m_bDeviceGone.load())
        return false;
    const bool lines = (m_shared.m_dwEventMask.load() & kLineEvents) && (m_bModemLinesSupported || m_bCountersSupported);
    return lines || m_shared.m_bTxDrainPending.load();
}

void ReaderThread::Run()
{
    // The quiet time that ends a block is 1 ms; the kernel's default slack
    // of 50 µs on every timed wait would add to each block's delay.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    m_bReadFailureShown = false;
    m_nAheadAt = m_nAheadEnd = 0;  // nothing of an earlier opening
    m_bModemLinesSupported = true;
    m_bCountersSupported = true;
    m_bModemLinesKnown = false;
    m_bEventBaselineKnown = false;
    m_bErrorBaselineKnown = false;
    std::uint32_t maskGiven = 0xFFFFFFFF;
    std::uint32_t pendingEvents = 0;
    bool goneHandled = false;
    int fullBlocksInARow = 0;

    PollModemStatus();
    ClearLineErrors();

    auto idleDeadline = Clock::now() + kIdleWait;
    auto nextLinePoll = Clock::now() + kLinePollInterval;

    for (;;) {
        const std::uint32_t mask = m_shared.m_dwEventMask.load();
        if (mask != maskGiven) {
            // A new mask ends the event wait in progress with no event and
            // forgets what only the old one watched. Events the new mask
            // watches stay: a block read since the change raised them under it.
            const bool firstPass = maskGiven == 0xFFFFFFFF;
            maskGiven = mask;
            pendingEvents &= mask;
            m_shared.m_dwRaisedEvents.fetch_and(mask);
            SampleLineState(false);
            if (!firstPass)
                ReportCommEvent(0);
        }

        if (m_shared.m_bDeviceGone.load() && !goneHandled) {
            goneHandled = true;
            HandleDeviceGone();
        }

        pendingEvents |= m_shared.m_dwRaisedEvents.exchange(0);
        if (pendingEvents != 0 && m_shared.m_statusQueue.Size() < kStatusBacklogForEvents) {
            const std::uint32_t word = pendingEvents;
            pendingEvents = 0;
            ReportCommEvent(word);
            pendingEvents |= m_shared.m_dwRaisedEvents.exchange(0);
        }
        if (m_shared.m_statusQueue.Size() > 0)
            PostStatusMessages();

        // The port is read only into a packet the owner has handed back;
        // until then the bytes wait in the kernel.
        const bool watchPort = !goneHandled;
        short portEvents = 0;
        if (watchPort && (m_shared.m_RxRing.CurrentFree() || m_shared.m_RxRing.PrepareToWait()))
            portEvents = POLLIN;

        pollfd fds[4] = {
            {m_shared.ghThreadExitEvent.fd(), POLLIN, 0},
            {m_shared.ghStatusMessageEvent.fd(), POLLIN, 0},
            {m_shared.m_hReaderWakeEvent.fd(), POLLIN, 0},
            {watchPort ? m_shared.m_hPort.get() : -1, portEvents, 0},
        };
        auto deadline = idleDeadline;
        const bool watchingLines = WatchingLines();
        if (watchingLines)
            deadline = std::min(deadline, nextLinePoll);
        // Something recorded but held back behind the status backlog: look again soon.
        if (pendingEvents != 0)
            deadline = std::min(deadline, Clock::now() + kLinePollInterval);
        // Bytes already read wait for no readiness report: only a look at the events.
        if (portEvents != 0 && HasReadAhead())
            deadline = Clock::now();

        // While a flood keeps blocks full, read on without asking poll() first;
        // every few blocks poll() runs anyway so the events are never starved.
        if (portEvents != 0 && (fullBlocksInARow > 0 || HasReadAhead()) && fullBlocksInARow < kFullBlocksBeforePoll) {
            const std::uint32_t length = ReadBlock(m_shared.m_RxRing.Current());
            fullBlocksInARow = length == kMaxReceiveBlock ? fullBlocksInARow + 1 : 0;
            if (length > 0)
                continue;
        }
        fullBlocksInARow = 0;

        const int ready = PollFor(fds, 4, deadline - Clock::now());
        m_shared.m_nReaderWakeups.fetch_add(1, std::memory_order_relaxed);
        if (ready < 0) {
            ReportCallFailure("WaitForMultipleObjects (Reader)",
                              platform::DescribeLastFailure("Cannot wait for data and events on", m_shared.m_strDevicePath));
            PollFor(fds, 1, kIdleWait);  // no busy loop, still answering the exit event
        }

        if ((fds[3].revents & POLLIN) || (portEvents != 0 && HasReadAhead()))
            fullBlocksInARow = ReadBlock(m_shared.m_RxRing.Current()) == kMaxReceiveBlock ? 1 : 0;
        else if (fds[3].revents & (POLLHUP | POLLERR | POLLNVAL))
            m_shared.SetDeviceGone();
        if (fds[1].revents & POLLIN)
            m_shared.ghStatusMessageEvent.TryWait();
        if (fds[2].revents & POLLIN)
            m_shared.m_hReaderWakeEvent.TryWait();
        if (fds[0].revents & POLLIN)
            break;

        const auto now = Clock::now();
        if (ready > 0) {
            idleDeadline = now + kIdleWait;
        } else if (ready == 0 && now >= idleDeadline) {
            idleDeadline = now + kIdleWait;
            if (!goneHandled) {
                PollModemStatus();
                ClearLineErrors();
            }
        }
        // The deadline moves on whatever the sample finds, or the next
        // poll() would return at once, again and again.
        if (watchingLines && now >= nextLinePoll) {
            nextLinePoll = now + kLinePollInterval;
            PollModemStatus();
        }
    }
}

// Reads one block: what is there now, then more until the line has been
// quiet for the quiet time or 512 bytes are in.
std::uint32_t ReaderThread::ReadBlock(ReceivePacket* packet)
{
    std::memset(packet->data, 0, sizeof packet->data);
    const int fd = m_shared.m_hPort.get();
    std::uint32_t count = 0;
    const auto quiet = std::chrono::microseconds(m_shared.m_dwQuietMicros.load());
    for (;;) {
        if (HasReadAhead()) {
            const std::size_t take = std::min(m_nAheadEnd - m_nAheadAt, kMaxReceiveBlock - count);
            std::memcpy(packet->data + count, m_ahead.data() + m_nAheadAt, take);
            // Bytes read ahead carry the time of the read that brought them.
            packet->lastByteNs = m_nAheadReadNs;
            if (count == 0)
                packet->firstByteNs = m_nAheadReadNs;
            m_nAheadAt += take;
            count += static_cast<std::uint32_t>(take);
            if (count == kMaxReceiveBlock)
                break;
            continue;
        }
        const ssize_t got = platform::ReadRetry(fd, m_ahead.data(), m_ahead.size());
        if (got > 0) {
            m_bReadFailureShown = false;
            m_nAheadAt = 0;
            m_nAheadEnd = static_cast<std::size_t>(got);
            m_nAheadReadNs = platform::MonotonicNs();
            continue;
        }
        if (got == 0) {  // hang-up: with VMIN 1 an empty line gives EAGAIN, never 0
            m_shared.SetDeviceGone();
            break;
        }
        if (errno != EAGAIN) {
            if (MeansDeviceGone(errno))
                m_shared.SetDeviceGone();
            else
                m_shared.ReportEndingFailure("ReadFile in ReaderAndStatusProc",
                                    platform::DescribeLastFailure("Cannot read from", m_shared.m_strDevicePath),
                                    m_bReadFailureShown);
            break;
        }
        if (count == 0)
            break;  // woken with nothing to read after all
        pollfd wait[2] = {{fd, POLLIN, 0}, {m_shared.ghThreadExitEvent.fd(), POLLIN, 0}};
        const int ready = PollFor(wait, 2, quiet);
        if (ready <= 0 || (wait[1].revents & POLLIN))
            break;
        if (!(wait[0].revents & POLLIN)) {
            if (wait[0].revents & (POLLHUP | POLLERR | POLLNVAL))
                m_shared.SetDeviceGone();
            break;
        }
    }
    if (count > 0)
        DeliverPacket(count);
    return count;
}

void ReaderThread::DeliverPacket(std::uint32_t length)
{
    ReceivePacket* packet = m_shared.m_RxRing.Current();
    packet->length = length;
    m_shared.RecordTraffic(support::TrafficDirection::Received, packet->firstByteNs, packet->lastByteNs,
                           packet->data, length);

    std::uint32_t events = EV_RXCHAR;
    const std::uint32_t mask = m_shared.m_dwEventMask.load();
    if ((mask & EV_RXFLAG) && std::memchr(packet->data, m_shared.m_chAppliedEvtChar.load(), length) != nullptr)
        events |= EV_RXFLAG;
    m_shared.RaiseEvents(events, false);

    m_shared.m_RxRing.Lend();
    platform::MessageTarget* owner = m_shared.m_pOwner.load();
    if (owner == nullptr || !owner->PostMessage(WM_RXDATA, 0, platform::LendParam(packet)))
        m_shared.m_RxRing.Release(packet, m_shared.m_hReaderWakeEvent);
}

void ReaderThread::HandleDeviceGone()
{
    platform::OutputDebugString("Device gone: " + m_shared.m_strDevicePath);
    if (m_shared.m_bReportGone.load())
        m_shared.UpdateStatus("Device gone: " + m_shared.m_strDevicePath + "\r\n");
    // The text goes first so the owner has it before it closes the port.
    PostStatusMessages();
    if (platform::MessageTarget* owner = m_shared.m_pOwner.load())
        owner->PostMessage(WM_PORTGONE, 0, 0);
}
