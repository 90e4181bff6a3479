// The socket layer with real sockets on 127.0.0.1.

#include "NetTestSupport.h"

#include "net/SocketWnd.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include <sys/resource.h>

namespace {

using namespace nettest;
using net::ByteBlock;
using net::CSocketWnd;

constexpr unsigned kListenMessage = platform::WM_USER + 9;
constexpr unsigned kClientMessage = platform::WM_USER + 10;

ByteBlock Block(const std::string& bytes)
{
    return ByteBlock::Copy(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

platform::LPARAM Id(const ByteBlock& block)
{
    return reinterpret_cast<platform::LPARAM>(block.Data());
}

class SocketWndTest : public ::testing::Test {
protected:
    void SetUp() override { QtApp(); }

    // Listens on a free port of 127.0.0.1.
    void Listen()
    {
        for (int attempt = 0; attempt < 5; ++attempt) {
            m_port = FreePort();
            if (m_listen.OpenListen(m_port, INADDR_LOOPBACK) == net::kSocketOk)
                return;
        }
        FAIL() << "no port to listen on";
    }

    // A client connects and is accepted into m_server.
    void Connect(int receiveBuffer = 0)
    {
        Listen();
        ASSERT_TRUE(m_client.Connect(m_port, receiveBuffer));
        ASSERT_TRUE(PumpUntil([&] { return m_listenNotices.Count(net::kNoticeAcceptable) == 1; }));
        ASSERT_EQ(m_listen.Accept(&m_server), net::kSocketOk);
        ASSERT_TRUE(PumpUntil([&] { return m_serverNotices.Count(net::kNoticeConnected) == 1; }));
    }

    NoticeRecorder m_listenNotices{kListenMessage};
    NoticeRecorder m_serverNotices{kClientMessage};
    CSocketWnd m_listen{m_listenNotices.Target(), kListenMessage};
    CSocketWnd m_server{m_serverNotices.Target(), kClientMessage};
    TcpClient m_client;
    int m_port = 0;
};

TEST_F(SocketWndTest, PortsOutsideOneTo65535AreRefusedWithoutASocket)
{
    for (int port : {0, -1, -2000, 65536, 70000, 131072 + 2000}) {
        EXPECT_EQ(m_listen.OpenListen(port), net::kSocketNotPossible) << port;
        EXPECT_FALSE(m_listen.IsOpen()) << port;
        EXPECT_FALSE(m_listen.IsListening()) << port;
        EXPECT_EQ(m_listen.LastError(), 0) << port;
    }
}

TEST_F(SocketWndTest, APortInUseFailsAndKeepsItsError)
{
    const int port = FreePort();
    platform::UniqueFd other(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(other.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(other.get(), 1), 0);

    EXPECT_EQ(m_listen.OpenListen(port, INADDR_LOOPBACK), net::kSocketCallFailed);
    EXPECT_EQ(m_listen.LastError(), EADDRINUSE);
    EXPECT_FALSE(m_listen.IsOpen());
    // Every address includes the one in use.
    EXPECT_EQ(m_listen.OpenListen(port), net::kSocketCallFailed);
    // The object stays usable.
    Listen();
    EXPECT_TRUE(m_listen.IsListening());
    EXPECT_EQ(m_listen.LastError(), 0);
}

TEST_F(SocketWndTest, EveryLocalAddressUnlessOneIsGiven)
{
    const int port = FreePort();
    ASSERT_EQ(m_listen.OpenListen(port), net::kSocketOk);
    EXPECT_EQ(m_listen.LocalName(), "0.0.0.0:" + std::to_string(port));
    m_listen.Close();
    ASSERT_EQ(m_listen.OpenListen(port, INADDR_LOOPBACK), net::kSocketOk);
    EXPECT_EQ(m_listen.LocalName(), "127.0.0.1:" + std::to_string(port));
}

TEST_F(SocketWndTest, OpeningAnOpenSocketLeavesItListening)
{
    Listen();
    const int handle = m_listen.Handle();
    EXPECT_EQ(m_listen.OpenListen(m_port, INADDR_LOOPBACK), net::kSocketNotPossible);
    EXPECT_EQ(m_listen.OpenListen(FreePort(), INADDR_LOOPBACK), net::kSocketNotPossible);
    EXPECT_EQ(m_listen.Handle(), handle);
    ASSERT_TRUE(m_client.Connect(m_port));
    EXPECT_TRUE(PumpUntil([&] { return m_listenNotices.Count(net::kNoticeAcceptable) == 1; }));
}

TEST_F(SocketWndTest, AcceptConnectsTheNewObjectAndTellsItsOwner)
{
    Connect();
    EXPECT_TRUE(m_server.IsOpen());
    EXPECT_FALSE(m_server.IsListening());
    EXPECT_EQ(m_server.PeerName().rfind("127.0.0.1:", 0), 0u) << m_server.PeerName();
    // The notice went to the new object's owner, not to the listener's.
    EXPECT_EQ(m_listenNotices.Count(net::kNoticeConnected), 0u);

    // Accept needs a fresh object, a listening socket and a non-null target.
    NoticeRecorder other(kClientMessage);
    CSocketWnd fresh(other.Target(), kClientMessage);
    EXPECT_EQ(m_listen.Accept(nullptr), net::kSocketNotPossible);
    EXPECT_EQ(m_listen.Accept(&m_server), net::kSocketNotPossible);
    EXPECT_EQ(m_server.Accept(&fresh), net::kSocketNotPossible);
    EXPECT_TRUE(m_server.IsOpen());
}

TEST_F(SocketWndTest, ANextWaitingConnectionIsReportedOnlyAfterAccept)
{
    Listen();
    TcpClient second;
    ASSERT_TRUE(m_client.Connect(m_port));
    ASSERT_TRUE(second.Connect(m_port));
    ASSERT_TRUE(PumpUntil([&] { return m_listenNotices.Count(net::kNoticeAcceptable) == 1; }));
    Pump(100);
    EXPECT_EQ(m_listenNotices.Count(net::kNoticeAcceptable), 1u);
    ASSERT_EQ(m_listen.Accept(&m_server), net::kSocketOk);
    EXPECT_TRUE(PumpUntil([&] { return m_listenNotices.Count(net::kNoticeAcceptable) == 2; }));
}

TEST_F(SocketWndTest, RefuseClosesTheWaitingConnectionAndReportsTheNext)
{
    Listen();
    ASSERT_TRUE(m_client.Connect(m_port));
    ASSERT_TRUE(PumpUntil([&] { return m_listenNotices.Count(net::kNoticeAcceptable) == 1; }));
    EXPECT_EQ(m_listen.Refuse(), net::kSocketOk);
    EXPECT_TRUE(m_client.WaitClosedPumping(5000));
    TcpClient next;
    ASSERT_TRUE(next.Connect(m_port));
    EXPECT_TRUE(PumpUntil([&] { return m_listenNotices.Count(net::kNoticeAcceptable) == 2; }));
    EXPECT_EQ(m_server.Refuse(), net::kSocketNotPossible);  // not a listening socket
}

TEST_F(SocketWndTest, AnAcceptWithoutDescriptorsIsRetriedCalmly)
{
    Listen();
    ASSERT_TRUE(m_client.Connect(m_port));
    ASSERT_TRUE(PumpUntil([&] { return m_listenNotices.Count(net::kNoticeAcceptable) == 1; }));
    // No descriptor is left for the accepted connection.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    const int lowestFree = ::dup(0);
    ASSERT_GE(lowestFree, 0);
    ::close(lowestFree);
    rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(lowestFree);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
    // The owner tries again at every report, as the server does; the
    // connection still waits, so the reports go on, but not in a spin.
    std::size_t handled = 0;
    int result = net::kSocketOk;
    int error = 0;
    PumpUntil([&] {
        while (handled < m_listenNotices.Count(net::kNoticeAcceptable)) {
            ++handled;
            result = m_listen.Refuse();
            error = m_listen.LastError();
        }
        return false;
    }, 350);
    const std::size_t reports = m_listenNotices.Count(net::kNoticeAcceptable);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
    EXPECT_EQ(result, net::kSocketCallFailed);
    EXPECT_EQ(error, EMFILE);
    EXPECT_GE(reports, 2u);
    EXPECT_LE(reports, 6u);

    // With descriptors again, the report after the pause is accepted.
    ASSERT_TRUE(PumpUntil([&] { return m_listenNotices.Count(net::kNoticeAcceptable) > handled; }));
    ASSERT_EQ(m_listen.Accept(&m_server), net::kSocketOk);
    EXPECT_TRUE(PumpUntil([&] { return m_serverNotices.Count(net::kNoticeConnected) == 1; }));
}

TEST_F(SocketWndTest, ABlockTakenInPartsGivesOneNoticeOneWithItsStart)
{
    // Small buffers, so the platform takes only part of a block at a time.
    Connect(4096);
    const int small = 4096;
    setsockopt(m_server.Handle(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);

    // How much the connection holds while the client does not read.
    ByteBlock probe = Block(Pattern(1 << 20));
    ASSERT_EQ(m_server.QueueSend(std::move(probe)), net::kSocketOk);
    std::size_t queued = 0;
    int stable = 0;
    ASSERT_TRUE(PumpUntil([&] {
        stable = m_server.QueuedSendBytes() == queued ? stable + 1 : 0;
        queued = m_server.QueuedSendBytes();
        return stable >= 20 && queued < (1u << 20);
    }));
    const std::size_t holds = (1u << 20) - queued;
    ASSERT_EQ(m_client.ReadPumping(1 << 20, 20000).size(), std::size_t{1} << 20);
    ASSERT_TRUE(PumpUntil([&] { return m_serverNotices.Count(net::kNoticeSent) == 1; }));
    ASSERT_GT(holds, 1500u);

    // A filler that leaves room for about half of the 3000-byte block.
    m_serverNotices.Clear();
    const std::string filler = Pattern(holds - 1500);
    const std::string bytes = Pattern(3000, 7);
    ByteBlock first = Block(filler);
    ByteBlock block = Block(bytes);
    const platform::LPARAM id = Id(block);
    ASSERT_EQ(m_server.QueueSend(std::move(first)), net::kSocketOk);
    ASSERT_EQ(m_server.QueueSend(std::move(block)), net::kSocketOk);
    // Part of the block is out, part still queued, and no notice for it yet.
    bool sawPart = false;
    std::size_t noticesAtPart = 0;
    PumpUntil([&] {
        const std::size_t left = m_server.QueuedSendBytes();
        if (!sawPart && m_server.SendQueueCount() == 1 && left > 0 && left < 3000) {
            sawPart = true;
            noticesAtPart = m_serverNotices.Count(net::kNoticeSent);
        }
        return sawPart;
    }, 2000);
    EXPECT_TRUE(sawPart) << "the block was not taken in parts (left " << m_server.QueuedSendBytes()
                         << " of " << m_server.SendQueueCount() << " items)";
    EXPECT_LE(noticesAtPart, 1u);  // the filler's at most

    EXPECT_EQ(m_client.ReadPumping(filler.size() + bytes.size(), 10000), filler + bytes);
    ASSERT_TRUE(PumpUntil([&] { return m_serverNotices.Count(net::kNoticeSent) == 2; }));
    Pump(50);
    const std::vector<Notice> sent = m_serverNotices.OfCode(net::kNoticeSent);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1].lParam, id);
    EXPECT_EQ(m_serverNotices.Count(net::kNoticeSendFailed), 0u);
    EXPECT_EQ(m_server.QueuedSendBytes(), 0u);
}

TEST_F(SocketWndTest, ManyBlocksArriveWholeAndInOrder)
{
    Connect();
    const std::string all = Pattern(700 * 1000, 3);
    std::vector<platform::LPARAM> ids;
    for (std::size_t at = 0; at < all.size(); at += 512) {
        ByteBlock block = Block(all.substr(at, 512));
        ids.push_back(Id(block));
        ASSERT_EQ(m_server.QueueSend(std::move(block)), net::kSocketOk);
    }
    EXPECT_EQ(m_client.ReadPumping(all.size(), 20000), all);
    ASSERT_TRUE(PumpUntil([&] { return m_serverNotices.Count(net::kNoticeSent) == ids.size(); }));
    const std::vector<Notice> sent = m_serverNotices.OfCode(net::kNoticeSent);
    for (std::size_t i = 0; i < ids.size(); ++i)
        ASSERT_EQ(sent[i].lParam, ids[i]) << i;
}

TEST_F(SocketWndTest, AnOwnerMayGoWithoutSendNotices)
{
    Connect();
    m_server.SetSendNotices(false);
    ASSERT_EQ(m_server.QueueSend(Block("abc")), net::kSocketOk);
    EXPECT_EQ(m_client.ReadPumping(3, 5000), "abc");
    ASSERT_EQ(m_server.QueueSend(Block("dropped")), net::kSocketOk);
    m_server.Close();
    Pump(50);
    EXPECT_EQ(m_serverNotices.Count(net::kNoticeSent), 0u);
    EXPECT_EQ(m_serverNotices.Count(net::kNoticeSendFailed), 0u);
    EXPECT_EQ(m_serverNotices.Count(net::kNoticeConnected), 1u);
}

TEST_F(SocketWndTest, CloseDropsQueuedItemsOldestFirst)
{
    Connect();
    ByteBlock a = Block("first");
    ByteBlock b = Block("second");
    const platform::LPARAM idA = Id(a), idB = Id(b);
    ASSERT_EQ(m_server.QueueSend(std::move(a)), net::kSocketOk);
    ASSERT_EQ(m_server.QueueSend(std::move(b)), net::kSocketOk);
    // Sending starts from the event loop, so both are still queued here.
    EXPECT_EQ(m_server.Close(), net::kSocketOk);
    EXPECT_FALSE(m_server.IsOpen());
    EXPECT_EQ(m_server.SendQueueCount(), 0u);
    ASSERT_TRUE(PumpUntil([&] { return m_serverNotices.Count(net::kNoticeSendFailed) == 2; }));
    const std::vector<Notice> failed = m_serverNotices.OfCode(net::kNoticeSendFailed);
    EXPECT_EQ(failed[0].lParam, idA);
    EXPECT_EQ(failed[1].lParam, idB);
    EXPECT_EQ(m_serverNotices.Count(net::kNoticeSent), 0u);
    EXPECT_TRUE(m_client.WaitClosedPumping(5000));
    EXPECT_EQ(m_server.Close(), net::kSocketNotPossible);
}

TEST_F(SocketWndTest, APeerSending5000BytesAndClosingGivesBlocksThenOneClose)
{
    Connect();
    const std::string bytes = Pattern(5000, 11);
    ASSERT_TRUE(m_client.Send(bytes));
    m_client.Close();
    ASSERT_TRUE(PumpUntil([&] { return m_serverNotices.Count(net::kNoticeClosed) == 1; }));
    Pump(100);

    std::string received;
    std::size_t blocks = 0;
    bool closedSeen = false;
    for (const Notice& n : m_serverNotices.Notices()) {
        if (n.code == net::kNoticeReceived) {
            EXPECT_FALSE(closedSeen) << "a block after the close";
            ++blocks;
            EXPECT_EQ(static_cast<std::size_t>(n.lParam), blocks);  // nothing taken yet
        } else if (n.code == net::kNoticeClosed) {
            closedSeen = true;
        }
    }
    EXPECT_EQ(m_serverNotices.Count(net::kNoticeClosed), 1u);
    EXPECT_EQ(m_server.ReceiveQueueCount(), blocks);
    EXPECT_GE(blocks, 4u);  // at most 1596 bytes a block
    while (true) {
        ByteBlock block = m_server.TakeReceived();
        if (block.IsNull())
            break;
        EXPECT_GE(block.Count(), 1u);
        EXPECT_LE(block.Count(), net::kReceiveBufferSize);
        received.append(reinterpret_cast<const char*>(block.Data()), block.Count());
    }
    EXPECT_EQ(received, bytes);
}

TEST_F(SocketWndTest, TakingFromAnEmptyQueueGivesNothing)
{
    EXPECT_TRUE(m_server.TakeReceived().IsNull());
    Connect();
    EXPECT_TRUE(m_server.TakeReceived().IsNull());
    EXPECT_EQ(m_server.ReceiveQueueCount(), 0u);
}

TEST_F(SocketWndTest, AResetEndsTheConnectionWithItsError)
{
    Connect();
    ASSERT_TRUE(m_client.Send("abc"));
    ASSERT_TRUE(PumpUntil([&] { return m_serverNotices.Count(net::kNoticeReceived) == 1; }));
    m_client.Reset();
    ASSERT_TRUE(PumpUntil([&] { return m_serverNotices.Count(net::kNoticeClosed) == 1; }));
    EXPECT_EQ(m_serverNotices.Count(net::kNoticeReceiveFailed), 1u);
    EXPECT_EQ(m_server.LastError(), ECONNRESET);
    // What came before the reset is still there.
    ByteBlock block = m_server.TakeReceived();
    ASSERT_FALSE(block.IsNull());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(block.Data()), block.Count()), "abc");
    Pump(100);
    EXPECT_EQ(m_serverNotices.Count(net::kNoticeClosed), 1u);
}

TEST_F(SocketWndTest, AFullReceiveQueueMakesThePeerWait)
{
    Connect();
    const std::string bytes = Pattern(1 << 20, 5);
    std::thread sender([&] {
        TcpClient& c = m_client;
        c.Send(bytes);
    });
    ASSERT_TRUE(PumpUntil([&] { return m_server.ReceiveQueueCount() == CSocketWnd::kReceiveQueueLimit; }));
    Pump(100);
    EXPECT_EQ(m_server.ReceiveQueueCount(), CSocketWnd::kReceiveQueueLimit);

    std::string received;
    ASSERT_TRUE(PumpUntil(
        [&] {
            for (ByteBlock b = m_server.TakeReceived(); !b.IsNull(); b = m_server.TakeReceived())
                received.append(reinterpret_cast<const char*>(b.Data()), b.Count());
            return received.size() >= bytes.size();
        },
        20000));
    sender.join();
    EXPECT_EQ(received, bytes);
}

TEST_F(SocketWndTest, SendingNeedsAnOpenConnection)
{
    EXPECT_EQ(m_server.QueueSend(Block("x")), net::kSocketNotPossible);
    Connect();
    EXPECT_EQ(m_listen.QueueSend(Block("x")), net::kSocketNotPossible);
    EXPECT_EQ(m_server.QueueSend(ByteBlock()), net::kSocketNotPossible);
    EXPECT_EQ(m_server.QueueSend(Block("x")), net::kSocketOk);
    EXPECT_EQ(m_client.ReadPumping(1, 5000), "x");
}

TEST_F(SocketWndTest, CloseStopsListening)
{
    Listen();
    EXPECT_EQ(m_listen.Close(), net::kSocketOk);
    EXPECT_FALSE(m_listen.IsListening());
    EXPECT_FALSE(m_client.Connect(m_port));
    // A closed object opens again.
    EXPECT_EQ(m_listen.OpenListen(m_port, INADDR_LOOPBACK), net::kSocketOk);
}

}  // namespace
