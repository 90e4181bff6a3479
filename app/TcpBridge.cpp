#include "app/TcpBridge.h"

#include "app/ReceiveLineFeed.h"
#include "net/ComPortControl.h"
#include "net/TelnetStream.h"
#include "net/WinsockInit.h"
#include "platform/MessageBox.h"
#include "platform/QtMessageWindow.h"
#include "platform/SystemError.h"
#include "resources/StringTable.h"
#include "text/LineSender.h"

#include <cstring>

namespace {

constexpr std::uint16_t kSocketsVersion = 0x0101;  // 1.1
constexpr int kSerialRetryMs = 5;

// Where the server tried to listen, as a failure names it.
std::string ListenPlaceText(const std::string& address, int port)
{
    if (address.empty())
        return "port " + std::to_string(port);
    const bool v6 = address.find(':') != std::string::npos;
    return (v6 ? "[" + address + "]" : address) + ":" + std::to_string(port);
}

std::string SizeText(std::size_t bytes)
{
    if (bytes >= (std::size_t{1} << 20))
        return std::to_string((bytes + (std::size_t{1} << 19)) >> 20) + " MB";
    return std::to_string(bytes) + " bytes";
}

}  // namespace

CTcpBridge::CTcpBridge(Hooks hooks)
    : m_hooks(std::move(hooks)), m_pWindow(std::make_unique<platform::QtMessageWindow>())
{
    m_pWindow->SetHandler(WM_TCP_LISTEN_NOTICE, [this](platform::WPARAM w, platform::LPARAM l) {
        return OnListenNotice(w, l);
    });
    m_pWindow->SetHandler(WM_TCP_CLIENT_NOTICE, [this](platform::WPARAM w, platform::LPARAM l) {
        return OnClientNotice(w, l);
    });
    m_pWindow->SetHandler(WM_TCP_CLIENT_FLUSH, [this](platform::WPARAM, platform::LPARAM) {
        m_bFlushPosted = false;
        FlushToClient();
        return 0;
    });
    m_serialRetry.setSingleShot(true);
    m_serialRetry.setInterval(kSerialRetryMs);
    m_serialRetry.callOnTimeout([this] { PumpClient(); });
    m_halfClosedQuiet.setSingleShot(true);
    m_halfClosedQuiet.setInterval(kHalfClosedQuietMs);
    m_halfClosedQuiet.callOnTimeout([this] { DropClient(ClientLeftText()); });
    m_modemPoll.setInterval(kModemPollMs);
    m_modemPoll.callOnTimeout([this] { PollModemState(); });
    m_idle.setSingleShot(true);
    m_idle.callOnTimeout([this] {
        DropClient("TCP client " + m_strClientName + " disconnected: idle for " +
                   std::to_string(m_nIdleTimeoutSeconds) + " s");
    });
}

CTcpBridge::~CTcpBridge()
{
    // Sockets close quietly: nobody is left to hear their notices.
    m_serialRetry.stop();
    m_halfClosedQuiet.stop();
    m_idle.stop();
    m_modemPoll.stop();
    m_pClientSocket.reset();
    m_pListenSocket.reset();
    m_pWinsock.reset();
}

void CTcpBridge::Report(const std::string& text) const
{
    if (m_hooks.reportEvent)
        m_hooks.reportEvent(text);
}

