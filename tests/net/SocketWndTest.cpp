// The socket layer with real sockets on 127.0.0.1.

#include "NetTestSupport.h"

#include "net/SocketWnd.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cerrno>

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

platform::LPARAM Id(const ByteBlock& block) { return reinterpret_cast<platform::LPARAM>(block.Data()); }

std::string Text(const ByteBlock& block) { return std::string(reinterpret_cast<const char*>(block.Data()), block.Count()); }

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
    bool Acceptable(std::size_t count)
    {
        return PumpUntil([&] { return m_listenNotices.Count(net::kNoticeAcceptable) == count; });
    }
    // A client connects and is accepted into m_server.
    void Connect(int receiveBuffer = 0)
    {
        Listen();
        ASSERT_TRUE(m_client.Connect(m_port, receiveBuffer));
        ASSERT_TRUE(Acceptable(1));
        ASSERT_EQ(m_listen.Accept(&m_server), net::kSocketOk);
        ASSERT_TRUE(PumpUntil([&] { return m_serverNotices.Count(net::kNoticeConnected) == 1; }));
    }
    std::size_t Notices(platform::WPARAM code) const { return m_serverNotices.Count(code); }

    NoticeRecorder m_listenNotices{kListenMessage};
    NoticeRecorder m_serverNotices{kClientMessage};
    CSocketWnd m_listen{m_listenNotices.Target(), kListenMessage};
    CSocketWnd m_server{m_serverNotices.Target(), kClientMessage};
    TcpClient m_client;
    int m_port = 0;
};

TEST_F(SocketWndTest, ListeningIsRefusedOutsideOneTo65535OnAPortInUseAndWhenAlreadyOpen)
{
    for (int port : {0, 70000, 131072 + 2000}) {  // the last is 2000 once cut to 16 bits
        EXPECT_EQ(m_listen.OpenListen(port), net::kSocketNotPossible) << port;
        EXPECT_FALSE(m_listen.IsOpen()) << port;
    }
    const int busy = FreePort();
    const platform::UniqueFd other = ListenOn(busy);
    ASSERT_TRUE(other);
    EXPECT_EQ(m_listen.OpenListen(busy, INADDR_LOOPBACK), net::kSocketCallFailed);
    EXPECT_EQ(m_listen.LastError(), EADDRINUSE);
    EXPECT_FALSE(m_listen.IsOpen());

    // Every local address unless one is given.
    const int port = FreePort();
    ASSERT_EQ(m_listen.OpenListen(port), net::kSocketOk);
    EXPECT_EQ(m_listen.LocalName(), "0.0.0.0:" + std::to_string(port));
    m_listen.Close();
    Listen();
    EXPECT_EQ(m_listen.LocalName(), "127.0.0.1:" + std::to_string(m_port));
    const int handle = m_listen.Handle();
    EXPECT_EQ(m_listen.OpenListen(FreePort(), INADDR_LOOPBACK), net::kSocketNotPossible);
    EXPECT_EQ(m_listen.Handle(), handle) << "still listening where it was";
    ASSERT_TRUE(m_client.Connect(m_port));
    EXPECT_TRUE(Acceptable(1));

    EXPECT_EQ(m_listen.Close(), net::kSocketOk);
    EXPECT_FALSE(m_listen.IsListening());
    EXPECT_FALSE(m_client.Connect(m_port));
    EXPECT_EQ(m_listen.Close(), net::kSocketNotPossible);
}

TEST_F(SocketWndTest, AcceptAndRefuseTakeOneWaitingConnectionAndTheNextIsReportedAfter)
{
    Listen();
    TcpClient second;
    TcpClient third;
    ASSERT_TRUE(m_client.Connect(m_port));
    ASSERT_TRUE(second.Connect(m_port));
    ASSERT_TRUE(Acceptable(1));
    Pump(100);
    EXPECT_EQ(m_listenNotices.Count(net::kNoticeAcceptable), 1u) << "reported once until taken";
    // Accept needs a fresh object, a listening socket and a non-null target.
    EXPECT_EQ(m_listen.Accept(nullptr), net::kSocketNotPossible);
    ASSERT_EQ(m_listen.Accept(&m_server), net::kSocketOk);
    EXPECT_EQ(m_listen.Accept(&m_server), net::kSocketNotPossible) << "the target is taken";
    EXPECT_TRUE(m_server.IsOpen() && !m_server.IsListening());
    EXPECT_EQ(m_server.PeerName().rfind("127.0.0.1:", 0), 0u) << m_server.PeerName();
    ASSERT_TRUE(PumpUntil([&] { return Notices(net::kNoticeConnected) == 1; }));
    EXPECT_EQ(m_listenNotices.Count(net::kNoticeConnected), 0u) << "told to the new object's owner";

    ASSERT_TRUE(Acceptable(2));
    EXPECT_EQ(m_listen.Refuse(), net::kSocketOk);
    EXPECT_TRUE(second.WaitClosedPumping(5000));
    ASSERT_TRUE(third.Connect(m_port));
    EXPECT_TRUE(Acceptable(3));
}

