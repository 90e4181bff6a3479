#pragma once
// The serial port engine: one tty held open exclusively, a reader/status
// thread and a writer thread on it, and numbered status texts. It reaches its
// owner only through posted messages whose payloads are lent from two fixed
// rings of 15 buffers; the owner hands each one back when done.

#include "comm/CommEvents.h"
#include "comm/LineStatePlan.h"
#include "comm/OwnerRing.h"
#include "comm/PortSettings.h"
#include "comm/StatusQueue.h"
#include "comm/Termios2.h"
#include "comm/TtyLineControl.h"
#include "comm/WriteQueue.h"
#include "platform/Event.h"
#include "platform/UniqueFd.h"
#include "platform/WindowMessage.h"

#include <sys/uio.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

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
    ReceivePacket* previous;
    ReceivePacket* next;
    std::uint8_t data[1024];  // the bytes, then zeros (at least 512)
};

struct StatusPostBuffer {
    StatusPostBuffer* next;
    char text[kStatusTextCapacity];  // "<n>:<text>\r\n", NUL, zeros
};

class CCommPort2 {
public:
    CCommPort2();
    virtual ~CCommPort2();  // destroying while open closes the port first
    CCommPort2(const CCommPort2&) = delete;
    CCommPort2& operator=(const CCommPort2&) = delete;

    // Posts go to `owner` from now on; null: nothing is posted, buffers turn by themselves.
    void SetOwner(platform::MessageTarget* owner);
    platform::MessageTarget* Owner() const { return m_pOwner.load(); }

    // Opens with the current settings.
    bool OpenPort();
    // Takes `settings` and opens with them. A value no port could take is
    // refused before any device is touched; LastOpenError says why.
    bool OpenPort(const PortSettings& settings);
    bool IsOpen() const { return m_bConnected == 1; }
    // Never waits longer than the close time-out for the threads. One that has
    // not ended by then is reported and left to end by itself: the port is
    // closed regardless, and the engine opens again once that thread is gone.
    bool ClosePort();
    void SetCloseTimeout(std::chrono::milliseconds timeout) { m_closeTimeout = timeout; }
    // Why the last OpenPort failed, e.g. "Cannot open /dev/ttyUSB0: Permission
    // denied (add yourself to the dialout group)"; empty after a success.
    std::string LastOpenError() const;

    // Any length: split into requests of at most 1024 bytes, queued in order,
    // all or none. False when the port is closed or the queue is full.
    bool SendBytes(const std::uint8_t* data, std::size_t length);
    // The general form for producers that hand over buffers of their own. A
    // FileBlock whose notice would go to the owner (SetOwner) is refused.
    bool QueueWriteRequest(WriteRequestKind kind, std::uint32_t size, std::uint8_t character,
                           std::unique_ptr<std::uint8_t[]> buffer, platform::MessageTarget* window);
    // Waits until a FileEnd or Abort request has been handled.
    bool WaitTransferDone(std::chrono::milliseconds timeout);
    // Requests queued and not yet written.
    std::size_t PendingWriteRequests() const;
    // A producer waiting for room: the owner gets WM_WRITEROOM once at most
    // `requests` are queued, or the port closes. False when there is room
    // already (nothing is posted then).
    bool WatchWriteRoom(std::size_t requests) { return m_writeQueue.WatchRoom(requests); }

    void ReleasePacket(ReceivePacket* packet);       // owner is done with a WM_RXDATA packet
    void ReleaseStatusPost(StatusPostBuffer* post);  // owner is done with a WM_STATUSTEXT buffer

    void LoadProfile();  // the five stored settings into the current value
    void SaveProfile();
    PortSettings Settings() const;
    // Takes the value; an open port gets it at once (the tty only when what
    // shapes the line changed). False when the tty refused the write; values
    // it cannot take are reported as status texts either way.
    bool ApplySettings(const PortSettings& settings);
    // Applies the current settings to the open port and reads them back, as
    // ApplySettings does. False when the tty refused or no port is open.
    bool ApplyLineSettings();
    void SetEventMask(std::uint32_t mask);  // takes effect in the reader at once
    // "COM<slot>" of the current settings.
    const char* PortName() const { return m_szPortName; }

    // Queues "<n>:<text>" for the owner. Any thread.
    void UpdateStatus(std::string_view text);

