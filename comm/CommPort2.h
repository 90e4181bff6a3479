#pragma once
// The serial port engine: one tty held open exclusively, a reader/status
// thread and a writer thread on it, and numbered status texts. It reaches its
// owner only through posted messages whose payloads are lent from two fixed
// rings of 15 buffers; the owner hands each one back when done.

#include "comm/PortSettings.h"
#include "comm/PortShared.h"
#include "comm/ReaderThread.h"
#include "comm/Termios2.h"
#include "comm/WriterThread.h"

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

class CCommPort2 {
public:
    CCommPort2();
    virtual ~CCommPort2();  // destroying while open closes the port first
    CCommPort2(const CCommPort2&) = delete;
    CCommPort2& operator=(const CCommPort2&) = delete;

    // Posts go to `owner` from now on; null: nothing is posted, buffers turn by themselves.
    void SetOwner(platform::MessageTarget* owner);
    platform::MessageTarget* Owner() const { return m_shared.m_pOwner.load(); }

    // Opens with the current settings.
    bool OpenPort();
    // Takes `settings` and opens with them. A value with Problems() is
    // refused before any device is touched; LastOpenError says why.
    bool OpenPort(const PortSettings& settings);
    // Opens `devicePath` for the current slot with the current settings: a
    // device followed by a name other than the slot's (its stable name).
    bool OpenPortAt(const std::string& devicePath);
    bool IsOpen() const { return m_bConnected == 1; }
    // Never waits longer than the close time-out for the threads. One that has
    // not ended by then is reported and left to end by itself: the port is
    // closed regardless, and the engine opens again once that thread is gone.
    bool ClosePort();
    void SetCloseTimeout(std::chrono::milliseconds timeout) { m_closeTimeout = timeout; }
    // Why the last OpenPort failed, e.g. "Cannot open /dev/ttyUSB0: Permission
    // denied (add yourself to the dialout group)"; empty after a success.
    std::string LastOpenError() const;
    // Its errno (0 after a success or for a refused settings value).
    int LastOpenErrorCode() const { return m_nLastOpenError; }
    // Whether the port says "Device gone: PATH" when its device goes away; an
    // owner that tells of the loss in its own words turns it off.
    void SetReportGone(bool report) { m_shared.m_bReportGone.store(report); }
    // Every block read or written from now on also goes to `recorder` (none: nullptr).
    void SetTrafficRecorder(std::shared_ptr<support::TrafficRecorder> recorder)
    {
        m_shared.SetTrafficRecorder(std::move(recorder));
    }

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
    bool WatchWriteRoom(std::size_t requests) { return m_shared.m_writeQueue.WatchRoom(requests); }

    // A break condition on the open line (on) or its end (off); and the
    // tty's own queues thrown away. A failure goes to the diagnostic channel.
    bool SetBreak(bool on);
    bool PurgeQueues(bool input, bool output);
    // The settings with the rate and framing the open tty really has (a
    // pty, for one, keeps 8 data bits and no parity whatever is asked);
    // the settings as they are when nothing is open or the tty cannot be read.
    PortSettings SettingsInForce() const;
    // The open tty's modem lines as kLine* bits; 0 while closed or where
    // the driver has none (a pty).
    int ModemLines() const;

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
    std::uint64_t ReaderWakeups() const { return m_shared.m_nReaderWakeups.load(std::memory_order_relaxed); }

private:
    int StopThreads(std::chrono::milliseconds timeout);
    void JoinEndedThreads();
    void ContainLateThreads();
    bool FinishLateClose(bool wait);
    std::string LateThreadNames();
    void RefreshPortName();

    PortSettings m_settings;  // its event mask is the shared one's
    char m_szPortName[10] = {};
    int m_bConnected = 0;  // 1 exactly while open; written on the owner's thread only

    std::string m_strLastOpenError;
    int m_nLastOpenError = 0;
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

    PortShared m_shared;
    ReaderThread m_reader{m_shared};
    WriterThread m_writer{m_shared};
};
