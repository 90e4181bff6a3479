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

namespace {

class DevsimTest : public ::testing::Test {
protected:
    void StartDevice(const std::vector<std::string>& args)
    {
        ASSERT_TRUE(m_sim.StartDevice(args)) << "could not start " << testchild::DevsimBinary();
        OpenFarEnd();
    }
    // Opens the far end as a terminal would: raw, non-blocking.
    void OpenFarEnd()
    {
        m_port.reset(::open(m_sim.FarEndPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
        ASSERT_TRUE(m_port) << m_sim.FarEndPath();
        termios t{};
        ASSERT_EQ(tcgetattr(m_port.get(), &t), 0);
        EXPECT_EQ(t.c_lflag & (ECHO | ICANON | ISIG), 0u) << "raw before the terminal configures it";
        EXPECT_EQ(t.c_oflag & OPOST, 0u);
        EXPECT_EQ(t.c_iflag & (ICRNL | IXON), 0u);
        cfmakeraw(&t);
        tcsetattr(m_port.get(), TCSANOW, &t);
    }
    bool Write(const std::string& data)
    {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        for (std::size_t done = 0; done < data.size();) {
            const ssize_t n = ::write(m_port.get(), data.data() + done, data.size() - done);
            if (n > 0)
                done += static_cast<std::size_t>(n);
            else if ((n < 0 && errno != EAGAIN && errno != EINTR) || std::chrono::steady_clock::now() >= deadline)
                return false;
            pollfd p{m_port.get(), POLLOUT, 0};
            ::poll(&p, 1, 100);
        }
        return true;
    }
    // Reads until `count` bytes have arrived or `timeout` has passed.
    std::string Read(std::size_t count, std::chrono::milliseconds timeout = 5s)
    {
        std::string out;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (out.size() < count) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd p{m_port.get(), POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) < 0)
                break;
            char chunk[4096];
            const ssize_t n = ::read(m_port.get(), chunk, std::min(sizeof chunk, count - out.size()));
            if (n > 0)
                out.append(chunk, static_cast<std::size_t>(n));
            else if (n == 0 || (errno != EAGAIN && errno != EINTR))
                break;
        }
        return out;
    }
    std::string Flood(std::size_t count)
    {
        std::string data(count, '\0');
        devsim::FloodGenerator().Fill(reinterpret_cast<std::uint8_t*>(data.data()), count);
        return data;
    }
    void StopAndExpectCleanExit(int sig = SIGTERM)
    {
        ASSERT_TRUE(m_sim.Signal(sig));
        EXPECT_EQ(m_sim.WaitExit(10s), 0);
    }

    testchild::DevsimProcess m_sim;
    platform::UniqueFd m_port;
};

TEST_F(DevsimTest, EchoRoundTripAndSurvivesCloseAndReopen)
{
    StartDevice({"--echo"});
    const std::string data("hi\0\xFF\x11\x13\r\n\x7F\x03", 10);
    ASSERT_TRUE(Write(data));
    EXPECT_EQ(Read(data.size()), data);
    for (int round = 0; round < 2; ++round) {
        m_port.reset();
        OpenFarEnd();  // still raw after the close
        const std::string text = "round " + std::to_string(round);
        ASSERT_TRUE(Write(text));
        EXPECT_EQ(Read(text.size()), text) << round;
    }
    StopAndExpectCleanExit(SIGINT);
}

TEST_F(DevsimTest, LinesArriveNumberedAndTheTimeLimitEndsTheRun)
{
    StartDevice({"--lines=50", "--time", "1"});
    const std::string expected = "line 1\r\nline 2\r\nline 3\r\n";
    EXPECT_EQ(Read(expected.size(), 10s), expected);
    EXPECT_EQ(m_sim.WaitExit(20s), 0);
}

TEST_F(DevsimTest, ARepliesToItsExactRequestOnlyAndEchoesTheRest)
{
    StartDevice({"--echo", "--reply", "0102=AABBCC", "--reply=7E=01"});
    ASSERT_TRUE(Write("\x01\x02"));
    EXPECT_EQ(Read(3), "\xAA\xBB\xCC");
    // Longer, shorter and different blocks are echoed, not answered.
    for (const std::string other : {"\x01\x02\x03", "\x01", "\x02\x01"}) {
        ASSERT_TRUE(Write(other));
        EXPECT_EQ(Read(other.size()), other);
    }
    ASSERT_TRUE(Write("\x7E"));
    EXPECT_EQ(Read(1), "\x01");
    EXPECT_EQ(Read(1, 100ms), "") << "nothing stray";
    StopAndExpectCleanExit();
}

TEST_F(DevsimTest, AFloodFastOrPacedIsThePatternAndEndsAfterItsBytes)
{
    for (const auto& [rate, total] : {std::pair<std::string, std::size_t>{"0", 1 << 20}, {"200k", 20000}}) {
        StartDevice({"--flood", rate, "--bytes", std::to_string(total)});
        const std::string got = Read(total, 60s);
        devsim::FloodChecker checker;
        checker.Feed(reinterpret_cast<const std::uint8_t*>(got.data()), got.size());
        EXPECT_EQ(checker.Bytes(), total) << rate;
        EXPECT_EQ(checker.Errors(), 0u) << rate << ": first error at " << checker.FirstError();
        EXPECT_EQ(Read(1, 300ms), "") << "--bytes ends the flood";
        StopAndExpectCleanExit();
    }
}

// Sends SIGUSR1 until the report covers `bytes` bytes; returns the last line.
std::string ReportAfter(testchild::DevsimProcess& sim, std::size_t bytes)
{
    const std::string wanted = "check bytes=" + std::to_string(bytes) + " ";
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (line.rfind(wanted, 0) != 0 && std::chrono::steady_clock::now() < deadline) {
        sim.Signal(SIGUSR1);
        line = sim.ReadLine(1s).value_or(line);
        std::this_thread::sleep_for(20ms);
    }
    return line;
}

TEST_F(DevsimTest, CheckReportsAnIntactPatternAndThenACorruptedByte)
{
    StartDevice({"--check"});
    std::string data = Flood(130000);
    ASSERT_TRUE(Write(data.substr(0, 100000)));
    EXPECT_EQ(ReportAfter(m_sim, 100000), "check bytes=100000 errors=0");
    data[112345] ^= 0x40;
    ASSERT_TRUE(Write(data.substr(100000)));
    EXPECT_EQ(ReportAfter(m_sim, 130000), "check bytes=130000 errors=1");
    ASSERT_TRUE(m_sim.Signal(SIGTERM));
    EXPECT_EQ(m_sim.ReadLine(10s), "check bytes=130000 errors=1") << "the report at exit";
    EXPECT_EQ(m_sim.WaitExit(10s), 0);
}

TEST(DevsimProcessTest, BadArgumentsExitWithTwoHelpAndVersionWithZero)
{
    const struct {
        std::vector<std::string> args;
        int status;
        std::string output;  // a piece of what it prints
    } cases[] = {
        {{"--bogus"}, 2, "usage: kestrana-devsim"},
        {{"--help"}, 0, "--flood RATE"},
        {{"--version"}, 0, "kestrana-devsim " KESTRANA_PROJECT_VERSION "\n"},
    };
    for (const auto& c : cases) {
        testchild::DevsimProcess sim;
        ASSERT_TRUE(sim.StartSimulator(c.args, /*mergeStderr=*/true));
        const std::string output = sim.ReadToEnd(10s);
        EXPECT_EQ(sim.WaitExit(10s), c.status) << c.args[0];
        EXPECT_NE(output.find(c.output), std::string::npos) << output;
    }
}

}  // namespace
