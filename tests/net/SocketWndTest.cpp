// The socket layer with real sockets on 127.0.0.1, and the process-wide
// socket start and clean-up.

#include "NetTestSupport.h"

#include "net/SocketWnd.h"
#include "net/WinsockInit.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <cerrno>

namespace {

using namespace nettest;
using net::ByteBlock;
using net::CSocketWnd;

constexpr unsigned kListenMessage = platform::WM_USER + 9;
constexpr unsigned kClientMessage = platform::WM_USER + 10;

ByteBlock Block(const std::string& bytes) { return ByteBlock::Copy(bytes.data(), static_cast<std::uint32_t>(bytes.size())); }
platform::LPARAM Id(const ByteBlock& block) { return reinterpret_cast<platform::LPARAM>(block.Data()); }
std::string Text(const ByteBlock& block) { return std::string(reinterpret_cast<const char*>(block.Data()), block.Count()); }

class SocketWndTest : public ::testing::Test {
protected:
    void SetUp() override { QtApp(); }
    // Listens on a free port of 127.0.0.1.
    void Listen()
    {
        for (int attempt = 0; attempt < 5; ++attempt)
            if (m_listen.OpenListen(m_port = FreePort(), "127.0.0.1") == net::kSocketOk)
                return;
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
        ASSERT_TRUE(PumpUntil([&] { return Notices(net::kNoticeConnected) == 1; }));
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
    for (int port : {0, 70000, 131072 + 2000})  // the last is 2000 once cut to 16 bits
        EXPECT_TRUE(m_listen.OpenListen(port) == net::kSocketNotPossible && !m_listen.IsOpen()) << port;
    const int busy = FreePort();
    const platform::UniqueFd other = ListenOn(busy);
    ASSERT_TRUE(other);
    EXPECT_EQ(m_listen.OpenListen(busy, "127.0.0.1"), net::kSocketCallFailed);
    EXPECT_EQ(m_listen.LastError(), EADDRINUSE);

    EXPECT_EQ(m_listen.OpenListen(FreePort(), "localhost"), net::kSocketNotPossible) << "an address, not a name";

    // Every local address unless one is given: IPv6's, which takes IPv4 too,
    // or IPv4's on a machine without IPv6.
    const int port = FreePort();
    ASSERT_EQ(m_listen.OpenListen(port), net::kSocketOk);
    const std::string any = m_listen.LocalName();
    EXPECT_TRUE(any == "[::]:" + std::to_string(port) || any == "0.0.0.0:" + std::to_string(port)) << any;
    m_listen.Close();
    Listen();
    EXPECT_EQ(m_listen.LocalName(), "127.0.0.1:" + std::to_string(m_port));
    EXPECT_EQ(m_listen.OpenListen(FreePort(), "127.0.0.1"), net::kSocketNotPossible);
    ASSERT_TRUE(m_client.Connect(m_port)) << "still listening where it was";
    EXPECT_TRUE(Acceptable(1));
    EXPECT_EQ(m_listen.Close(), net::kSocketOk);
    EXPECT_FALSE(m_client.Connect(m_port));
}

TEST_F(SocketWndTest, AcceptAndRefuseTakeOneWaitingConnectionAndTheNextIsReportedAfter)
{
    Listen();
    TcpClient second, third;
    ASSERT_TRUE(m_client.Connect(m_port));
    ASSERT_TRUE(second.Connect(m_port));
    ASSERT_TRUE(Acceptable(1));
    Pump(100);
    EXPECT_EQ(m_listenNotices.Count(net::kNoticeAcceptable), 1u) << "reported once until taken";
    ASSERT_EQ(m_listen.Accept(&m_server), net::kSocketOk);
    EXPECT_EQ(m_listen.Accept(&m_server), net::kSocketNotPossible) << "the target is taken";
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
    int result = net::kSocketOk, error = 0;
    PumpUntil([&] {
        for (; handled < m_listenNotices.Count(net::kNoticeAcceptable); ++handled) {
            result = m_listen.Refuse();
            error = m_listen.LastError();
        }
        return false;
    }, 350);
    const std::size_t reports = m_listenNotices.Count(net::kNoticeAcceptable);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
    EXPECT_TRUE(result == net::kSocketCallFailed && error == EMFILE) << result << " " << error;
    EXPECT_TRUE(reports >= 2u && reports <= 6u) << reports;
    // With descriptors again, the report after the pause is accepted.
    ASSERT_TRUE(PumpUntil([&] { return m_listenNotices.Count(net::kNoticeAcceptable) > handled; }));
    ASSERT_EQ(m_listen.Accept(&m_server), net::kSocketOk);
    EXPECT_TRUE(PumpUntil([&] { return Notices(net::kNoticeConnected) == 1; }));
}

TEST_F(SocketWndTest, ManyBlocksArriveWholeAndInOrderWithTheirNoticesOrNone)
{
    EXPECT_EQ(m_server.QueueSend(Block("x")), net::kSocketNotPossible) << "not connected";
    // Small buffers, so the platform takes blocks in parts.
    Connect(4096);
    const int small = 4096;
    setsockopt(m_server.Handle(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    EXPECT_EQ(m_server.QueueSend(ByteBlock()), net::kSocketNotPossible);
    const std::string all = Pattern(700 * 1000, 3);
    std::vector<platform::LPARAM> ids;
    for (std::size_t at = 0; at < all.size(); at += 500) {
        ByteBlock block = Block(all.substr(at, 500));
        ids.push_back(Id(block));
        ASSERT_EQ(m_server.QueueSend(std::move(block)), net::kSocketOk);
    }
    EXPECT_EQ(m_client.ReadPumping(all.size(), 20000), all);
    ASSERT_TRUE(PumpUntil([&] { return Notices(net::kNoticeSent) == ids.size(); }));
    Pump(50);
    const std::vector<Notice> sent = m_serverNotices.OfCode(net::kNoticeSent);
    ASSERT_EQ(sent.size(), ids.size()) << "one notice a block";
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
    ByteBlock a = Block("first"), b = Block("second");
    const std::vector<platform::LPARAM> ids = {Id(a), Id(b)};
    ASSERT_EQ(m_server.QueueSend(std::move(a)), net::kSocketOk);
    ASSERT_EQ(m_server.QueueSend(std::move(b)), net::kSocketOk);
    // Sending starts from the event loop, so both are still queued here.
    EXPECT_EQ(m_server.Close(), net::kSocketOk);
    EXPECT_EQ(m_server.SendQueueCount(), 0u);
    ASSERT_TRUE(PumpUntil([&] { return Notices(net::kNoticeSendFailed) == 2; }));
    const std::vector<Notice> failed = m_serverNotices.OfCode(net::kNoticeSendFailed);
    EXPECT_EQ((std::vector<platform::LPARAM>{failed[0].lParam, failed[1].lParam}), ids);
    EXPECT_EQ(Notices(net::kNoticeSent), 0u);
    EXPECT_TRUE(m_client.WaitClosedPumping(5000));
}

TEST_F(SocketWndTest, APeerSending5000BytesAndClosingGivesBlocksThenOneClose)
{
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

TEST(WinsockInitTest, StartsNestEachCleansUpOnceAndAPeerGoneCannotEndTheProcess)
{
    const int before = net::CWinsockInit::ActiveStarts();
    EXPECT_EQ(net::CWinsockInit(0x0100).Start(), 2) << "version 0.1";
    net::CWinsockInit outer(0x0101);
    EXPECT_EQ(outer.Start(), 0);
    {
        net::CWinsockInit inner(0x0202);
        ASSERT_EQ(inner.Start(), 0);
        EXPECT_EQ(inner.Data().wVersion, 0x0101) << "the highest offered";
        EXPECT_EQ(inner.CleanUp(), 0);
        EXPECT_EQ(inner.CleanUp(), 2) << "nothing left to clean up";
        net::CWinsockInit held(0x0101);
        ASSERT_EQ(held.Start(), 0);
    }
    EXPECT_EQ(net::CWinsockInit::ActiveStarts(), before + 1) << "destruction cleans up";
    struct sigaction current{};
    sigaction(SIGPIPE, nullptr, &current);
    EXPECT_EQ(current.sa_handler, SIG_IGN) << "the outer start still holds";
    EXPECT_EQ(outer.CleanUp(), 0);
    EXPECT_EQ(net::CWinsockInit::ActiveStarts(), before);
}

}  // namespace

TEST_F(SocketWndTest, KeepaliveOptionsAreSetOnTheAcceptedSocketAndZeroTurnsThemOff)
{
    Connect();
    auto option = [this](int level, int name) {
        int value = -1;
        socklen_t length = sizeof value;
        return getsockopt(m_server.Handle(), level, name, &value, &length) == 0 ? value : -2;
    };
    const struct { int idle, on, interval, userTimeoutMs; } rows[] = {
        {30, 1, 10, 60000}, {1, 1, 1, 4000}, {100, 1, 34, 202000}, {0, 0, -1, 0}};
    for (const auto& row : rows) {
        ASSERT_EQ(m_server.SetKeepAlive(row.idle), net::kSocketOk) << row.idle;
        EXPECT_EQ(option(SOL_SOCKET, SO_KEEPALIVE), row.on) << row.idle;
        EXPECT_EQ(option(IPPROTO_TCP, TCP_USER_TIMEOUT), row.userTimeoutMs) << row.idle;
        if (row.on == 0)
            continue;
        EXPECT_EQ(option(IPPROTO_TCP, TCP_KEEPIDLE), row.idle);
        EXPECT_EQ(option(IPPROTO_TCP, TCP_KEEPINTVL), row.interval) << row.idle;
        EXPECT_EQ(option(IPPROTO_TCP, TCP_KEEPCNT), net::kKeepAliveProbes);
    }
    for (int bad : {-1, net::kMaxKeepAliveSeconds + 1})
        EXPECT_EQ(m_server.SetKeepAlive(bad), net::kSocketNotPossible) << bad;
    EXPECT_EQ(m_listen.SetKeepAlive(30), net::kSocketNotPossible) << "not on a listening socket";
}