void CTcpBridge::OpenServer()
{
    if (m_pListenSocket) {
        // The one listening socket stays as it is.
        Report("TCP server already listening on " + m_pListenSocket->LocalName());
        return;
    }
    if (!m_pWinsock) {
        m_pWinsock = std::make_unique<net::CWinsockInit>(kSocketsVersion);
        if (m_pWinsock->Start() != 0) {
            const int error = m_pWinsock->LastError();
            m_pWinsock.reset();
            platform::ShowMessageBox(res::kWinsockInitFailed,
                                     platform::DescribeFailure("Cannot set up sockets", "", error));
            return;
        }
    }
    m_pListenSocket = std::make_unique<net::CSocketWnd>(m_pWindow.get(), WM_TCP_LISTEN_NOTICE);
    const int result = m_pListenSocket->OpenListen(m_nServerPort, m_strBindAddress);
    if (result != net::kSocketOk) {
        std::string detail;
        if (result == net::kSocketNotPossible && (m_nServerPort < net::kFirstPort || m_nServerPort > net::kLastPort))
            detail = "Port " + std::to_string(m_nServerPort) + " is outside 1 to 65535.";
        else if (result == net::kSocketNotPossible)
            detail = platform::DescribeFailure("Cannot listen on", ListenPlaceText(m_strBindAddress, m_nServerPort),
                                               "not an IPv4 or IPv6 address");
        else if (result == net::kSocketCallFailed)
            detail = platform::DescribeFailure("Cannot listen on",
                                               ListenPlaceText(m_strBindAddress, m_nServerPort),
                                               m_pListenSocket->LastError());
        else
            detail = "Not enough memory for the listening socket.";
        m_pListenSocket.reset();
        // The sockets holder stays until the server is closed.
        platform::ShowMessageBox(res::kStreamSocketInitFailed, detail);
        return;
    }
    Report("TCP server listening on " + m_pListenSocket->LocalName());
}

void CTcpBridge::CloseServer()
{
    const bool wasListening = m_pListenSocket != nullptr;
    if (m_pListenSocket) {
        m_pListenSocket->Close();
        m_pListenSocket.reset();
    }
    if (m_pClientSocket) {
        m_pClientSocket->Close();
        m_pClientSocket.reset();
        EndProtocol();
        Report("TCP client " + m_strClientName + " disconnected: the server was closed");
    }
    // Closed by hand: what the client sent and the line has not taken goes.
    m_toLine.clear();
    m_toClient.clear();
    m_serialRetry.stop();
    m_halfClosedQuiet.stop();
    m_idle.stop();
    if (m_pWinsock) {
        m_pWinsock->CleanUp();
        m_pWinsock.reset();
    }
    if (wasListening)
        Report("TCP server closed");
}

platform::LRESULT CTcpBridge::OnListenNotice(platform::WPARAM code, platform::LPARAM)
{
    if (code != net::kNoticeAcceptable || !m_pListenSocket)
        return 0;
    if (m_pClientSocket) {
        // The client's end may still be on its way as notices: judge the
        // slot on what the client has done by now. One that has finished
        // sending makes way for the newcomer.
        m_pClientSocket->CatchUp();
        PumpClient();
        if (m_pClientSocket->ReceiveEnded())
            DropClient(ClientLeftText());
    }
    if (m_pClientSocket && !m_bTakeover) {
        // Taken and closed at once: the caller learns at once, and the next
        // waiting connection can be reported.
        m_pListenSocket->Refuse();
        Report(res::kAlreadyServing);
        return 0;
    }
    AcceptClient();
    return 0;
}

void CTcpBridge::AcceptClient()
{
    auto client = std::make_unique<net::CSocketWnd>(m_pWindow.get(), WM_TCP_CLIENT_NOTICE);
    const int result = m_pListenSocket->Accept(client.get());
    if (result != net::kSocketOk) {
        const std::string detail =
            result == net::kSocketCallFailed
                ? platform::DescribeFailure("Cannot accept a connection on", m_pListenSocket->LocalName(),
                                            m_pListenSocket->LastError())
                : std::string("Not enough memory for the client socket.");
        if (m_hooks.eventMessage)
            m_hooks.eventMessage(res::kErrorAccepting, detail);
        return;
    }
    const std::string name = client->PeerName();
    if (m_pClientSocket)
        DropClient("TCP client " + m_strClientName + " disconnected: replaced by " + name);
    m_pClientSocket = std::move(client);
    m_strClientName = name;
    Report("TCP client " + m_strClientName + " connected" +
           (m_mode == TcpMode::Raw ? std::string() : std::string(" (") + TcpModeName(m_mode) + ")"));
    StartServing();
    StartProtocol();
}

