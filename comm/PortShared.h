#pragma once
// What the engine, its reader and its writer share: the open tty, the
// signals between the threads, the rings and queues towards the owner, and
// the flags more than one thread writes. The engine opens and closes what is
// here; the reader and the writer only use it while they run.

#include "comm/CommEvents.h"
#include "comm/OwnerRing.h"
#include "comm/StatusQueue.h"
#include "comm/TtyLineControl.h"
#include "comm/WriteQueue.h"
#include "platform/Event.h"
#include "platform/UniqueFd.h"
#include "platform/WindowMessage.h"
#include "support/TrafficRecorder.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

inline constexpr unsigned WM_RXDATA = platform::WM_USER + 1;      // lParam: ReceivePacket*
inline constexpr unsigned WM_STATUSTEXT = platform::WM_USER + 2;  // lParam: StatusPostBuffer*
inline constexpr unsigned WM_FILEBLOCKDONE = platform::WM_USER + 5;  // a FileBlock request was written
inline constexpr unsigned WM_PORTGONE = platform::WM_USER + 11;   // wParam 0, lParam 0: device went away
inline constexpr unsigned WM_WRITEROOM = platform::WM_USER + 12;  // wParam 0, lParam 0: a room watch fired

inline constexpr std::size_t kMaxReceiveBlock = 512;
inline constexpr std::size_t kStatusTextCapacity = 160;

struct ReceivePacket {
    std::uint8_t index;
    std::uint32_t length;  // received bytes at the start of data, 1..512 when posted
    // When the first and the last read of the block returned (MonotonicNs).
    std::int64_t firstByteNs;
    std::int64_t lastByteNs;
    ReceivePacket* previous;
    ReceivePacket* next;
    std::uint8_t data[1024];  // the bytes, then zeros (at least 512)
};

struct StatusPostBuffer {
    StatusPostBuffer* next;
    char text[kStatusTextCapacity];  // "<n>:<text>\r\n", NUL, zeros
};

// True when `error` means the device is no longer there.
bool MeansDeviceGone(int error);

struct PortShared {
    // Queues "<n>:<text>" for the owner. Any thread.
    void UpdateStatus(std::string_view text);
    // A failure that ended a read or a write: on the diagnostic channel, and
    // once until the next success (`shown`) in the owner's status texts.
    void ReportEndingFailure(std::string_view fixedText, const std::string& cause, bool& shown);
    void SetDeviceGone();
    // Records the watched ones of `events` for the reader to report.
    void RaiseEvents(std::uint32_t events, bool wakeReader);
    void PostWriteRoom();

    // Set while open; a late thread keeps them until it ends.
    platform::UniqueFd m_hPort;
    std::string m_strDevicePath;
    std::unique_ptr<TtyLineControl> m_pLineControl;

    platform::Event ghStatusMessageEvent{platform::ResetMode::Auto};
    platform::Event ghThreadExitEvent{platform::ResetMode::Manual};
    platform::Event m_hReaderWakeEvent{platform::ResetMode::Auto};  // buffer back, mask changed, events raised
    platform::Event m_hWriterEvent{platform::ResetMode::Auto};
    platform::Event m_hTransferDoneEvent{platform::ResetMode::Auto};
    std::mutex m_csTransferBuffers;

    std::atomic<platform::MessageTarget*> m_pOwner{nullptr};

    OwnerRing<ReceivePacket, 15> m_RxRing;
    OwnerRing<StatusPostBuffer, 15> m_StatusPost;
    StatusQueue m_statusQueue;
    WriteQueue m_writeQueue;

    std::atomic<std::uint32_t> m_dwEventMask{kDefaultEventMask};
    std::atomic<std::uint32_t> m_dwRaisedEvents{0};    // events seen by other threads
    std::atomic<std::uint8_t> m_chAppliedEvtChar{0};   // the event character in force
    std::atomic<bool> m_bCtsOutFlowApplied{false};     // the output waits for CTS
    std::atomic<bool> m_bDsrOutFlowApplied{false};     // the output waits for DSR
    std::atomic<std::uint32_t> m_dwQuietMicros{1000};  // end of a received block
    std::atomic<bool> m_bDeviceGone{false};
    std::atomic<bool> m_bReportGone{true};  // the reader says "Device gone" itself

    // The bytes that crossed the line, both ways, to the traffic log if one is set.
    void RecordTraffic(support::TrafficDirection direction, std::int64_t firstNs, std::int64_t lastNs,
                       const std::uint8_t* bytes, std::size_t n);
    void SetTrafficRecorder(std::shared_ptr<support::TrafficRecorder> recorder);
    bool HasTrafficRecorder() const { return m_bHasTraffic.load(std::memory_order_relaxed); }
    std::atomic<bool> m_bHasTraffic{false};
    std::mutex m_trafficMutex;
    std::shared_ptr<support::TrafficRecorder> m_pTraffic;  // under m_trafficMutex
    std::atomic<bool> m_bTxDrainPending{false};
    std::atomic<bool> m_bQueueFullReported{false};
    std::atomic<std::uint64_t> m_nReaderWakeups{0};
};
