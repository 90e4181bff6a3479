// The simulator as a real process on a real pseudo-terminal.

#include "platform/SystemError.h"
#include "tests/common/DevsimProcess.h"
#include "tests/common/TestFiles.h"
#include "tools/devsim/FloodPattern.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <termios.h>

using namespace std::chrono_literals;

namespace {

class DevsimTest : public ::testing::Test {
protected:
    void StartDevice(const std::vector<std::string>& args)
    {
        ASSERT_TRUE(m_sim.StartDevice(args)) << "could not start " << testchild::DevsimBinary();
        OpenFarEnd();
    }
    // Opens the far end (or `path`) as a terminal would; it is raw before anyone sets it.
    void OpenFarEnd(std::string path = {})
    {
        path = path.empty() ? m_sim.FarEndPath() : path;
        m_port.reset(::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
        termios t{};
        ASSERT_EQ(tcgetattr(m_port.get(), &t), 0) << path;
        EXPECT_EQ((t.c_lflag & (ECHO | ICANON | ISIG)) | (t.c_oflag & OPOST) | (t.c_iflag & (ICRNL | IXON)), 0u);
    }
    bool Write(const std::string& data) { return platform::WriteAll(m_port.get(), data); }
    // Reads until `count` bytes have arrived or `timeout` has passed.
    std::string Read(std::size_t count, std::chrono::milliseconds timeout = 5s)
    {
        std::string out;
        const auto end = std::chrono::steady_clock::now() + timeout;
        pollfd p{m_port.get(), POLLIN, 0};
        char chunk[4096];
        while (out.size() < count && std::chrono::steady_clock::now() < end) {
            if (::poll(&p, 1, 50) <= 0)
                continue;
            const ssize_t n = platform::ReadRetry(m_port.get(), chunk, std::min(sizeof chunk, count - out.size()));
            if (n <= 0)
                break;
            out.append(chunk, static_cast<std::size_t>(n));
        }
        return out;
    }
    void StopAndExpectCleanExit(int sig = SIGTERM)
    {
        ASSERT_TRUE(m_sim.Signal(sig));
        EXPECT_EQ(m_sim.WaitExit(10s), 0);
    }

    testchild::DevsimProcess m_sim;
    platform::UniqueFd m_port;
};

TEST_F(DevsimTest, RepliesToItsExactRequestOnlyEchoesTheRestAndSurvivesAReopen)
{
    StartDevice({"--echo", "--reply", "0102=AABBCC", "--reply=7E=01"});
    ASSERT_TRUE(Write("\x01\x02"));
    EXPECT_EQ(Read(3), "\xAA\xBB\xCC");
    // Longer, shorter and different blocks (and every control byte) are echoed.
    for (const std::string& other : {std::string("\x01\x02\x03"), std::string("\x01"), std::string("hi\0\xFF\x11\x13\r\n\x7F\x03", 10)}) {
        ASSERT_TRUE(Write(other));
        EXPECT_EQ(Read(other.size()), other);
    }
    m_port.reset();
    OpenFarEnd();
    ASSERT_TRUE(Write("\x7E"));
    EXPECT_EQ(Read(1), "\x01");
    EXPECT_EQ(Read(1, 100ms), "") << "nothing stray";
    StopAndExpectCleanExit(SIGINT);
}

TEST_F(DevsimTest, CheckReportsAnIntactPatternThenACorruptedByte)
{
    StartDevice({"--check"});
    std::string data(130000, '\0');
    devsim::FloodGenerator().Fill(reinterpret_cast<std::uint8_t*>(data.data()), data.size());
    data[112345] ^= 0x40;
    // Sends SIGUSR1 until the report covers `bytes` bytes; the last line.
    auto reportAfter = [this](std::size_t bytes) {
        const std::string wanted = "check bytes=" + std::to_string(bytes) + " ";
        std::string line;
        for (int i = 0; i < 200 && line.rfind(wanted, 0) != 0; ++i) {
            m_sim.Signal(SIGUSR1);
            line = m_sim.ReadLine(50ms).value_or(line);
        }
        return line;
    };
    ASSERT_TRUE(Write(data.substr(0, 100000)));
    EXPECT_EQ(reportAfter(100000), "check bytes=100000 errors=0");
    ASSERT_TRUE(Write(data.substr(100000)));
    EXPECT_EQ(reportAfter(130000), "check bytes=130000 errors=1");
    ASSERT_TRUE(m_sim.Signal(SIGTERM));
    EXPECT_EQ(m_sim.ReadLine(10s), "check bytes=130000 errors=1") << "the report at exit";
    EXPECT_EQ(m_sim.WaitExit(10s), 0);
}

// One name for the device: what stood there is replaced, and the link goes at
// any normal end unless a newer simulator's link has taken its place.
TEST_F(DevsimTest, LinkNamesTheReadyDeviceAndGoesWithIt)
{
    namespace fs = std::filesystem;
    testfiles::TempDir dir("devsim-link");
    const std::string link = dir.path() + "/ttyDEV", before[] = {"stale link", "file", "", "taken over"};
    const struct { std::vector<std::string> args; std::string send, reply; int stop; } cases[] = {
        {{"--echo"}, "ping", "ping", SIGTERM}, {{"--lines=20"}, "", "line 1\r\n", SIGHUP},
        {{"--echo", "--time", "4"}, "x", "x", 0}, {{"--echo"}, "y", "y", SIGINT},
    };
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(before[i]);
        if (before[i] == "stale link")
            fs::create_symlink(dir.path() + "/gone", link);
        else if (before[i] == "file")
            testfiles::WriteFile(link, "old");
        std::vector<std::string> args = cases[i].args;
        args.insert(args.end(), {"--link", link});
        StartDevice(args);
        EXPECT_EQ(m_sim.ReadLine(5s), "link " + link + " -> " + m_sim.FarEndPath());
        EXPECT_EQ(fs::read_symlink(link), m_sim.FarEndPath());
        EXPECT_EQ(testfiles::FileNames(dir.path()), std::vector<std::string>{"ttyDEV"}) << "no temporary left";
        OpenFarEnd(link);
        ASSERT_TRUE(Write(cases[i].send));
        EXPECT_EQ(Read(cases[i].reply.size()), cases[i].reply);
        m_port.reset();
        if (before[i] == "taken over") {  // made as a simulator makes its own
            fs::create_symlink("/dev/null", link + ".new");
            fs::rename(link + ".new", link);
        }
        EXPECT_TRUE(cases[i].stop == 0 || m_sim.Signal(cases[i].stop));
        EXPECT_EQ(m_sim.WaitExit(10s), 0);
        const std::string left = fs::is_symlink(link) ? fs::read_symlink(link).string() : "";
        EXPECT_EQ(left, before[i] == "taken over" ? "/dev/null" : "") << "only its own link goes";
        fs::remove(link);
    }
    testfiles::WriteFile(dir.path() + "/file", "");
    for (const auto& [bad, error] : {std::pair{dir.path() + "/none/tty", ENOENT}, {dir.path() + "/file/tty", ENOTDIR}}) {
        ASSERT_TRUE(m_sim.StartSimulator({"--echo", "--link", bad}, true));
        EXPECT_NE(m_sim.ReadToEnd(10s).find("Cannot make the link " + bad + ": " + platform::ErrorText(error)), std::string::npos);
        EXPECT_EQ(m_sim.WaitExit(10s), 1);
    }
}

}  // namespace