void CTcpBridge::StartProtocol()
{
    m_pTelnet.reset();
    m_pComControl.reset();
    m_held.clear();
    if (m_mode == TcpMode::Raw)
        return;
    const bool comPort = m_mode == TcpMode::Rfc2217 && m_pComPort != nullptr;
    m_pTelnet = std::make_unique<net::TelnetStream>(comPort);
    if (comPort) {
        m_pComControl = std::make_unique<net::ComPortControl>(*m_pComPort, "Kestrana");
        m_modemPoll.start();
    }
    m_pTelnet->SetSubnegotiationHandler([this](std::uint8_t option, const std::uint8_t* data, std::size_t length) {
        OnSubnegotiation(option, data, length);
    });
    const std::vector<std::uint8_t> greeting = m_pTelnet->Greeting();
    SendToClient(greeting.data(), greeting.size());
}

void CTcpBridge::OnSubnegotiation(std::uint8_t option, const std::uint8_t* data, std::size_t length)
{
    if (option != net::TelnetStream::kOptComPort || !m_pComControl || !m_pTelnet ||
        !m_pTelnet->TheyDo(net::TelnetStream::kOptComPort))
        return;
    // A purge of the transmit buffer also drops client blocks still waiting
    // for the line; one of the receive buffer, serial bytes still waiting
    // for the client (a block the socket has begun goes out whole).
    if (length >= 2 && data[0] == net::ComPortControl::kPurgeData && (data[1] == 2 || data[1] == 3))
        m_toLine.clear();
    if (length >= 2 && data[0] == net::ComPortControl::kPurgeData && (data[1] == 1 || data[1] == 3)) {
        m_toClient.clear();
        m_held.clear();
        if (m_pClientSocket)
            m_pClientSocket->DropUnsent();
    }
    // After the negotiation answers of the same block, in order: the block's
    // answers go out together once it is read.
    for (const std::vector<std::uint8_t>& reply : m_pComControl->Handle(data, length)) {
        const std::vector<std::uint8_t> bytes = net::TelnetStream::Subnegotiation(option, reply);
        m_telnetReplies.insert(m_telnetReplies.end(), bytes.begin(), bytes.end());
    }
    if (!m_pComControl->Suspended())
        ReleaseHeld();
}

void CTcpBridge::EndProtocol()
{
    // What the client set on the port is undone before anyone else is served.
    if (m_pComControl && m_pComPort != nullptr)
        m_pComPort->ClientGone();
    m_modemPoll.stop();
    m_pComControl.reset();
    m_pTelnet.reset();
    m_held.clear();
}

void CTcpBridge::PollModemState()
{
    if (!m_pComControl || !m_pTelnet || !m_pTelnet->TheyDo(net::TelnetStream::kOptComPort))
        return;
    const std::vector<std::uint8_t> notice = m_pComControl->ModemStateNotice();
    if (notice.empty())
        return;
    const std::vector<std::uint8_t> bytes = net::TelnetStream::Subnegotiation(net::TelnetStream::kOptComPort, notice);
    SendToClient(bytes.data(), bytes.size());
}

void CTcpBridge::SendToClient(const std::uint8_t* data, std::size_t length)
{
    if (!m_pClientSocket || length == 0 || m_pClientSocket->ConnectionError() != 0)
        return;
    FlushToClient();
    QueueToClient(net::ByteBlock::Copy(data, static_cast<std::uint32_t>(length)), length);
}

void CTcpBridge::QueueToClient(net::ByteBlock block, std::size_t length, bool serialData)
{
    // Serial bytes may be purged later; protocol answers never are.
    const int result = block.IsNull()  ? net::kSocketNoWindow
                       : serialData    ? m_pClientSocket->QueueDroppable(std::move(block))
                                       : m_pClientSocket->QueueSend(std::move(block));
    if (result == net::kSocketOk)
        m_pClientSocket->SendQueued();
    else if (m_hooks.eventMessage)
        m_hooks.eventMessage(res::kErrorSending, std::to_string(length) +
                                                     " bytes for the TCP client could not be queued.");
}

void CTcpBridge::ScheduleFlush()
{
    // Posted behind the serial blocks already waiting: they join this write.
    if (!m_bFlushPosted)
        m_bFlushPosted = m_pWindow->PostMessage(WM_TCP_CLIENT_FLUSH, 0, 0);
    if (!m_bFlushPosted)
        FlushToClient();
}

