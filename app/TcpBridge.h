#pragma once
// The one-client TCP server and its bridge to the serial line: every block
// the device sends also goes to the client (a copy, as received), and every
// block from the client is shown as sent text and written to the line. The
// frame owns one; the bridge reaches the serial line through the frame's
// LineSender and the terminal and the event box through the hooks it hands
// in, so the socket layer stays apart from all of them.
//
// Choices where the plain design would lose data or stall:
//  - a second client is accepted and closed at once, with one event-box line
//    (or, with takeover on, replaces the first, whose blocks still go to the
//    line); whether the slot is taken is judged on what the client has done
//    by then (read at that moment), so a client that has just left never
//    blocks its successor;
//  - TCP keepalive (and a user timeout of the same span) frees the slot of a
//    client whose machine went away; an idle timeout, when set, frees it
//    from one that is there but says and gets nothing;
//  - a client that has finished sending (its half of the connection closed)
//    keeps receiving what the device answers until it closes its side, the
//    device has been quiet for kHalfClosedQuietMs, or a new client comes;
//  - a client that ends with an error frees the slot like one that leaves,
//    and the event box names the error;
//  - a client block goes to the line whole, in order, without the display's
//    line feed, and waits (reading from the client pauses) while the line's
//    write queue is full instead of being dropped; the line says when
//    there is room again. What a client sent before it left still goes out;
//  - blocks that arrive while the serial port is closed are shown but not
//    sent, and the event box says so once for each such stretch;
//  - a client that reads slower than the device sends is disconnected once
//    the bytes waiting for it pass a bound, and the event box says so.
//
// In the telnet and RFC 2217 modes the client's bytes pass through a telnet
// layer before the line (commands out, answers back to the client) and every
// 0xFF from the device is doubled on its way to the client; RFC 2217 port
// settings reach the port through the ComPortDevice the frame hands in.

#include "net/ByteBlock.h"
#include "net/SocketWnd.h"
#include "app/TcpMode.h"
#include "platform/WindowMessage.h"

#include <QTimer>

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class LineSender;
namespace net {
class CWinsockInit;
class ComPortControl;
class ComPortDevice;
class TelnetStream;
}  // namespace net
namespace platform { class QtMessageWindow; }

inline constexpr unsigned WM_TCP_LISTEN_NOTICE = platform::WM_USER + 9;
inline constexpr unsigned WM_TCP_CLIENT_NOTICE = platform::WM_USER + 10;
// The bridge's own: serial bytes gathered this wake-up go to the client.
inline constexpr unsigned WM_TCP_CLIENT_FLUSH = platform::WM_USER + 13;

class CTcpBridge {
public:
    static constexpr int kDefaultPort = 2000;
    // Serial bytes waiting for a client before it is cut off.
    static constexpr std::size_t kDefaultClientBacklogLimit = std::size_t{16} << 20;
    // Write requests on the line before client blocks wait for room; with
    // requests of at most 1024 bytes this stays well inside the engine's queue.
    static constexpr std::size_t kSerialBacklogLimit = 768;
    // The most one read from the client takes: a whole socket buffer's worth
    // goes to the line in one hand-over.
    static constexpr std::uint32_t kClientReadSize = 64 * 1024;
    // How long a client that has finished sending is still served while the
    // device says nothing.
    static constexpr int kHalfClosedQuietMs = 3000;
    // Seconds of silence before the first keepalive probe.
    static constexpr int kDefaultKeepAliveSeconds = 30;
    // How often an RFC 2217 client's modem lines are looked at for a notice.
    static constexpr int kModemPollMs = 200;

    struct Hooks {
        std::function<void(const char* bytes, int length)> showSent;  // terminal, sent colour
        std::function<bool()> receiveLF;                              // the receive-LF option
        std::function<void(std::string_view text)> reportEvent;  // event box and event log
        std::function<void(std::string_view text, std::string_view detail)> eventMessage;
    };

    explicit CTcpBridge(Hooks hooks);
    ~CTcpBridge();
    CTcpBridge(const CTcpBridge&) = delete;
    CTcpBridge& operator=(const CTcpBridge&) = delete;

    // Open and close the server (the menu commands; closing also at shutdown).
    void OpenServer();
    void CloseServer();
    // A block from the serial line, before anything else touches it. It is
    // gathered with the others of this wake-up and goes out in one write
    // once the blocks already waiting have been handled.
    void RelayToClient(const std::uint8_t* data, std::uint32_t length);
    // What is gathered goes out now: the line has gone quiet, so nothing
    // else is on its way to join it.
    void FlushToClient();
    // The serial port's device went away for good: the client is let go with
    // the reason rather than left talking into a void.
    void SerialDeviceGone();
    // The serial line; null: none, as if the port were closed.
    void SetLine(LineSender* line) { m_pLine = line; }
    // What RFC 2217 clients set; null: COM-PORT-OPTION is refused.
    void SetComPort(net::ComPortDevice* port) { m_pComPort = port; }
    // For the next client.
    void SetMode(TcpMode mode) { m_mode = mode; }
    TcpMode Mode() const { return m_mode; }

