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

std::string AddressText(const sockaddr_storage& address)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        if (inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text) == nullptr)
            return {};
        return std::string(text) + ":" + std::to_string(ntohs(v4.sin_port));
    }
    if (address.ss_family != AF_INET6)
        return {};
    const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
    // An IPv4 client of the dual-stack socket reads as the IPv4 address it is.
    if (IN6_IS_ADDR_V4MAPPED(&v6.sin6_addr)) {
        if (inet_ntop(AF_INET, &v6.sin6_addr.s6_addr[12], text, sizeof text) == nullptr)
            return {};
        return std::string(text) + ":" + std::to_string(ntohs(v6.sin6_port));
    }
    if (inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text) == nullptr)
        return {};
    return "[" + std::string(text) + "]:" + std::to_string(ntohs(v6.sin6_port));
}

socklen_t AddressLength(const sockaddr_storage& address)
{
    return address.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
}

// `text` as an IPv4 or IPv6 address with `port`; empty text is IPv6's any.
bool ListenAddress(const std::string& text, int port, sockaddr_storage& where)
{
    where = {};
    auto& v4 = reinterpret_cast<sockaddr_in&>(where);
    auto& v6 = reinterpret_cast<sockaddr_in6&>(where);
    if (!text.empty() && inet_pton(AF_INET, text.c_str(), &v4.sin_addr) == 1) {
        v4.sin_family = AF_INET;
        v4.sin_port = htons(static_cast<std::uint16_t>(port));
        return true;
    }
    if (text.empty())
        v6.sin6_addr = in6addr_any;
    else if (inet_pton(AF_INET6, text.c_str(), &v6.sin6_addr) != 1)
        return false;
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(static_cast<std::uint16_t>(port));
    return true;
}

// The failures of an IPv6 socket on a machine whose kernel has no IPv6.
bool NoIPv6(int error) { return error == EAFNOSUPPORT || error == EPROTONOSUPPORT || error == EADDRNOTAVAIL; }

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

int CSocketWnd::BindAndListen(const sockaddr_storage& where)
{
    platform::UniqueFd fd(::socket(where.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd)
        return errno;
    // Reopening right after a close must not wait for old connections to
    // time out; a port another socket listens on still refuses the bind.
    const int on = 1;
    const int off = 0;
    if (setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0)
        return errno;
    // "::" takes IPv4 clients too, whatever the system's default is.
    if (where.ss_family == AF_INET6 && setsockopt(fd.get(), IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off) != 0)
        return errno;
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&where), AddressLength(where)) != 0 ||
        ::listen(fd.get(), kListenBacklog) != 0)
        return errno;
    m_socket = std::move(fd);
    return 0;
}

int CSocketWnd::OpenListen(int port, const std::string& address)
{
    sockaddr_storage where{};
    if (port < kFirstPort || port > kLastPort || IsOpen() || !ListenAddress(address, port, where))
        return kSocketNotPossible;
    Reset(true);
    if (!CreateWindow()) {
        Reset(false);
        return kSocketNoWindow;
    }
    int error = BindAndListen(where);
    if (error != 0 && address.empty() && NoIPv6(error)) {
        // A machine without IPv6 still listens on every IPv4 address.
        ListenAddress("0.0.0.0", port, where);
        error = BindAndListen(where);
    }
    if (error != 0) {
        FailAndReset(error);
        return kSocketCallFailed;
    }
    m_bListening = true;
    if (!WatchSocket(false)) {
        FailAndReset(ENOMEM);
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

int CSocketWnd::SetKeepAlive(int idleSeconds)
{
    if (!IsOpen() || m_bListening || idleSeconds < 0 || idleSeconds > kMaxKeepAliveSeconds)
        return kSocketNotPossible;
    const int fd = m_socket.get();
    const int on = idleSeconds > 0 ? 1 : 0;
    const int interval = KeepAliveInterval(idleSeconds);
    const int probes = kKeepAliveProbes;
    // Unacknowledged data is given up after the same span as a silent peer.
    const unsigned userTimeoutMs = on ? static_cast<unsigned>(idleSeconds + probes * interval) * 1000u : 0u;
    const bool ok = setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) == 0 &&
                    (!on || (setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idleSeconds, sizeof idleSeconds) == 0 &&
                             setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval) == 0 &&
                             setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes) == 0)) &&
                    setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &userTimeoutMs, sizeof userTimeoutMs) == 0;
    if (!ok) {
        m_nLastError = errno;
        return kSocketCallFailed;
    }
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

int CSocketWnd::QueueSend(ByteBlock data) { return Queue(std::move(data), false); }

int CSocketWnd::QueueDroppable(ByteBlock data) { return Queue(std::move(data), true); }

std::size_t CSocketWnd::DropUnsent()
{
    std::size_t dropped = 0;
    for (auto it = m_sendQueue.begin(); it != m_sendQueue.end();) {
        const bool begun = it == m_sendQueue.begin() && m_nCursorSent != 0;
        if (!it->droppable || begun) {
            ++it;
            continue;
        }
        dropped += it->data.Count();
        PostNotice(kNoticeSendFailed, platform::IdParam(it->id));
        it = m_sendQueue.erase(it);
    }
    m_nQueuedBytes -= dropped;
    return dropped;
}

int CSocketWnd::Queue(ByteBlock data, bool droppable)
{
    if (!IsOpen() || m_bListening || data.IsNull() || m_nConnectionError != 0)
        return kSocketNotPossible;
    const std::uint8_t* id = data.Data();
    const std::uint32_t count = data.Count();
    try {
        m_sendQueue.push_back(SendItem{std::move(data), id, droppable});
    } catch (const std::bad_alloc&) {
        return kSocketNoWindow;
    }
    m_nQueuedBytes += count;
    PostReport(kFdWrite);
    return kSocketOk;
}

void CSocketWnd::SendQueued()
{
    // A write report already posted finds the queue sent and does nothing;
    // an armed notifier means the socket is full, and says when it is not.
    if (m_sendQueue.empty() || (m_pWriteNotifier && m_pWriteNotifier->isEnabled()) || !IsOpen() || m_bListening)
        return;
    SendOnce();
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
    ByteBlock buffer = ByteBlock::Allocate(m_nReceiveBlockSize);
    if (buffer.IsNull()) {
        // The socket stays readable: the notifier tries again.
        PostNotice(kNoticeReceiveFailed, 0);
        return Received::Nothing;
    }
    const ssize_t got = ::recv(m_socket.get(), buffer.Data(), m_nReceiveBlockSize, 0);
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
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (!IsOpen() || getsockname(m_socket.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return {};
    return AddressText(address);
}

std::string CSocketWnd::PeerName() const
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (!IsOpen() || getpeername(m_socket.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return {};
    return AddressText(address);
}

}  // namespace net