void CTcpBridge::FlushToClient()
{
    if (m_toClient.empty())
        return;
    if (!m_pClientSocket || m_pClientSocket->ConnectionError() != 0) {
        m_toClient.clear();
        return;
    }
    const std::size_t length = m_toClient.size();
    net::ByteBlock block = net::ByteBlock::Copy(m_toClient.data(), static_cast<std::uint32_t>(length));
    m_toClient.clear();
    QueueToClient(std::move(block), length, true);
}

void CTcpBridge::ReleaseHeld()
{
    if (m_held.empty())
        return;
    // Held as the device sent them: escaped only now, like any serial bytes.
    if (m_pClientSocket && m_pClientSocket->ConnectionError() == 0) {
        if (m_pTelnet)
            net::TelnetStream::Escape(m_held.data(), m_held.size(), m_toClient);
        else
            m_toClient.insert(m_toClient.end(), m_held.begin(), m_held.end());
        ScheduleFlush();
    }
    m_held.clear();
}

void CTcpBridge::StartServing()
{
    m_pClientSocket->SetReceiveBlockSize(kClientReadSize);
    // The layer owns the copies sent to the client: nothing to do when one
    // has gone out.
    m_pClientSocket->SetSendNotices(false);
    if (m_pClientSocket->SetKeepAlive(m_nKeepAliveSeconds) == net::kSocketCallFailed)
        Report(platform::DescribeFailure("Cannot set TCP keepalive for", m_strClientName,
                                         m_pClientSocket->LastError()));
    NoteTraffic();
}

void CTcpBridge::SetIdleTimeout(int seconds)
{
    m_nIdleTimeoutSeconds = seconds;
    if (seconds <= 0)
        m_idle.stop();
    else if (m_pClientSocket)
        NoteTraffic();  // the new span counts from now
}

void CTcpBridge::NoteTraffic()
{
    if (m_nIdleTimeoutSeconds > 0)
        m_idle.start(m_nIdleTimeoutSeconds * 1000);
}

platform::LRESULT CTcpBridge::OnClientNotice(platform::WPARAM code, platform::LPARAM)
{
    if (!m_pClientSocket)
        return 0;
    switch (code) {
    case net::kNoticeReceived:
        NoteTraffic();
        PumpClient();
        break;
    case net::kNoticeClosed:
        // A notice of a client already dropped finds its successor here: the
        // socket's own state decides.
        if (m_pClientSocket->ConnectionError() != 0) {
            DropClient(ClientLeftText());
        } else if (m_pClientSocket->ReceiveEnded()) {
            PumpClient();
            m_halfClosedQuiet.start();
        }
        break;
    default:
        // 1 and 2 are not asked for; 4 is read from the socket's state; 6
        // needs nothing.
        break;
    }
    return 0;
}

void CTcpBridge::PumpClient()
{
    for (;;) {
        while (!m_toLine.empty()) {
            if (!ForwardToSerial(m_toLine.front())) {
                // The line is full: the client waits (its blocks stay
                // queued, and reading stops once the queue is full).
                WaitForSerialRoom();
                return;
            }
            m_toLine.pop_front();
        }
        net::ByteBlock block = m_pClientSocket ? m_pClientSocket->TakeReceived() : net::ByteBlock{};
        if (block.IsNull())
            return;
        TakeFromClient(std::move(block));
    }
}

void CTcpBridge::TakeFromClient(net::ByteBlock block)
{
    if (m_pTelnet) {
        m_fromTelnet.clear();
        m_telnetReplies.clear();
        m_pTelnet->Feed(block.Data(), block.Count(), m_fromTelnet, m_telnetReplies);
        SendToClient(m_telnetReplies.data(), m_telnetReplies.size());
        if (m_fromTelnet.empty())
            return;
        block = net::ByteBlock::Copy(m_fromTelnet.data(), static_cast<std::uint32_t>(m_fromTelnet.size()));
        if (block.IsNull())
            return;
    }
    ShowFromClient(block);
    m_toLine.push_back(std::move(block));
}

