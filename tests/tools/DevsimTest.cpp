// The simulator as a real process on a real pseudo-terminal.

#include "tests/common/DevsimProcess.h"
#include "tools/devsim/FloodPattern.h"

#include "platform/UniqueFd.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

namespace {

// Opens the far end as a terminal would: raw, non-blocking, input kept.
platform::UniqueFd OpenFarEnd(const std::string& path)
{
    platform::UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd)
        return fd;
    termios t{};
    if (tcgetattr(fd.get(), &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(fd.get(), TCSANOW, &t);
    }
    return fd;
}

bool WriteAll(int fd, const Bytes& data)
{
    std::size_t done = 0;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, 100);
    }
    return true;
}

// Reads until `count` bytes have arrived or `timeout` has passed.
Bytes ReadBytes(int fd, std::size_t count, std::chrono::milliseconds timeout)
{
    Bytes out;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::uint8_t chunk[4096];
    while (out.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            continue;
        const ssize_t n = ::read(fd, chunk, std::min(sizeof chunk, count - out.size()));
        if (n > 0)
            out.insert(out.end(), chunk, chunk + n);
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            break;
    }
    return out;
}

Bytes B(std::initializer_list<int> values)
{
    Bytes b;
    for (int v : values)
        b.push_back(static_cast<std::uint8_t>(v));
    return b;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

class DevsimTest : public ::testing::Test {
protected:
    void StartDevice(const std::vector<std::string>& args)
    {
        ASSERT_TRUE(m_sim.StartDevice(args)) << "could not start " << testchild::DevsimBinary();
        m_port = OpenFarEnd(m_sim.FarEndPath());
        ASSERT_TRUE(m_port) << m_sim.FarEndPath();
    }
    void StopAndExpectCleanExit()
    {
        ASSERT_TRUE(m_sim.Signal(SIGTERM));
        EXPECT_EQ(m_sim.WaitExit(10s), 0);
    }

    testchild::DevsimProcess m_sim;
    platform::UniqueFd m_port;
};

TEST_F(DevsimTest, EchoRoundTrip)
{
    StartDevice({"--echo"});
    const Bytes data = B({'h', 'i', 0x00, 0xFF, 0x11, 0x13, '\r', '\n', 0x7F, 0x03});
    ASSERT_TRUE(WriteAll(m_port.get(), data));
    EXPECT_EQ(ReadBytes(m_port.get(), data.size(), 5s), data);
    StopAndExpectCleanExit();
}

TEST_F(DevsimTest, EchoSurvivesCloseAndReopen)
{
    StartDevice({"--echo"});
    for (int round = 0; round < 3; ++round) {
        const Bytes data = Text("round " + std::to_string(round));
        ASSERT_TRUE(WriteAll(m_port.get(), data));
        EXPECT_EQ(ReadBytes(m_port.get(), data.size(), 5s), data) << round;
        m_port.reset();
        m_port = OpenFarEnd(m_sim.FarEndPath());
        ASSERT_TRUE(m_port);
        // Still raw after the close: no echo from the tty itself, no line editing.
        termios t{};
        ASSERT_EQ(tcgetattr(m_port.get(), &t), 0);
        EXPECT_EQ(t.c_lflag & (ECHO | ICANON), 0u);
    }
    StopAndExpectCleanExit();
}

TEST_F(DevsimTest, FarEndIsRawBeforeTheTerminalConfiguresIt)
{
    ASSERT_TRUE(m_sim.StartDevice({"--echo"}));
    platform::UniqueFd fd(::open(m_sim.FarEndPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
    ASSERT_TRUE(fd);
    termios t{};
    ASSERT_EQ(tcgetattr(fd.get(), &t), 0);
    EXPECT_EQ(t.c_lflag & (ECHO | ICANON | ISIG), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_iflag & (ICRNL | IXON), 0u);
}

TEST_F(DevsimTest, LinesArriveNumbered)
{
    StartDevice({"--lines=50"});
    const std::string expected = "line 1\r\nline 2\r\nline 3\r\nline 4\r\n";
    const Bytes got = ReadBytes(m_port.get(), expected.size(), 10s);
    EXPECT_EQ(std::string(got.begin(), got.end()), expected);
    StopAndExpectCleanExit();
}

TEST_F(DevsimTest, ReplyAnswersExactRequestOnly)
{
    StartDevice({"--reply", "0102=AABBCC", "--reply=7E=01"});
    ASSERT_TRUE(WriteAll(m_port.get(), B({0x01, 0x02})));
    EXPECT_EQ(ReadBytes(m_port.get(), 3, 5s), B({0xAA, 0xBB, 0xCC}));

    // Longer, shorter and different blocks get no answer.
    for (const Bytes& other : {B({0x01, 0x02, 0x03}), B({0x01}), B({0x02, 0x01})}) {
        ASSERT_TRUE(WriteAll(m_port.get(), other));
        EXPECT_TRUE(ReadBytes(m_port.get(), 1, 300ms).empty());
    }
    // And the device still answers afterwards, with nothing stray before it.
    ASSERT_TRUE(WriteAll(m_port.get(), B({0x7E})));
    EXPECT_EQ(ReadBytes(m_port.get(), 1, 5s), B({0x01}));
    EXPECT_TRUE(ReadBytes(m_port.get(), 1, 100ms).empty());
    StopAndExpectCleanExit();
}

TEST_F(DevsimTest, ReplyWithEchoEchoesWhatDoesNotMatch)
{
    StartDevice({"--echo", "--reply", "0102=AA"});
    ASSERT_TRUE(WriteAll(m_port.get(), B({0x05, 0x06})));
    EXPECT_EQ(ReadBytes(m_port.get(), 2, 5s), B({0x05, 0x06}));
    ASSERT_TRUE(WriteAll(m_port.get(), B({0x01, 0x02})));
    EXPECT_EQ(ReadBytes(m_port.get(), 1, 5s), B({0xAA}));
    EXPECT_TRUE(ReadBytes(m_port.get(), 1, 100ms).empty());
    StopAndExpectCleanExit();
}

TEST_F(DevsimTest, FloodPassesTheInProcessChecker)
{
    constexpr std::size_t kTotal = 1 << 20;
    StartDevice({"--flood", "0", "--bytes", std::to_string(kTotal)});
    devsim::FloodChecker checker;
    const Bytes got = ReadBytes(m_port.get(), kTotal, 60s);
    checker.Feed(got.data(), got.size());
    EXPECT_EQ(checker.Bytes(), kTotal);
    EXPECT_EQ(checker.Errors(), 0u) << "first error at " << checker.FirstError();
    // --bytes ends the flood.
    EXPECT_TRUE(ReadBytes(m_port.get(), 1, 300ms).empty());
    StopAndExpectCleanExit();
}

TEST_F(DevsimTest, PacedFloodIsThePatternToo)
{
    StartDevice({"--flood", "200k", "--bytes", "20000"});
    const Bytes got = ReadBytes(m_port.get(), 20000, 30s);
    devsim::FloodChecker checker;
    checker.Feed(got.data(), got.size());
    EXPECT_EQ(checker.Bytes(), 20000u);
    EXPECT_EQ(checker.Errors(), 0u);
    StopAndExpectCleanExit();
}

// Sends SIGUSR1 until the report covers `bytes` bytes; returns the last line.
std::string ReportAfter(testchild::DevsimProcess& sim, std::size_t bytes)
{
    const std::string wanted = "check bytes=" + std::to_string(bytes) + " ";
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < deadline) {
        sim.Signal(SIGUSR1);
        if (auto l = sim.ReadLine(1s)) {
            line = *l;
            if (line.rfind(wanted, 0) == 0)
                break;
        }
        std::this_thread::sleep_for(20ms);
    }
    return line;
}

TEST_F(DevsimTest, CheckReportsACorruptedByte)
{
    StartDevice({"--check"});
    devsim::FloodGenerator generator;
    Bytes data(30000);
    generator.Fill(data.data(), data.size());
    data[12345] ^= 0x40;
    ASSERT_TRUE(WriteAll(m_port.get(), data));
    EXPECT_EQ(ReportAfter(m_sim, data.size()), "check bytes=30000 errors=1");
    ASSERT_TRUE(m_sim.Signal(SIGTERM));
    EXPECT_EQ(m_sim.ReadLine(10s), "check bytes=30000 errors=1");  // the report at exit
    EXPECT_EQ(m_sim.WaitExit(10s), 0);
}

TEST_F(DevsimTest, CheckReportsNoErrorForAnIntactPattern)
{
    StartDevice({"--check"});
    devsim::FloodGenerator generator;
    Bytes data(100000);
    generator.Fill(data.data(), data.size());
    ASSERT_TRUE(WriteAll(m_port.get(), data));
    EXPECT_EQ(ReportAfter(m_sim, data.size()), "check bytes=100000 errors=0");
    StopAndExpectCleanExit();
}

TEST_F(DevsimTest, SigintAlsoEndsCleanly)
{
    StartDevice({"--lines=10", "--echo"});
    ASSERT_TRUE(m_sim.Signal(SIGINT));
    EXPECT_EQ(m_sim.WaitExit(10s), 0);
}

TEST_F(DevsimTest, TimeLimitEndsTheRun)
{
    StartDevice({"--echo", "--time", "0.3"});
    EXPECT_EQ(m_sim.WaitExit(20s), 0);
}

TEST(DevsimProcessTest, BadArgumentExitsWithTwoAndUsage)
{
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--bogus"}, {"--flood"}, {"--reply", "12"}, {"--lines=-3"}}) {
        testchild::DevsimProcess sim;
        ASSERT_TRUE(sim.StartSimulator(args, /*mergeStderr=*/true));
        const std::string output = sim.ReadToEnd(10s);
        EXPECT_EQ(sim.WaitExit(10s), 2) << args[0];
        EXPECT_NE(output.find("usage: kestrana-devsim"), std::string::npos) << output;
    }
}

TEST(DevsimProcessTest, HelpPrintsUsageAndSucceeds)
{
    testchild::DevsimProcess sim;
    ASSERT_TRUE(sim.StartSimulator({"--help"}));
    const std::string output = sim.ReadToEnd(10s);
    EXPECT_EQ(sim.WaitExit(10s), 0);
    EXPECT_NE(output.find("--flood RATE"), std::string::npos);
}

TEST(DevsimProcessTest, VersionIsTheProjectVersion)
{
    testchild::DevsimProcess sim;
    ASSERT_TRUE(sim.StartSimulator({"--version"}));
    const std::string output = sim.ReadToEnd(10s);
    EXPECT_EQ(sim.WaitExit(10s), 0);
    EXPECT_EQ(output, "kestrana-devsim " KESTRANA_PROJECT_VERSION "\n");
}

}  // namespace
