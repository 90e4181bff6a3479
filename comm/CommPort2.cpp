// The engine object: construction, opening and closing the port, the owner,
// and the producer side of the write queue.

#include "comm/CommPort2.h"

#include "comm/CallFailure.h"
#include "comm/PortDevices.h"
#include "platform/Diagnostic.h"
#include "platform/MessageBox.h"
#include "platform/SystemError.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

namespace {
constexpr int kWaitTimeout = 258;  // the result of a wait that ran out of time
}

CCommPort2::CCommPort2()
{
    auto& packets = m_shared.m_RxRing.Buffers();
    for (std::size_t i = 0; i < packets.size(); ++i) {
        packets[i].index = static_cast<std::uint8_t>(i);
        packets[i].next = &packets[(i + 1) % packets.size()];
        packets[i].previous = &packets[(i + packets.size() - 1) % packets.size()];
    }
    auto& posts = m_shared.m_StatusPost.Buffers();
    for (std::size_t i = 0; i < posts.size(); ++i)
        posts[i].next = &posts[(i + 1) % posts.size()];

    if (!m_shared.ghStatusMessageEvent.valid())
        platform::ShowMessageBox("Error:m_shared.ghStatusMessageEvent Failed!");
    if (!m_shared.ghThreadExitEvent.valid())
        platform::ShowMessageBox("Error:m_shared.ghThreadExitEvent Failed!");

    UpdateStatus("Status message go here:\r\n");
}

CCommPort2::~CCommPort2()
{
    if (m_bConnected == 1)
        ClosePort();
    // A thread that outlived the close still uses this object's rings and
    // events: the memory must not go before the thread does. Nothing more
    // reaches the owner, which is about to go too.
    if (m_bLateThreads) {
        m_shared.m_pOwner.store(nullptr);
        platform::OutputDebugString("Waiting for the " + LateThreadNames() + " thread to end");
        FinishLateClose(true);
    }
}

void CCommPort2::SetOwner(platform::MessageTarget* owner) { m_shared.m_pOwner.store(owner); }

std::string CCommPort2::DevicePath() const { return m_bConnected == 1 ? m_shared.m_strDevicePath : std::string(); }

void CCommPort2::SetLineControlFactory(LineControlFactory factory) { m_lineControlFactory = std::move(factory); }

void CCommPort2::UpdateStatus(std::string_view text) { m_shared.UpdateStatus(text); }

std::string CCommPort2::LastOpenError() const { return m_strLastOpenError; }

bool CCommPort2::OpenPort(const PortSettings& settings)
{
    if (IsOpen())
        return false;
    if (const std::vector<std::string> problems = settings.Problems(); !problems.empty()) {
        m_strLastOpenError = "Cannot open with " + problems.front();
        return false;
    }
    ApplySettings(settings);
    return OpenPort();
}

bool CCommPort2::OpenPort()
{
    if (m_bConnected == 1)
        return true;
    return OpenPortAt(DevicePathForSlot(static_cast<int>(m_settings.m_nPort) + 1));
}