void CTcpBridge::WaitForSerialRoom()
{
    if (m_bWaitingForRoom || m_serialRetry.isActive())
        return;
    if (m_pLine != nullptr && m_pLine->WatchRoom(kSerialBacklogLimit / 2, [this] { OnSerialRoom(); }))
        m_bWaitingForRoom = true;
    else
        m_serialRetry.start();  // room by count, not yet by bytes
}

void CTcpBridge::OnSerialRoom()
{
    m_bWaitingForRoom = false;
    PumpClient();
}

std::string CTcpBridge::ClientLeftText() const
{
    const int error = m_pClientSocket ? m_pClientSocket->ConnectionError() : 0;
    return "TCP client " + m_strClientName + " left" +
           (error != 0 ? " (" + platform::ErrorText(error) + ")" : "");
}

void CTcpBridge::ShowFromClient(const net::ByteBlock& block)
{
    if (!m_hooks.showSent)
        return;
    const std::uint32_t count = block.Count();
    if (!(m_hooks.receiveLF && m_hooks.receiveLF())) {
        m_hooks.showSent(reinterpret_cast<const char*>(block.Data()), static_cast<int>(count));
        return;
    }
    // The line feed is for the display only; the block itself stays as the
    // client sent it. The copy has room for the block and the line feed.
    m_display.resize(std::size_t{count} + 2);
    std::memcpy(m_display.data(), block.Data(), count);
    std::uint32_t shown = count;
    InsertLineFeedAfterFirstCR(m_display.data(), shown, static_cast<std::uint32_t>(m_display.size()));
    m_hooks.showSent(reinterpret_cast<const char*>(m_display.data()), static_cast<int>(shown));
}

bool CTcpBridge::ForwardToSerial(const net::ByteBlock& block)
{
    if (m_pLine == nullptr || !m_pLine->IsPortOpen()) {
        // Shown only.
        if (!m_bClosedPortReported)
            Report("TCP client data not sent: the serial port is closed");
        m_bClosedPortReported = true;
        return true;
    }
    m_bClosedPortReported = false;
    if (m_pLine->Backlog() > kSerialBacklogLimit)
        return false;
    if (m_pLine->SendBytes(block.Data(), block.Count()))
        return true;
    // Refused while still open: the queue filled up meanwhile; try again.
    return !m_pLine->IsPortOpen();
}

void CTcpBridge::RelayToClient(const std::uint8_t* data, std::uint32_t length)
{
    if (!m_pClientSocket || length == 0 || m_pClientSocket->ConnectionError() != 0)
        return;
    if (m_pClientSocket->ReceiveEnded())
        m_halfClosedQuiet.start();  // the device is not quiet yet
    NoteTraffic();
    const std::size_t waiting = m_pClientSocket->QueuedSendBytes() + m_toClient.size() + m_held.size();
    if (waiting + length > m_nClientBacklogLimit) {
        DropClient("TCP client " + m_strClientName + " disconnected: " + SizeText(waiting) +
                   " of serial data were waiting for it (it reads too slowly)");
        return;
    }
    if (m_pComControl && m_pComControl->Suspended()) {
        m_held.insert(m_held.end(), data, data + length);
        return;
    }
    if (m_pTelnet)
        net::TelnetStream::Escape(data, length, m_toClient);
    else
        m_toClient.insert(m_toClient.end(), data, data + length);
    ScheduleFlush();
}

void CTcpBridge::SerialDeviceGone()
{
    if (m_pClientSocket)
        DropClient("TCP client " + m_strClientName + " disconnected: the serial port's device went away");
}

void CTcpBridge::DropClient(const std::string& why)
{
    if (m_pClientSocket) {
        for (net::ByteBlock block; !(block = m_pClientSocket->TakeReceived()).IsNull();)
            TakeFromClient(std::move(block));
        m_pClientSocket->Close();
        m_pClientSocket.reset();
    }
    m_toClient.clear();
    EndProtocol();
    m_halfClosedQuiet.stop();
    m_idle.stop();
    Report(why);
    PumpClient();
}