TEST_F(SocketWndTest, AnAcceptWithoutDescriptorsIsRetriedCalmly)
{
    Listen();
    ASSERT_TRUE(m_client.Connect(m_port));
    ASSERT_TRUE(Acceptable(1));
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
        for (; handled < m_listenNotices.Count(net::kNoticeAcceptable); ++handled) {
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
    EXPECT_TRUE(PumpUntil([&] { return Notices(net::kNoticeConnected) == 1; }));
}

TEST_F(SocketWndTest, ABlockTakenInPartsGivesOneNoticeOneWithItsStart)
{
    // Small buffers, so the platform takes only part of a block at a time.
    Connect(4096);
    const int small = 4096;
    setsockopt(m_server.Handle(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    // How much the connection holds while the client does not read.
    ASSERT_EQ(m_server.QueueSend(Block(Pattern(1 << 20))), net::kSocketOk);
    std::size_t queued = 0;
    int stable = 0;
    ASSERT_TRUE(PumpUntil([&] {
        stable = m_server.QueuedSendBytes() == queued ? stable + 1 : 0;
        queued = m_server.QueuedSendBytes();
        return stable >= 20 && queued < (1u << 20);
    }));
    const std::size_t holds = (1u << 20) - queued;
    ASSERT_EQ(m_client.ReadPumping(1 << 20, 20000).size(), std::size_t{1} << 20);
    ASSERT_TRUE(PumpUntil([&] { return Notices(net::kNoticeSent) == 1; }));
    ASSERT_GT(holds, 1500u);

    // A filler that leaves room for about half of the 3000-byte block.
    m_serverNotices.Clear();
    const std::string filler = Pattern(holds - 1500);
    const std::string bytes = Pattern(3000, 7);
    ByteBlock block = Block(bytes);
    const platform::LPARAM id = Id(block);
    ASSERT_EQ(m_server.QueueSend(Block(filler)), net::kSocketOk);
    ASSERT_EQ(m_server.QueueSend(std::move(block)), net::kSocketOk);
    // Part of the block is out, part still queued, and no notice for it yet.
    std::size_t noticesAtPart = 99;
    PumpUntil([&] {
        const std::size_t left = m_server.QueuedSendBytes();
        if (m_server.SendQueueCount() == 1 && left > 0 && left < 3000)
            noticesAtPart = Notices(net::kNoticeSent);
        return noticesAtPart != 99;
    }, 2000);
    EXPECT_LE(noticesAtPart, 1u) << "the block was not taken in parts, or was told of early";
    EXPECT_EQ(m_client.ReadPumping(filler.size() + bytes.size(), 10000), filler + bytes);
    ASSERT_TRUE(PumpUntil([&] { return Notices(net::kNoticeSent) == 2; }));
    Pump(50);
    const std::vector<Notice> sent = m_serverNotices.OfCode(net::kNoticeSent);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1].lParam, id);
    EXPECT_EQ(Notices(net::kNoticeSendFailed), 0u);
    EXPECT_EQ(m_server.QueuedSendBytes(), 0u);
}

TEST_F(SocketWndTest, ManyBlocksArriveWholeAndInOrderWithTheirNoticesOrNone)
{
    EXPECT_EQ(m_server.QueueSend(Block("x")), net::kSocketNotPossible) << "not connected";
    Connect();
    EXPECT_EQ(m_listen.QueueSend(Block("x")), net::kSocketNotPossible);
    EXPECT_EQ(m_server.QueueSend(ByteBlock()), net::kSocketNotPossible);
    const std::string all = Pattern(700 * 1000, 3);
    std::vector<platform::LPARAM> ids;
    for (std::size_t at = 0; at < all.size(); at += 512) {
        ByteBlock block = Block(all.substr(at, 512));
        ids.push_back(Id(block));
        ASSERT_EQ(m_server.QueueSend(std::move(block)), net::kSocketOk);
    }
    EXPECT_EQ(m_client.ReadPumping(all.size(), 20000), all);
    ASSERT_TRUE(PumpUntil([&] { return Notices(net::kNoticeSent) == ids.size(); }));
    const std::vector<Notice> sent = m_serverNotices.OfCode(net::kNoticeSent);
    for (std::size_t i = 0; i < ids.size(); ++i)
        ASSERT_EQ(sent[i].lParam, ids[i]) << i;

    // An owner may go without send notices, even for what a close drops.
    m_serverNotices.Clear();
    m_server.SetSendNotices(false);
    ASSERT_EQ(m_server.QueueSend(Block("abc")), net::kSocketOk);
    EXPECT_EQ(m_client.ReadPumping(3, 5000), "abc");
    ASSERT_EQ(m_server.QueueSend(Block("dropped")), net::kSocketOk);
    m_server.Close();
    Pump(50);
    EXPECT_TRUE(m_serverNotices.Notices().empty());
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
    ASSERT_TRUE(PumpUntil([&] { return Notices(net::kNoticeSendFailed) == 2; }));
    const std::vector<Notice> failed = m_serverNotices.OfCode(net::kNoticeSendFailed);
    EXPECT_EQ(failed[0].lParam, idA);
    EXPECT_EQ(failed[1].lParam, idB);
    EXPECT_EQ(Notices(net::kNoticeSent), 0u);
    EXPECT_TRUE(m_client.WaitClosedPumping(5000));
}

TEST_F(SocketWndTest, APeerSending5000BytesAndClosingGivesBlocksThenOneClose)
{
    EXPECT_TRUE(m_server.TakeReceived().IsNull());
    Connect();
    EXPECT_TRUE(m_server.TakeReceived().IsNull());
    const std::string bytes = Pattern(5000, 11);
    ASSERT_TRUE(m_client.Send(bytes));
    m_client.Close();
    ASSERT_TRUE(PumpUntil([&] { return Notices(net::kNoticeClosed) == 1; }));
    Pump(100);
    std::size_t blocks = 0;
    bool closed = false;
    for (const Notice& n : m_serverNotices.Notices()) {
        if (n.code == net::kNoticeReceived) {
            EXPECT_FALSE(closed) << "a block after the close";
            EXPECT_EQ(static_cast<std::size_t>(n.lParam), ++blocks) << "the queue's length, nothing taken yet";
        }
        closed = closed || n.code == net::kNoticeClosed;
    }
    EXPECT_EQ(Notices(net::kNoticeClosed), 1u);
    EXPECT_EQ(m_server.ReceiveQueueCount(), blocks);
    EXPECT_GE(blocks, 4u) << "at most 1596 bytes a block";
    std::string received;
    for (ByteBlock block = m_server.TakeReceived(); !block.IsNull(); block = m_server.TakeReceived()) {
        EXPECT_LE(block.Count(), net::kReceiveBufferSize);
        received += Text(block);
    }
    EXPECT_EQ(received, bytes);
}

TEST_F(SocketWndTest, AResetEndsTheConnectionWithItsErrorAndKeepsWhatCameBefore)
{
    Connect();
    ASSERT_TRUE(m_client.Send("abc"));
    ASSERT_TRUE(PumpUntil([&] { return Notices(net::kNoticeReceived) == 1; }));
    m_client.Reset();
    ASSERT_TRUE(PumpUntil([&] { return Notices(net::kNoticeClosed) == 1; }));
    EXPECT_EQ(Notices(net::kNoticeReceiveFailed), 1u);
    EXPECT_EQ(m_server.LastError(), ECONNRESET);
    EXPECT_EQ(Text(m_server.TakeReceived()), "abc");
    Pump(100);
    EXPECT_EQ(Notices(net::kNoticeClosed), 1u);
}

TEST_F(SocketWndTest, AFullReceiveQueueMakesThePeerWait)
{
    Connect();
    const std::string bytes = Pattern(1 << 20, 5);
    std::thread sender([&] { m_client.Send(bytes); });
    ASSERT_TRUE(PumpUntil([&] { return m_server.ReceiveQueueCount() == CSocketWnd::kReceiveQueueLimit; }));
    Pump(100);
    EXPECT_EQ(m_server.ReceiveQueueCount(), CSocketWnd::kReceiveQueueLimit);
    std::string received;
    ASSERT_TRUE(PumpUntil([&] {
        for (ByteBlock b = m_server.TakeReceived(); !b.IsNull(); b = m_server.TakeReceived())
            received += Text(b);
        return received.size() >= bytes.size();
    }, 20000));
    sender.join();
    EXPECT_EQ(received, bytes);
}

}  // namespace
