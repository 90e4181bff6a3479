// The program without a window, as a child process with no display at all:
// message boxes go to standard error and the event log, nothing waits for a
// person, and the TCP bridge works.

#include "AppTestSupport.h"

#include "platform/LocalTime.h"
#include "tests/net/NetTestSupport.h"
#include "tests/common/DevsimProcess.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using namespace apptest;
using nettest::FreePort;
using nettest::TcpClient;

// The program with no display in its environment, standard error in a file;
// killed if still running at the end.
class HeadlessChild {
public:
    bool Start(const std::vector<std::string>& args, const std::string& cwd, const std::string& stderrPath)
    {
        std::vector<std::string> all{KESTRANA_BINARY};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<std::string> env;
        for (char** e = environ; *e != nullptr; ++e)
            if (std::strncmp(*e, "DISPLAY=", 8) != 0 && std::strncmp(*e, "WAYLAND_DISPLAY=", 16) != 0 &&
                std::strncmp(*e, "QT_QPA_PLATFORM=", 16) != 0)
                env.emplace_back(*e);
        std::vector<char*> envp;
        for (auto& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
        const int rc = posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        return rc == 0;
    }
    bool Running()
    {
        if (m_pid <= 0)
            return false;
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return false;
        }
        return true;
    }
    // Exit status, or -1 when it did not end within `timeoutMs`.
    int Wait(int timeoutMs)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Running()) {
            if (std::chrono::steady_clock::now() > end)
                return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return m_status;
    }
    void Signal(int sig)
    {
        if (m_pid > 0)
            kill(m_pid, sig);
    }
    ~HeadlessChild()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }

private:
    pid_t m_pid = -1;
    int m_status = -1;
};

bool WaitForText(const std::string& path, const std::string& text, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        if (ReadFile(path).find(text) != std::string::npos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

// Connects once the server is up (it opens after start-up).
bool ConnectWithin(TcpClient& client, int port, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        if (client.Connect(port))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

std::string ReadAtLeast(TcpClient& client, std::size_t count, int timeoutMs)
{
    std::string got;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < count && std::chrono::steady_clock::now() < end)
        got += client.ReadSome(50);
    return got;
}

class HeadlessTest : public ::testing::Test {
protected:
    std::string Dir() const { return m_temp.path(); }
    std::string EventLog() const
    {
        const platform::LocalTime now = platform::GetLocalTime();
        char name[32];
        std::snprintf(name, sizeof name, "/event%02d%02d.log", now.month, now.day);
        return Dir() + name;
    }
    TempDir m_temp;
};

TEST_F(HeadlessTest, ADeviceErrorGoesToStandardErrorAndTheRunGoesOn)
{
    const int port = FreePort();
    const std::string err = Dir() + "/stderr.txt";
    HeadlessChild child;
    ASSERT_TRUE(child.Start({"--headless", "--registry-dir", Dir() + "/registry", "--device",
                             "COM1=" + Dir() + "/no-such-tty", "--connect",
                             "--tcp-server=" + std::to_string(port), "--tcp-bind", "127.0.0.1"},
                            Dir(), err));
    ASSERT_TRUE(WaitForText(err, "kestrana: Connection Failed!", 20000)) << ReadFile(err);
    // Nobody had to answer it: the program runs on and serves clients.
    TcpClient client;
    ASSERT_TRUE(ConnectWithin(client, port, 20000)) << ReadFile(err);
    ASSERT_TRUE(client.Send("to nowhere"));
    EXPECT_TRUE(WaitForText(EventLog(), "TCP client 127.0.0.1:", 20000));
    EXPECT_TRUE(child.Running());

    child.Signal(SIGTERM);
    EXPECT_EQ(child.Wait(20000), 0);
    const std::string log = ReadFile(EventLog());
    EXPECT_NE(log.find("Connection Failed!"), std::string::npos) << log;
    EXPECT_NE(log.find("TCP server listening on 127.0.0.1:" + std::to_string(port)), std::string::npos);
    const std::vector<std::string> lines = ReadLines(EventLog());
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(EndsWith(lines.back(), " - Logging End!")) << lines.back();
    // The settings were saved as in a windowed run.
    EXPECT_NE(ReadFile(Dir() + "/registry/HKEY_CURRENT_USER.reg").find("Appearance"), std::string::npos);
}

TEST_F(HeadlessTest, ItBridgesAnEchoingDeviceToATcpClient)
{
    testchild::DevsimProcess device;
    ASSERT_TRUE(device.StartDevice({"--echo"}));
    const int port = FreePort();
    const std::string err = Dir() + "/stderr.txt";
    HeadlessChild child;
    ASSERT_TRUE(child.Start({"--headless", "--registry-dir", Dir() + "/registry", "--device",
                             "COM1=" + device.FarEndPath(), "--connect", "--tcp-server=" + std::to_string(port),
                             "--tcp-bind=127.0.0.1"},
                            Dir(), err));
    TcpClient client;
    ASSERT_TRUE(ConnectWithin(client, port, 20000)) << ReadFile(err);
    // The port may open a moment after the server: say it until it echoes.
    std::string echoed;
    for (int attempt = 0; attempt < 40 && echoed.find("ping\r\n") == std::string::npos; ++attempt) {
        ASSERT_TRUE(client.Send("ping\r\n"));
        echoed += ReadAtLeast(client, 6, 500);
    }
    EXPECT_NE(echoed.find("ping\r\n"), std::string::npos) << echoed << ReadFile(err);
    const std::string big = nettest::Pattern(20000, 4);
    ASSERT_TRUE(client.Send(big));
    std::string back;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (back.find(big) == std::string::npos && std::chrono::steady_clock::now() < end)
        back += client.ReadSome(100);
    EXPECT_NE(back.find(big), std::string::npos) << "echo of " << big.size() << " bytes, got " << back.size();

    child.Signal(SIGINT);
    EXPECT_EQ(child.Wait(20000), 0);
    EXPECT_TRUE(client.WaitClosedPumping(5000));
}

}  // namespace