    int ServerPort() const { return m_nServerPort; }
    // Takes effect at the next open.
    void SetServerPort(int port) { m_nServerPort = port; }
    // An IPv4 or IPv6 address in text; empty (the default) listens on every
    // address. Takes effect at the next open.
    void SetBindAddress(std::string address) { m_strBindAddress = std::move(address); }
    // For the next client; 0: no keepalive.
    void SetKeepAlive(int seconds) { m_nKeepAliveSeconds = seconds; }
    // A client that neither sends nor gets anything this long is let go; 0: never.
    void SetIdleTimeout(int seconds);
    int IdleTimeout() const { return m_nIdleTimeoutSeconds; }
    // A new client replaces the one served instead of being turned away.
    void SetTakeover(bool on) { m_bTakeover = on; }
    bool Takeover() const { return m_bTakeover; }
    void SetClientBacklogLimit(std::size_t bytes) { m_nClientBacklogLimit = bytes; }

    bool IsListening() const { return m_pListenSocket != nullptr; }
    bool IsServing() const { return m_pClientSocket != nullptr; }
    net::CSocketWnd* ListenSocket() const { return m_pListenSocket.get(); }
    net::CSocketWnd* ClientSocket() const { return m_pClientSocket.get(); }
    bool HoldsWinsock() const { return m_pWinsock != nullptr; }

    // Notices of the listening socket and of the client socket.
    platform::LRESULT OnListenNotice(platform::WPARAM code, platform::LPARAM lParam);
    platform::LRESULT OnClientNotice(platform::WPARAM code, platform::LPARAM lParam);

private:
    void Report(const std::string& text) const;
    // Moves client blocks to the line, in order, as far as the line takes them.
    void PumpClient();
    // Shows one block from the client and queues it for the line.
    void TakeFromClient(net::ByteBlock block);
    // False while the line has no room for it yet.
    bool ForwardToSerial(const net::ByteBlock& block);
    void WaitForSerialRoom();
    // The line's write queue has room again (or the port has closed).
    void OnSerialRoom();
    void ShowFromClient(const net::ByteBlock& block);
    // Everything the client sent is taken first: it still goes to the line.
    void DropClient(const std::string& why);
    std::string ClientLeftText() const;
    // Accepts the waiting connection; a client still served (takeover) is
    // dropped for it.
    void AcceptClient();
    // Keepalive and the idle clock for a client just accepted.
    void StartServing();
    void NoteTraffic();
    // The telnet layer of a client just accepted, and its greeting.
    void StartProtocol();
    // A subnegotiation from the client (RFC 2217 requests).
    void OnSubnegotiation(std::uint8_t option, const std::uint8_t* data, std::size_t length);
    // Protocol answers for the client as they are, after the serial bytes
    // gathered before them.
    void SendToClient(const std::uint8_t* data, std::size_t length);
    // One block to the client's queue, sent at once when the socket has room.
    void QueueToClient(net::ByteBlock block, std::size_t length, bool serialData = false);
    void ScheduleFlush();
    // The client's telnet layer goes; what it set on the port is undone.
    void EndProtocol();
    // Serial bytes held while the client asked to suspend go out.
    void ReleaseHeld();
    // A modem state notice, when the lines the client watches changed.
    void PollModemState();

    Hooks m_hooks;
    LineSender* m_pLine = nullptr;
    int m_nServerPort = kDefaultPort;
    std::string m_strBindAddress;
    int m_nKeepAliveSeconds = kDefaultKeepAliveSeconds;
    int m_nIdleTimeoutSeconds = 0;
    bool m_bTakeover = false;
    std::size_t m_nClientBacklogLimit = kDefaultClientBacklogLimit;
    TcpMode m_mode = TcpMode::Raw;
    net::ComPortDevice* m_pComPort = nullptr;

    std::unique_ptr<platform::QtMessageWindow> m_pWindow;  // receives both sockets' notices
    std::unique_ptr<net::CWinsockInit> m_pWinsock;
    std::unique_ptr<net::CSocketWnd> m_pListenSocket;
    std::unique_ptr<net::CSocketWnd> m_pClientSocket;

    std::string m_strClientName;
    std::unique_ptr<net::TelnetStream> m_pTelnet;        // telnet and RFC 2217 modes
    std::unique_ptr<net::ComPortControl> m_pComControl;  // RFC 2217 mode with a port
    std::vector<std::uint8_t> m_fromTelnet;  // scratch: the client's data, its answers
    std::vector<std::uint8_t> m_telnetReplies;
    std::vector<std::uint8_t> m_toClient;    // serial bytes (escaped) gathered for the client
    bool m_bFlushPosted = false;             // WM_TCP_CLIENT_FLUSH is on its way
    std::vector<std::uint8_t> m_held;        // serial bytes while the client suspended them
    std::deque<net::ByteBlock> m_toLine;  // shown, waiting for room on the line
    bool m_bWaitingForRoom = false;       // the engine will say when there is room
    bool m_bClosedPortReported = false;   // this stretch of blocks for a closed port was reported
    QTimer m_serialRetry;                 // room by count but not by bytes: a short wait
    QTimer m_halfClosedQuiet;             // ends a client that has finished sending
    QTimer m_idle;                        // ends a client with no traffic either way
    QTimer m_modemPoll;                   // modem state notices for an RFC 2217 client
    // A client block and the display's line feed.
    std::vector<std::uint8_t> m_display;
};