bool CCommPort2::OpenPortAt(const std::string& path)
{
    if (m_bConnected == 1)
        return true;
    m_strLastOpenError.clear();
    m_nLastOpenError = 0;
    RefreshPortName();

    // The threads of the last connection must be gone before new ones fill
    // the same rings.
    if (!FinishLateClose(false)) {
        m_nLastOpenError = EBUSY;
        m_strLastOpenError = "Cannot open " + (path.empty() ? std::string(m_szPortName) : path) + ": the " +
                             LateThreadNames() + " thread of the last connection has not ended";
        ReportCallFailure("CreateFile Failed!", m_strLastOpenError);
        return false;
    }

    int error = 0;
    platform::UniqueFd fd;
    if (path.empty()) {
        error = ENODEV;  // a slot beyond COM8 has no device
    } else {
        fd.reset(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
        if (!fd)
            error = errno;
        else if (!::isatty(fd.get()))
            error = ENOTTY;
        // The advisory lock also keeps out root, whom the tty's exclusive mode lets through.
        else if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
            error = errno == EWOULDBLOCK ? EBUSY : errno;
        else if (::ioctl(fd.get(), TIOCEXCL) != 0)
            error = errno;
    }
    if (error) {
        m_nLastOpenError = error;
        m_strLastOpenError = platform::DescribeFailure("Cannot open", path.empty() ? m_szPortName : path, error);
        ReportCallFailure("CreateFile Failed!", m_strLastOpenError);
        return false;
    }

    m_shared.m_hPort = std::move(fd);
    m_shared.m_strDevicePath = path;
    m_shared.m_pLineControl = m_lineControlFactory ? m_lineControlFactory(m_shared.m_hPort.get()) : MakeTtyLineControl(m_shared.m_hPort.get());
    m_shared.m_bDeviceGone.store(false);
    // Before the threads start.
    m_shared.m_bTxDrainPending.store(false);
    m_shared.m_dwRaisedEvents.store(0);

    m_bSavedLineStateValid = ReadTtyLineState(m_shared.m_hPort.get(), m_SavedLineState);
    if (!m_bSavedLineStateValid)
        ReportCallFailure("GetCommTimeouts", platform::DescribeLastFailure("Cannot read the line settings of", path));

    ApplyLineSettings();

    if (m_shared.m_pLineControl->SetModemLines(kLineDtr, 0) == LineResult::Failed)
        ReportCallFailure("EscapeCommFunction (SETDTR)", platform::DescribeLastFailure("Cannot raise DTR on", path));

    m_shared.m_writeQueue.Open();
    m_shared.ghThreadExitEvent.Reset();
    auto start = [this, &path](std::thread& thread, bool& running, auto body, const char* failure,
                               const char* name) {
        {
            std::lock_guard lock(m_csThreadsDone);
            running = true;
        }
        try {
            thread = std::thread([this, body, &running] {
                body();
                std::lock_guard lock(m_csThreadsDone);
                running = false;
                m_threadsDone.notify_all();
            });
        } catch (const std::system_error& e) {
            {
                std::lock_guard lock(m_csThreadsDone);
                running = false;
            }
            ReportCallFailure(failure, platform::DescribeFailure(std::string("Cannot start the ") + name +
                                                                     " thread for", path, e.code().value()));
        }
    };
    start(m_hReaderThread, m_bReaderRunning, [this] { m_reader.Run(); }, "CreateThread(Reader/Status)",
          "reader/status");
    start(m_hWriterThread, m_bWriterRunning, [this] { m_writer.Run(); }, "CreateThread (Writer)", "writer");

    m_bConnected = 1;
    return true;
}

int CCommPort2::StopThreads(std::chrono::milliseconds timeout)
{
    m_shared.ghThreadExitEvent.Set();
    int result = 0;
    {
        std::unique_lock lock(m_csThreadsDone);
        if (!m_threadsDone.wait_for(lock, timeout, [this] { return !m_bReaderRunning && !m_bWriterRunning; })) {
            result = kWaitTimeout;
            if (m_bReaderRunning)
                platform::OutputDebugString("Reader/Status Thread didn't exit.\n\r");
            if (m_bWriterRunning)
                platform::OutputDebugString("Writer Thread didn't exit.\n\r");
        }
    }
    JoinEndedThreads();
    // A late thread must still find the exit signal when it comes back.
    if (result == 0)
        m_shared.ghThreadExitEvent.Reset();
    return result;
}

void CCommPort2::JoinEndedThreads()
{
    bool readerEnded = false;
    bool writerEnded = false;
    {
        std::lock_guard lock(m_csThreadsDone);
        readerEnded = !m_bReaderRunning;
        writerEnded = !m_bWriterRunning;
    }
    // An ended thread has only its return left to do: these joins are prompt.
    if (readerEnded && m_hReaderThread.joinable())
        m_hReaderThread.join();
    if (writerEnded && m_hWriterThread.joinable())
        m_hWriterThread.join();
}

std::string CCommPort2::LateThreadNames()
{
    std::lock_guard lock(m_csThreadsDone);
    if (m_bReaderRunning && m_bWriterRunning)
        return "reader/status and writer";
    return m_bReaderRunning ? "reader/status" : "writer";
}

// Closes the tty under a thread that may still make calls on it. The
// descriptor number is given to /dev/null at once (dup3 replaces it in one
// step), so the device is released now, yet a late read, write or ioctl lands
// on /dev/null: never on the device, nor on a file opened later under the
// same number. Freeing the line control or the queued requests, or clearing
// the exit signal, waits for the thread to end (FinishLateClose). The thread
// is never detached: it uses this object.
void CCommPort2::ContainLateThreads()
{
    m_bLateThreads = true;
    if (m_shared.m_writeQueue.Refuse())
        m_shared.PostWriteRoom();
    platform::UniqueFd null(::open("/dev/null", O_RDWR | O_CLOEXEC));
    if (!null || ::dup3(null.get(), m_shared.m_hPort.get(), O_CLOEXEC) < 0)
        platform::OutputDebugString(platform::DescribeLastFailure("Cannot release", m_shared.m_strDevicePath) +
                                    "; it stays open until the late thread ends");
}

// True once no thread of the last connection is left; then what it might
// have used is released. With `wait`, waits for that without limit.
bool CCommPort2::FinishLateClose(bool wait)
{
    if (!m_bLateThreads)
        return true;
    {
        std::unique_lock lock(m_csThreadsDone);
        auto ended = [this] { return !m_bReaderRunning && !m_bWriterRunning; };
        if (wait)
            m_threadsDone.wait(lock, ended);
        else if (!ended())
            return false;
    }
    JoinEndedThreads();
    if (m_shared.m_writeQueue.Close())
        m_shared.PostWriteRoom();
    m_shared.m_pLineControl.reset();
    m_shared.m_hPort.reset();
    m_shared.m_strDevicePath.clear();
    m_shared.ghThreadExitEvent.Reset();
    m_bLateThreads = false;
    return true;
}

bool CCommPort2::ClosePort()
{
    if (m_bConnected != 1)
        return false;
    m_bConnected = 0;

    const bool ended = StopThreads(m_closeTimeout) == 0;
    if (ended) {
        if (m_shared.m_writeQueue.Close())
            m_shared.PostWriteRoom();
    } else
        platform::OutputDebugString("Error closing port.\n");
    const int fd = m_shared.m_hPort.get();
    const std::string& path = m_shared.m_strDevicePath;
    if (m_shared.m_pLineControl && m_shared.m_pLineControl->SetModemLines(0, kLineDtr) == LineResult::Failed)
        ReportCallFailure("EscapeCommFunction(CLRDTR)\n", platform::DescribeLastFailure("Cannot lower DTR on", path));
    if (m_bSavedLineStateValid && !WriteTtyLineState(fd, m_SavedLineState))
        ReportCallFailure("SetCommTimeouts (Restoration to original)\n",
                          platform::DescribeLastFailure("Cannot restore the line settings of", path));
    if (::tcflush(fd, TCIOFLUSH) != 0)
        ReportCallFailure("PurgeComm\n", platform::DescribeLastFailure("Cannot discard the queued bytes of", path));
    ::ioctl(fd, TIOCNXCL);  // exclusive mode outlives this fd on the tty

    if (!ended) {
        ContainLateThreads();
        return true;
    }
    m_shared.m_pLineControl.reset();
    m_shared.m_hPort.reset();
    m_shared.m_strDevicePath.clear();
    return true;
}

bool CCommPort2::SendBytes(const std::uint8_t* data, std::size_t length)
{
    if (length > 0 && data == nullptr)
        return false;
    if (!m_shared.m_writeQueue.IsOpen()) {
        platform::OutputDebugString("SendBytes: the port is closed, " + std::to_string(length) + " bytes not sent");
        return false;
    }
    std::vector<WriteQueue::Item> items;
    items.reserve(length / kSendBlockSize + 1);
    std::size_t offset = 0;
    do {
        const std::size_t chunk = std::min(kSendBlockSize, length - offset);
        items.push_back({Block, static_cast<std::uint32_t>(chunk), 0, data + offset, nullptr, nullptr});
        offset += chunk;
    } while (offset < length);

    if (m_shared.m_writeQueue.Append(items, m_shared.m_hWriterEvent))
        return true;
    platform::OutputDebugString("HeapAlloc (writer packet)");
    if (m_shared.m_writeQueue.IsOpen() && !m_shared.m_bQueueFullReported.exchange(true))
        UpdateStatus("Send queue full: bytes not sent\r\n");
    return false;
}

bool CCommPort2::QueueWriteRequest(WriteRequestKind kind, std::uint32_t size, std::uint8_t character,
                                   std::unique_ptr<std::uint8_t[]> buffer, platform::MessageTarget* window)
{
    if ((kind == FileBlock && size > 0 && !buffer) || (kind == Block && size > kSendBlockSize))
        return false;
    // The block's notice is WM_USER+5, a number the owner's window already
    // uses for a message of its own: the owner is never told of a file block.
    if (kind == FileBlock && window != nullptr && window == m_shared.m_pOwner.load()) {
        platform::OutputDebugString("QueueWriteRequest: a file block's notice cannot go to the port's owner");
        return false;
    }
    if (!m_shared.m_writeQueue.IsOpen()) {
        platform::OutputDebugString("QueueWriteRequest: the port is closed, request not queued");
        return false;
    }
    std::vector<WriteQueue::Item> items;
    items.push_back({kind, kind == FileBlock || kind == Block ? size : 0, character, buffer.get(), nullptr, window});
    if (kind == FileBlock)
        items.back().fileBuffer = std::move(buffer);
    if (m_shared.m_writeQueue.Append(items, m_shared.m_hWriterEvent))
        return true;
    platform::OutputDebugString("HeapAlloc (writer packet)");
    return false;
}

bool CCommPort2::WaitTransferDone(std::chrono::milliseconds timeout) { return m_shared.m_hTransferDoneEvent.Wait(timeout); }

std::size_t CCommPort2::PendingWriteRequests() const { return m_shared.m_writeQueue.Size(); }

void CCommPort2::ReleasePacket(ReceivePacket* packet)
{
    if (!m_shared.m_RxRing.Release(packet, m_shared.m_hReaderWakeEvent))
        platform::OutputDebugString("ReleasePacket: not a packet of this port");
}

void CCommPort2::ReleaseStatusPost(StatusPostBuffer* post)
{
    if (!m_shared.m_StatusPost.Release(post, m_shared.m_hReaderWakeEvent))
        platform::OutputDebugString("ReleaseStatusPost: not a post buffer of this port");
}

void CCommPort2::SetEventMask(std::uint32_t mask)
{
    m_shared.m_dwEventMask.store(mask);
    m_shared.m_hReaderWakeEvent.Set();
}
