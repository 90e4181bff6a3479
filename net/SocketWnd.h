#pragma once
// A non-blocking TCP socket driven by the Qt event loop. Readiness reports
// (the select reports of the socket's hidden window) come from socket
// notifiers or from reports the object posts to itself; the object turns them
// into reads, queued writes and short notices posted to its owner under a
// message number the owner chose. Received blocks wait in a queue until the
// owner takes them; blocks to send wait in a queue until the socket takes
// them. Only the server side exists: a listening socket and the connections
// it accepts. Everything runs on the thread that owns the object.

#include "net/ByteBlock.h"
#include "platform/UniqueFd.h"
#include "platform/WindowMessage.h"

#include <sys/socket.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

class QSocketNotifier;
namespace platform { class QtMessageWindow; }

namespace net {

// Notices posted to the owner: wParam the code, lParam as said.
enum SocketNotice : platform::WPARAM {
    kNoticeSent = 1,         // a send item went out whole; lParam identifies it (below)
    kNoticeSendFailed = 2,   // a send item failed or was dropped by Close; lParam identifies it
    kNoticeReceived = 3,     // a block was queued; lParam: blocks now in the receive queue
    kNoticeReceiveFailed = 4,  // receiving failed (an error other than would-block, or no memory)
    kNoticeAcceptable = 5,   // a connection waits to be accepted (listening socket)
    kNoticeConnected = 6,    // the socket is connected (after an accept)
    kNoticeClosed = 7,       // the connection has ended and every received block is queued
};

// Results of the operations.
enum SocketResult : int {
    kSocketOk = 0,
    kSocketNoWindow = 1,     // the hidden window (or an item) could not be made
    kSocketCallFailed = 2,   // a socket call failed; LastError() holds its errno
    kSocketNotPossible = 3,  // not in this state, or not with this argument
};

// The select report a socket's hidden window handles: wParam the descriptor,
// lParam the event in its low 16 bits and an error in its high 16 bits.
inline constexpr unsigned WM_SOCKET_REPORT = platform::WM_USER + 1;
enum SocketEvent : std::uint16_t {
    kFdRead = 0x01,
    kFdWrite = 0x02,
    kFdAccept = 0x08,
    kFdConnect = 0x10,
    kFdClose = 0x20,
};

inline constexpr std::uint32_t kReceiveBufferSize = 1596;
inline constexpr int kListenBacklog = 3;
inline constexpr int kFirstPort = 1;
inline constexpr int kLastPort = 65535;
// Keepalive probes before a silent peer is given up.
inline constexpr int kKeepAliveProbes = 3;
// Seconds between keepalive probes: the probes take about as long as the
// idle time before them (30 s idle: 10 s apart, given up after about 60 s).
constexpr int KeepAliveInterval(int idleSeconds) { return idleSeconds < 3 ? 1 : (idleSeconds + 2) / 3; }
// The longest keepalive idle time the kernel takes.
inline constexpr int kMaxKeepAliveSeconds = 32767;

class CSocketWnd {
public:
    // Blocks received and not taken before reading stops (and TCP makes the
    // peer wait) until the owner takes one.
    static constexpr std::size_t kReceiveQueueLimit = 64;

    // `owner` gets the notices as `noticeMessage`; it must outlive the object
    // or be replaced before it goes.
    CSocketWnd(platform::MessageTarget* owner, unsigned noticeMessage);
    // Drops both queues without notices and closes the socket.
    ~CSocketWnd();
    CSocketWnd(const CSocketWnd&) = delete;
    CSocketWnd& operator=(const CSocketWnd&) = delete;

    // Socket invalid, local address zeroed, listening cleared, cursor cleared;
    // the last error only when asked. Queues and window stay.
    void Reset(bool clearError);

    // Listens on `port` (1..65535, anything else is refused with 3, never
    // truncated) at `address`, an IPv4 or IPv6 address in text (refused with
    // 3 when it is neither). Empty: every IPv4 and IPv6 address, or every
    // IPv4 address on a machine without IPv6.
    int OpenListen(int port, const std::string& address = {});
    // On the listening object once notice 5 came: accepts into `client`,
    // which must never have been opened. The client's owner gets notice 6.
    int Accept(CSocketWnd* client);
    // On the listening object once notice 5 came: accepts the waiting
    // connection and closes it at once, so the next one can be reported.
    int Refuse();

    // Queues `data` (its count of bytes) for sending; the block stays the
    // layer's until notice 1 or 2, whose lParam is the address its first
    // byte had: an identifier only, the bytes are gone by then. Returns 0;
    // 1 when the item could not be queued (nothing is queued then); 3 when
    // the socket is not an open connection or the block is null.
    int QueueSend(ByteBlock data);
    // The same for bytes the owner may take back with DropUnsent().
    int QueueDroppable(ByteBlock data);
    // Droppable items not yet begun go (notice 2 each); an item partly sent
    // stays whole, so the stream stays intact. Returns the bytes dropped.
    std::size_t DropUnsent();

