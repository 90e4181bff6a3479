#include "net/SocketWnd.h"

#include "platform/ErrorKind.h"
#include "platform/PostedPayload.h"
#include "platform/QtMessageWindow.h"

#include <QSocketNotifier>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>

#include <cerrno>
#include <cstring>
#include <new>

namespace net {
namespace {

// After an accept that failed for want of resources (descriptors, memory)
// the waiting connection is still there: ask again only after a pause, or
// the report would come back at once, forever.
constexpr int kAcceptRetryMs = 100;

// One write report sends up to this much, gathered from the queue's head.
constexpr std::size_t kMaxGatherItems = 64;
constexpr std::size_t kMaxGatherBytes = 256 * 1024;

bool WouldBlock(int error) { return platform::ClassifyError(error) == platform::ErrorKind::WouldBlock; }

// Failures of accept that leave no waiting connection behind.
bool ConnectionGone(int error)
{
    const platform::ErrorKind kind = platform::ClassifyError(error);
    return kind == platform::ErrorKind::Gone || kind == platform::ErrorKind::WouldBlock ||
           kind == platform::ErrorKind::Interrupted;
}

std::string AddressText(const sockaddr_in& address)
{
    char text[INET_ADDRSTRLEN] = {};
    if (inet_ntop(AF_INET, &address.sin_addr, text, sizeof text) == nullptr)
        return {};
    return std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

}  // namespace

CSocketWnd::CSocketWnd(platform::MessageTarget* owner, unsigned noticeMessage)
    : m_pOwner(owner), m_nNoticeMessage(noticeMessage)
{
    Reset(true);
}

CSocketWnd::~CSocketWnd()
{
    DestroyWindow();
    m_sendQueue.clear();
    m_receiveQueue.clear();
    m_socket.reset();
}

void CSocketWnd::Reset(bool clearError)
{
    // The notifiers watch the descriptor: they go before it closes.
    m_pReadNotifier.reset();
    m_pWriteNotifier.reset();
    m_socket.reset();
    std::memset(&m_localAddress, 0, sizeof m_localAddress);
    m_bListening = false;
    m_nCursorSent = 0;
    m_bWriteReportPosted = false;
    m_bReadPaused = false;
    m_bReceiveEnded = false;
    m_bClosedNoticed = false;
    m_nConnectionError = 0;
    if (clearError)
        m_nLastError = 0;
}

bool CSocketWnd::CreateWindow()
{
    m_pWindow.reset(new (std::nothrow) platform::QtMessageWindow());
    if (!m_pWindow)
        return false;
    m_pWindow->SetHandler(WM_SOCKET_REPORT, [this](platform::WPARAM w, platform::LPARAM l) {
        return OnSelectReport(w, l);
    });
    return true;
}

bool CSocketWnd::WatchSocket(bool withWrite)
{
    const int fd = m_socket.get();
    m_pReadNotifier.reset(new (std::nothrow) QSocketNotifier(fd, QSocketNotifier::Read));
    if (!m_pReadNotifier)
        return false;
    QObject::connect(m_pReadNotifier.get(), &QSocketNotifier::activated, m_pWindow.get(), [this, fd] {
        if (m_bListening) {
            // Like the platform's accept report: no further one until the
            // owner has accepted (or refused) the waiting connection.
            m_pReadNotifier->setEnabled(false);
            m_pWindow->SendMessage(WM_SOCKET_REPORT, static_cast<platform::WPARAM>(fd), kFdAccept);
        } else {
            m_pWindow->SendMessage(WM_SOCKET_REPORT, static_cast<platform::WPARAM>(fd), kFdRead);
        }
    });
    if (!withWrite)
        return true;
    m_pWriteNotifier.reset(new (std::nothrow) QSocketNotifier(fd, QSocketNotifier::Write));
    if (!m_pWriteNotifier)
        return false;
    m_pWriteNotifier->setEnabled(false);  // only while a send would block
    QObject::connect(m_pWriteNotifier.get(), &QSocketNotifier::activated, m_pWindow.get(), [this, fd] {
        m_pWriteNotifier->setEnabled(false);
        m_pWindow->SendMessage(WM_SOCKET_REPORT, static_cast<platform::WPARAM>(fd), kFdWrite);
    });
    return true;
}

void CSocketWnd::DestroyWindow()
{
    m_pReadNotifier.reset();
    m_pWriteNotifier.reset();
    // Reports still queued for the window go with it.
    m_pWindow.reset();
    m_bWriteReportPosted = false;
}

void CSocketWnd::FailAndReset(int error)
{
    m_nLastError = error;
    DestroyWindow();
    Reset(false);
}

void CSocketWnd::BreakConnection(int error)
{
    m_nLastError = error;
    if (m_nConnectionError == 0)
        m_nConnectionError = error;
    // A stream cannot skip a block and go on: everything still queued fails.
    while (!m_sendQueue.empty()) {
        PostNotice(kNoticeSendFailed, platform::IdParam(m_sendQueue.front().id));
        m_sendQueue.pop_front();
    }
    m_nQueuedBytes = 0;
    m_nCursorSent = 0;
    if (m_pWriteNotifier)
        m_pWriteNotifier->setEnabled(false);
    // What the peer sent before the break is still read, then notice 7.
    PostReport(kFdClose);
}

void CSocketWnd::CatchUp()
{
    if (!IsOpen() || m_bListening)
        return;
    while (!m_bReceiveEnded && !m_bReadPaused) {
        pollfd ready{m_socket.get(), POLLIN | POLLRDHUP, 0};
        if (::poll(&ready, 1, 0) <= 0 || ReceiveOnce() != Received::Block)
            break;
    }
    if (m_bReceiveEnded)
        PostReport(kFdClose);
}

void CSocketWnd::PostReport(std::uint16_t event)
{
    if (!m_pWindow || !m_socket.valid())
        return;
    if (event == kFdWrite) {
        // One write report at a time is enough: each sends what it can.
        if (m_bWriteReportPosted || (m_pWriteNotifier && m_pWriteNotifier->isEnabled()))
            return;
        m_bWriteReportPosted = true;
    }
    m_pWindow->PostMessage(WM_SOCKET_REPORT, static_cast<platform::WPARAM>(m_socket.get()), event);
}

void CSocketWnd::PostNotice(SocketNotice code, platform::LPARAM lParam)
{
    if ((code == kNoticeSent || code == kNoticeSendFailed) && !m_bSendNotices)
        return;
    if (m_pOwner != nullptr)
        m_pOwner->PostMessage(m_nNoticeMessage, code, lParam);
}

int CSocketWnd::OpenListen(int port, std::uint32_t address)
{
    if (port < kFirstPort || port > kLastPort)
        return kSocketNotPossible;
    if (IsOpen())
        return kSocketNotPossible;
    Reset(true);
    if (!CreateWindow()) {
        Reset(false);
        return kSocketNoWindow;
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        FailAndReset(errno);
        return kSocketCallFailed;
    }
    m_socket.reset(fd);
    m_bListening = true;
    m_localAddress.sin_family = AF_INET;
    m_localAddress.sin_port = htons(static_cast<std::uint16_t>(port));
    m_localAddress.sin_addr.s_addr = htonl(address);
    // Reopening right after a close must not wait for old connections to
    // time out; a port another socket listens on still refuses the bind.
    const int on = 1;
    if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(fd, reinterpret_cast<const sockaddr*>(&m_localAddress), sizeof m_localAddress) != 0) {
        FailAndReset(errno);
        return kSocketCallFailed;
    }
    if (!WatchSocket(false)) {
        FailAndReset(ENOMEM);
        return kSocketCallFailed;
    }
    if (::listen(fd, kListenBacklog) != 0) {
        FailAndReset(errno);
        return kSocketCallFailed;
    }
    return kSocketOk;
}

int CSocketWnd::Accept(CSocketWnd* client)
{
    if (client == nullptr || !m_bListening || !IsOpen() || client->IsOpen())
        return kSocketNotPossible;
    client->Reset(true);
    if (!client->CreateWindow()) {
        ResumeAccepting(false);
        return kSocketNoWindow;
    }
    const int fd = ::accept4(m_socket.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    const int error = errno;
    ResumeAccepting(fd >= 0 || ConnectionGone(error));
    if (fd < 0) {
        m_nLastError = error;
        client->DestroyWindow();
        client->Reset(false);
        return kSocketCallFailed;
    }
    client->m_socket.reset(fd);
    // A terminal bridge moves small blocks: send each at once.
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (!client->WatchSocket(true)) {
        m_nLastError = ENOMEM;
        client->DestroyWindow();
        client->Reset(false);
        return kSocketCallFailed;
    }
    client->PostNotice(kNoticeConnected, 0);
    return kSocketOk;
}

int CSocketWnd::Refuse()
{
    if (!m_bListening || !IsOpen())
        return kSocketNotPossible;
    platform::UniqueFd refused(::accept4(m_socket.get(), nullptr, nullptr, SOCK_CLOEXEC));
    const int error = errno;
    ResumeAccepting(refused.valid() || ConnectionGone(error));
    if (!refused) {
        m_nLastError = error;
        return kSocketCallFailed;
    }
    return kSocketOk;
}

int CSocketWnd::QueueSend(ByteBlock data)
{
    if (!IsOpen() || m_bListening || data.IsNull() || m_nConnectionError != 0)
        return kSocketNotPossible;
    const std::uint8_t* id = data.Data();
    const std::uint32_t count = data.Count();
    try {
        m_sendQueue.push_back(SendItem{std::move(data), id});
    } catch (const std::bad_alloc&) {
        return kSocketNoWindow;
    }
    m_nQueuedBytes += count;
    PostReport(kFdWrite);
    return kSocketOk;
}

ByteBlock CSocketWnd::TakeReceived()
{
    if (m_receiveQueue.empty())
        return {};
    ByteBlock block = std::move(m_receiveQueue.front());
    m_receiveQueue.pop_front();
    if (m_bReadPaused && m_receiveQueue.size() < kReceiveQueueLimit) {
        m_bReadPaused = false;
        ResumeReading();
    }
    return block;
}

int CSocketWnd::Close()
{
    if (!IsOpen())
        return kSocketNotPossible;
    while (!m_sendQueue.empty()) {
        PostNotice(kNoticeSendFailed, platform::IdParam(m_sendQueue.front().id));
        m_sendQueue.pop_front();
    }
    m_nQueuedBytes = 0;
    m_receiveQueue.clear();
    DestroyWindow();
    Reset(true);
    return kSocketOk;
}

void CSocketWnd::ResumeReading()
{
    if (m_pReadNotifier && !m_bReceiveEnded && !m_bReadPaused)
        m_pReadNotifier->setEnabled(true);
}

void CSocketWnd::ResumeAccepting(bool now)
{
    if (now || !m_pWindow) {
        ResumeReading();
        return;
    }
    QTimer::singleShot(kAcceptRetryMs, m_pWindow.get(), [this] { ResumeReading(); });
}

void CSocketWnd::ArmWriteNotifier()
{
    if (m_pWriteNotifier)
        m_pWriteNotifier->setEnabled(true);
}

platform::LRESULT CSocketWnd::OnSelectReport(platform::WPARAM wParam, platform::LPARAM lParam)
{
    // A report for a socket this object no longer holds, or one carrying an
    // error, is dropped.
    if (!m_socket.valid() || wParam != static_cast<platform::WPARAM>(m_socket.get()))
        return 0;
    const auto event = static_cast<std::uint16_t>(lParam & 0xFFFF);
    const auto error = static_cast<std::uint16_t>((lParam >> 16) & 0xFFFF);
    if (error != 0)
        return 0;
    switch (event) {
    case kFdRead:
        if (ReceiveOnce() == Received::Ended)
            PostReport(kFdClose);
        break;
    case kFdWrite:
        m_bWriteReportPosted = false;
        SendOnce();
        break;
    case kFdAccept:
        PostNotice(kNoticeAcceptable, 0);
        break;
    case kFdConnect:
        PostNotice(kNoticeConnected, 0);
        break;
    case kFdClose:
        // What is still unread goes first, one block per report.
        if (!m_bReceiveEnded && ReceiveOnce() == Received::Block) {
            PostReport(kFdClose);
        } else if (!m_bClosedNoticed) {
            m_bClosedNoticed = true;
            PostNotice(kNoticeClosed, 0);
        }
        break;
    default:
        break;
    }
    return 0;
}

CSocketWnd::Received CSocketWnd::ReceiveOnce()
{
    if (m_bReceiveEnded)
        return Received::Ended;
    ByteBlock buffer = ByteBlock::Allocate(kReceiveBufferSize);
    if (buffer.IsNull()) {
        // The socket stays readable: the notifier tries again.
        PostNotice(kNoticeReceiveFailed, 0);
        return Received::Nothing;
    }
    const ssize_t got = ::recv(m_socket.get(), buffer.Data(), kReceiveBufferSize, 0);
    if (got < 0) {
        const int error = errno;
        const platform::ErrorKind kind = platform::ClassifyError(error);
        if (kind == platform::ErrorKind::WouldBlock || kind == platform::ErrorKind::Interrupted)
            return Received::Nothing;
        // A reset or another hard error: the connection is over, and the
        // owner hears of it like of an orderly end.
        m_nLastError = error;
        if (m_nConnectionError == 0)
            m_nConnectionError = error;
        PostNotice(kNoticeReceiveFailed, 0);
        m_bReceiveEnded = true;
        if (m_pReadNotifier)
            m_pReadNotifier->setEnabled(false);
        return Received::Ended;
    }
    if (got == 0) {
        m_bReceiveEnded = true;
        if (m_pReadNotifier)
            m_pReadNotifier->setEnabled(false);
        return Received::Ended;
    }
    buffer.SetCount(static_cast<std::uint32_t>(got));
    try {
        m_receiveQueue.push_back(std::move(buffer));
    } catch (const std::bad_alloc&) {
        PostNotice(kNoticeReceiveFailed, 0);
        return Received::Nothing;
    }
    PostNotice(kNoticeReceived, static_cast<platform::LPARAM>(m_receiveQueue.size()));
    if (m_receiveQueue.size() >= kReceiveQueueLimit && m_pReadNotifier) {
        m_bReadPaused = true;
        m_pReadNotifier->setEnabled(false);
    }
    return Received::Block;
}

void CSocketWnd::SendOnce()
{
    if (m_sendQueue.empty())
        return;
    iovec pieces[kMaxGatherItems];
    std::size_t count = 0;
    std::size_t offered = 0;
    for (SendItem& item : m_sendQueue) {
        if (count == kMaxGatherItems || offered >= kMaxGatherBytes)
            break;
        const std::uint32_t skip = count == 0 ? m_nCursorSent : 0;
        pieces[count].iov_base = item.data.Data() + skip;
        pieces[count].iov_len = item.data.Count() - skip;
        offered += pieces[count].iov_len;
        ++count;
    }
    msghdr message{};
    message.msg_iov = pieces;
    message.msg_iovlen = count;
    const ssize_t sent = ::sendmsg(m_socket.get(), &message, MSG_NOSIGNAL);
    if (sent < 0) {
        const int error = errno;
        if (WouldBlock(error)) {
            ArmWriteNotifier();  // the platform reports when there is room
            return;
        }
        if (platform::ClassifyError(error) == platform::ErrorKind::Interrupted) {
            PostReport(kFdWrite);
            return;
        }
        BreakConnection(error);
        return;
    }
    auto left = static_cast<std::size_t>(sent);
    while (!m_sendQueue.empty()) {
        SendItem& head = m_sendQueue.front();
        const std::size_t remaining = head.data.Count() - m_nCursorSent;
        if (left < remaining) {
            m_nCursorSent += static_cast<std::uint32_t>(left);
            m_nQueuedBytes -= left;
            break;
        }
        left -= remaining;
        m_nQueuedBytes -= remaining;
        PostNotice(kNoticeSent, platform::IdParam(head.id));
        m_sendQueue.pop_front();
        m_nCursorSent = 0;
        if (left == 0 && !m_sendQueue.empty() && m_sendQueue.front().data.Count() != 0)
            break;
    }
    if (m_sendQueue.empty())
        return;
    if (static_cast<std::size_t>(sent) < offered)
        ArmWriteNotifier();  // the socket is full for now
    else
        PostReport(kFdWrite);
}

std::string CSocketWnd::LocalName() const
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (!IsOpen() || getsockname(m_socket.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return {};
    return AddressText(address);
}

std::string CSocketWnd::PeerName() const
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (!IsOpen() || getpeername(m_socket.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return {};
    return AddressText(address);
}

}  // namespace net
