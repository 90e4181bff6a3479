// The writer thread: drains the write-request queue in order, one write at a
// time, waiting for room on the line together with the exit event.

#include "comm/WriterThread.h"

#include "comm/CallFailure.h"
#include "platform/Diagnostic.h"
#include "platform/PosixIo.h"
#include "platform/StampClock.h"
#include "platform/SystemError.h"

#include <poll.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

namespace {

// Consecutive blocks go to the line in one writev(): the bytes and their
// order are the same, the system calls far fewer under a steady stream.
constexpr std::size_t kBlocksPerWrite = 16;

}  // namespace

void WriterThread::Run()
{
    m_bWriteFailureShown = false;
    for (;;) {
        const platform::WaitResult woke = platform::WaitForEvents(
            {&m_shared.ghThreadExitEvent, &m_shared.m_hWriterEvent}, {}, std::chrono::milliseconds(500));
        if (woke.kind == platform::WaitResult::EventSignalled && woke.index == 0)
            break;
        if (woke.kind == platform::WaitResult::EventSignalled)
            ProcessWriteRequests();
        else if (woke.kind == platform::WaitResult::Failed) {
            ReportCallFailure("WaitForMultipleObjects (Writer)",
                              platform::DescribeLastFailure("Cannot wait for write requests for", m_shared.m_strDevicePath));
            m_shared.ghThreadExitEvent.Wait(std::chrono::milliseconds(500));  // no busy loop
        }
    }
}

void WriterThread::ProcessWriteRequests()
{
    bool wrote = false;
    while (WriteRequest* request = m_shared.m_writeQueue.Front()) {
        switch (request->kind) {
        case SingleChar:
            WriterGeneric(&request->character, 1);
            wrote = true;
            break;
        case FileBlock:
            WriterGeneric(request->fileBuffer.get(), request->size);
            wrote = true;
            if (request->window && !request->window->PostMessage(WM_FILEBLOCKDONE, 0, 0))
                platform::OutputDebugString("PostMessage (file transfer status)");
            {
                std::lock_guard lock(m_shared.m_csTransferBuffers);
                request->fileBuffer.reset();
            }
            break;
        case FileStart:
            break;
        case FileEnd:
            if (!m_shared.m_hTransferDoneEvent.Set())
                ReportCallFailure("SetEvent (transfer complete event)",
                                  platform::DescribeLastFailure("Cannot signal the end of a transfer on", m_shared.m_strDevicePath));
            break;
        case Abort: {
            const int dropped = m_shared.m_writeQueue.DiscardAfterFront();
            platform::OutputDebugString(std::to_string(dropped) + " packets ignored.\n");
            if (!m_shared.m_hTransferDoneEvent.Set())
                ReportCallFailure("SetEvent (transfer complete event)",
                                  platform::DescribeLastFailure("Cannot signal the end of a transfer on", m_shared.m_strDevicePath));
            break;
        }
        case Block: {
            WriteRequest* blocks[kBlocksPerWrite];
            iovec pieces[kBlocksPerWrite];
            const std::size_t count = m_shared.m_writeQueue.FrontBlocks(blocks, kBlocksPerWrite);
            for (std::size_t i = 0; i < count; ++i)
                pieces[i] = {blocks[i]->block, blocks[i]->size};
            WriterGather(pieces, static_cast<int>(count));
            if (m_shared.m_writeQueue.PopFront(count))
                m_shared.PostWriteRoom();
            wrote = true;
            continue;
        }
        default:
            platform::OutputDebugString("Bad write request");
            break;
        }
        if (m_shared.m_writeQueue.PopFront())
            m_shared.PostWriteRoom();
    }
    m_shared.m_bQueueFullReported.store(false);
    if (wrote)
        CheckOutputDrained();
}