    // An owner that keeps nothing alive for the layer (the layer owns every
    // queued block) may go without notices 1 and 2: one posted message less
    // per block sent. On by default.
    void SetSendNotices(bool wanted) { m_bSendNotices = wanted; }

    // The most one read takes (kReceiveBufferSize unless set): an owner that
    // moves bulk data takes whole reads rather than small pieces.
    void SetReceiveBlockSize(std::uint32_t bytes) { m_nReceiveBlockSize = bytes == 0 ? 1 : bytes; }

    // Sends what is queued now, on the caller's turn, unless the socket has
    // no room: an owner that gathers everything of one wake-up sends it in
    // one write, without waiting for the write report.
    void SendQueued();

    // The oldest received block, now the caller's; a null block when none.
    ByteBlock TakeReceived();

    // Every queued send item gets notice 2 (oldest first) and goes, every
    // received block goes, the socket closes and the window goes. 3 when the
    // socket was not open.
    int Close();

    // On an open connection: TCP keepalive probes after `idleSeconds` of
    // silence, kKeepAliveProbes of them KeepAliveInterval() apart, and the
    // same span as TCP_USER_TIMEOUT, so a peer that vanished, or leaves sent
    // data unacknowledged, ends the connection with ETIMEDOUT. 0 turns both
    // off. 2 when a call failed (LastError()), 3 when not a connection.
    int SetKeepAlive(int idleSeconds);

    // Reads what the peer has sent by now, without waiting for the read
    // report: whoever judges the connection's state (has the peer finished
    // sending?) sees it as it is, not as the reports queued so far say.
    void CatchUp();

    bool IsOpen() const { return m_socket.valid(); }
    // The peer has finished sending (its end of stream, or an error).
    bool ReceiveEnded() const { return m_bReceiveEnded; }
    // errno of the error that broke the connection, in either direction
    // (a reset, a broken pipe); 0 while none has.
    int ConnectionError() const { return m_nConnectionError; }
    bool IsListening() const { return m_bListening; }
    int Handle() const { return m_socket.get(); }
    // errno of the last failing call, 0 when none.
    int LastError() const { return m_nLastError; }
    std::size_t ReceiveQueueCount() const { return m_receiveQueue.size(); }
    std::size_t SendQueueCount() const { return m_sendQueue.size(); }
    // Bytes queued for sending and not yet taken by the socket.
    std::size_t QueuedSendBytes() const { return m_nQueuedBytes; }
    // "a.b.c.d:port" or "[v6]:port" of this end and of the peer (an IPv4
    // peer on an IPv6 socket as IPv4); empty when unknown.
    std::string LocalName() const;
    std::string PeerName() const;

private:
    enum class Received { Block, Nothing, Ended };

    // The select report.
    platform::LRESULT OnSelectReport(platform::WPARAM wParam, platform::LPARAM lParam);
    Received ReceiveOnce();
    int Queue(ByteBlock data, bool droppable);
    void SendOnce();

    // 0, or the errno of the call that failed; the socket is held on success only.
    int BindAndListen(const sockaddr_storage& where);
    bool CreateWindow();
    // Socket notifiers on the open socket (the asynchronous select).
    bool WatchSocket(bool withWrite);
    void DestroyWindow();
    void PostReport(std::uint16_t event);
    void PostNotice(SocketNotice code, platform::LPARAM lParam);
    void FailAndReset(int error);
    // A send or receive failed for good: the stream cannot go on.
    void BreakConnection(int error);
    void ResumeReading();
    // Reports of waiting connections again: at once, or after a pause.
    void ResumeAccepting(bool now);
    void ArmWriteNotifier();

    platform::MessageTarget* m_pOwner;
    unsigned m_nNoticeMessage;
    platform::UniqueFd m_socket;
    int m_nLastError = 0;
    int m_nConnectionError = 0;
    bool m_bListening = false;

    struct SendItem {
        ByteBlock data;
        const std::uint8_t* id;  // the address reported in notices 1 and 2
        bool droppable;
    };
    std::deque<SendItem> m_sendQueue;
    std::deque<ByteBlock> m_receiveQueue;
    // Bytes of the head send item already sent; 0 while none is partly sent.
    std::uint32_t m_nCursorSent = 0;
    std::size_t m_nQueuedBytes = 0;
    std::uint32_t m_nReceiveBlockSize = kReceiveBufferSize;

    std::unique_ptr<platform::QtMessageWindow> m_pWindow;
    std::unique_ptr<QSocketNotifier> m_pReadNotifier;
    std::unique_ptr<QSocketNotifier> m_pWriteNotifier;
    bool m_bWriteReportPosted = false;  // a write report waits in the window's queue
    bool m_bReadPaused = false;         // the receive queue is full
    bool m_bReceiveEnded = false;       // end of stream or a fatal error seen
    bool m_bClosedNoticed = false;      // notice 7 has gone
    bool m_bSendNotices = true;         // notices 1 and 2 are posted
};

}  // namespace net