    // The device path of the open port ("" while closed).
    std::string DevicePath() const;
    // Replaces how the modem lines and counters of a newly opened tty are reached.
    void SetLineControlFactory(LineControlFactory factory);
    // How often the reader/status thread has woken from its wait since construction.
    std::uint64_t ReaderWakeups() const { return m_nReaderWakeups.load(std::memory_order_relaxed); }

private:
    // Reader/status thread.
    void ReaderAndStatusProc();
    std::uint32_t ReadBlock(ReceivePacket* packet);  // bytes delivered
    void DeliverPacket(std::uint32_t length);
    void HandleDeviceGone();
    void PostStatusMessages();
    void ReportCommEvent(std::uint32_t eventWord);
    void ReportLineErrors();
    void ClearLineErrors();
    void PollModemStatus();
    void SampleLineState(bool raiseEvents);
    void RaiseEvents(std::uint32_t events, bool wakeReader);
    // False when the port could not be asked; `failure` then says why (empty
    // when no line control is there to ask).
    bool ReadComStat(std::uint32_t& errors, ComStat& status, std::string& failure);
    static bool MeansDeviceGone(int error);
    // A failure that ended a read or a write: on the diagnostic channel, and
    // once until the next success (`shown`) in the owner's status texts.
    void ReportEndingFailure(std::string_view fixedText, const std::string& cause, bool& shown);
    bool WatchingLines() const;

    // Writer thread.
    void WriterThreadMain();
    void ProcessWriteRequests();
    void WriterGeneric(const std::uint8_t* buffer, std::uint32_t count);
    void WriterGather(iovec* pieces, int count);
    void CheckOutputDrained();
    void PostWriteRoom();

    int StopThreads(std::chrono::milliseconds timeout);
    void JoinEndedThreads();
    void ContainLateThreads();
    bool FinishLateClose(bool wait);
    std::string LateThreadNames();
    void RefreshPortName();
    void SetDeviceGone();

    PortSettings m_settings;  // its event mask is m_dwEventMask's
    char m_szPortName[10] = {};
    int m_bConnected = 0;  // 1 exactly while open; written on the owner's thread only

    platform::UniqueFd m_hPort;
    std::string m_strDevicePath;
    std::string m_strLastOpenError;
    std::unique_ptr<TtyLineControl> m_pLineControl;
    LineControlFactory m_lineControlFactory;
    TtyLineState m_SavedLineState{};  // as found at open, put back at close
    bool m_bSavedLineStateValid = false;

    std::thread m_hReaderThread;
    std::thread m_hWriterThread;
    std::mutex m_csThreadsDone;
    std::condition_variable m_threadsDone;
    bool m_bReaderRunning = false;
    bool m_bWriterRunning = false;
    std::chrono::milliseconds m_closeTimeout{20000};
    // A thread outlived the close: the tty is closed, but its descriptor
    // number, the line control, the queued requests and the exit signal stay
    // as they are until that thread has ended.
    bool m_bLateThreads = false;

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

    // Shared with the worker threads.
    std::atomic<std::uint32_t> m_dwRaisedEvents{0};    // events seen by other threads
    std::atomic<std::uint32_t> m_dwEventMask{kDefaultEventMask};
    std::atomic<std::uint8_t> m_chAppliedEvtChar{0};   // the event character in force
    std::atomic<bool> m_bCtsOutFlowApplied{false};     // the output waits for CTS
    std::atomic<bool> m_bDsrOutFlowApplied{false};     // the output waits for DSR
    std::atomic<std::uint32_t> m_dwQuietMicros{1000};  // end of a received block
    std::atomic<bool> m_bDeviceGone{false};
    std::atomic<bool> m_bTxDrainPending{false};
    std::atomic<bool> m_bQueueFullReported{false};
    std::atomic<std::uint64_t> m_nReaderWakeups{0};

    // Writer thread only.
    bool m_bWriteFailureShown = false;

    // Reader/status thread only.
    bool m_bReadFailureShown = false;
    LineCounters m_errorBaseline{};
    LineCounters m_eventBaseline{};
    int m_nLastModemLines = 0;
    bool m_bModemLinesKnown = false;
    bool m_bModemLinesSupported = true;
    bool m_bCountersSupported = true;
    bool m_bEventBaselineKnown = false;
    bool m_bErrorBaselineKnown = false;
};