// The bytes of one writev() as one sent block for the traffic log.
void WriterThread::RecordWritten(const iovec* pieces, int count, std::size_t put, std::int64_t startNs)
{
    if (!m_shared.HasTrafficRecorder())
        return;
    const std::int64_t endNs = platform::MonotonicNs();
    if (count == 1 || put <= pieces->iov_len) {
        m_shared.RecordTraffic(support::TrafficDirection::Sent, startNs, endNs,
                               static_cast<const std::uint8_t*>(pieces->iov_base), put);
        return;
    }
    m_written.clear();
    for (int i = 0; i < count && m_written.size() < put; ++i) {
        const auto* first = static_cast<const std::uint8_t*>(pieces[i].iov_base);
        const std::size_t take = std::min(pieces[i].iov_len, put - m_written.size());
        m_written.insert(m_written.end(), first, first + take);
    }
    m_shared.RecordTraffic(support::TrafficDirection::Sent, startNs, endNs, m_written.data(), m_written.size());
}

void WriterThread::WriterGeneric(const std::uint8_t* buffer, std::uint32_t count)
{
    iovec piece{const_cast<std::uint8_t*>(buffer), count};
    WriterGather(&piece, 1);
}

void WriterThread::WriterGather(iovec* pieces, int count)
{
    // Empty pieces at the front would make writev() return 0 as if timed out.
    auto skipEmpty = [&] {
        while (count > 0 && (pieces->iov_len == 0 || pieces->iov_base == nullptr)) {
            ++pieces;
            --count;
        }
    };
    skipEmpty();
    if (count == 0 || m_shared.m_bDeviceGone.load())
        return;
    const int fd = m_shared.m_hPort.get();
    while (count > 0) {
        const std::int64_t startNs = m_shared.HasTrafficRecorder() ? platform::MonotonicNs() : 0;
        const ssize_t put = platform::WritevRetry(fd, pieces, count);
        if (put > 0) {
            m_bWriteFailureShown = false;
            RecordWritten(pieces, count, static_cast<std::size_t>(put), startNs);
            auto left = static_cast<std::size_t>(put);
            while (count > 0 && left >= pieces->iov_len) {
                left -= pieces->iov_len;
                ++pieces;
                --count;
            }
            if (count > 0) {
                pieces->iov_base = static_cast<std::uint8_t*>(pieces->iov_base) + left;
                pieces->iov_len -= left;
            }
            skipEmpty();
            continue;
        }
        if (put == 0) {
            m_shared.UpdateStatus("Write timed out. (immediate)\r\n");
            return;
        }
        if (errno == EAGAIN) {
            // The line is full (or stopped by XOFF): wait for room or for the close.
            const platform::WaitResult room =
                platform::WaitForEvents({&m_shared.ghThreadExitEvent}, {fd, POLLOUT}, std::chrono::milliseconds(-1));
            if (room.kind == platform::WaitResult::EventSignalled)
                return;  // left to the close, which discards it
            if (room.kind == platform::WaitResult::Failed) {
                ReportCallFailure("WaitForMultipleObjects (WriterGeneric)",
                                  platform::DescribeLastFailure("Cannot wait for room to write on", m_shared.m_strDevicePath));
                return;
            }
            if ((room.revents & (POLLHUP | POLLERR | POLLNVAL)) && !(room.revents & POLLOUT)) {
                m_shared.SetDeviceGone();
                m_shared.UpdateStatus("Write aborted\r\n");
                return;
            }
            continue;
        }
        const int error = errno;
        m_shared.ReportEndingFailure("WriteFile (in Writer)", platform::DescribeFailure("Cannot write to", m_shared.m_strDevicePath, error),
                            m_bWriteFailureShown);
        if (MeansDeviceGone(error)) {
            m_shared.SetDeviceGone();
            m_shared.UpdateStatus("Write aborted\r\n");
        }
        return;
    }
}

// The output queue has drained when the driver holds nothing more to send;
// where it still does, the reader samples it until it is empty.
void WriterThread::CheckOutputDrained()
{
    if (!(m_shared.m_dwEventMask.load() & EV_TXEMPTY) || !m_shared.m_pLineControl)
        return;
    std::uint32_t queued = 0;
    const LineResult result = m_shared.m_pLineControl->GetOutputQueued(queued);
    if (result == LineResult::Ok && queued > 0) {
        m_shared.m_bTxDrainPending.store(true);
        m_shared.m_hReaderWakeEvent.Set();
        return;
    }
    if (result != LineResult::Failed)
        m_shared.RaiseEvents(EV_TXEMPTY, true);
}
