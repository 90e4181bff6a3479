// The real program as a child process: command-line errors and SIGTERM.

#include "AppTestSupport.h"

#include "app/CommandLine.h"
#include "platform/LocalTime.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using namespace apptest;

// A child process with its standard error in a file; killed if still running.
class Child {
public:
    bool Start(const std::vector<std::string>& args, const std::string& cwd,
               const std::string& stderrPath, const std::string& stdoutPath = "/dev/null")
    {
        std::vector<std::string> all{KESTRANA_BINARY};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, stderrPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 1, stdoutPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        const int rc = posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        return rc == 0;
    }
    // Exit status, or -1 when it did not end within `timeoutMs`.
    int Wait(int timeoutMs)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < end) {
            int status = 0;
            const pid_t got = waitpid(m_pid, &status, WNOHANG);
            if (got == m_pid) {
                m_pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }
    void Signal(int sig)
    {
        if (m_pid > 0)
            kill(m_pid, sig);
    }
    ~Child()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }

private:
    pid_t m_pid = -1;
};

class ProcessTest : public ::testing::Test {
protected:
    std::string Dir() const { return m_temp.path(); }
    TempDir m_temp;
};

bool WaitForFile(const std::string& path, const std::string& text, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        if (ReadFile(path).find(text) != std::string::npos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

TEST_F(ProcessTest, BadArgumentExitsWithStatusTwo)
{
    for (const char* bad : {"--bogus", "--tcp-server"}) {
        Child child;
        const std::string err = Dir() + "/stderr.txt";
        ASSERT_TRUE(child.Start({bad}, Dir(), err));
        EXPECT_EQ(child.Wait(20000), 2) << bad;
        EXPECT_NE(ReadFile(err).find("usage: kestrana"), std::string::npos) << ReadFile(err);
    }
}

TEST_F(ProcessTest, HelpPrintsEveryOptionAndSucceeds)
{
    Child child;
    ASSERT_TRUE(child.Start({"--help"}, Dir(), Dir() + "/stderr.txt", Dir() + "/stdout.txt"));
    EXPECT_EQ(child.Wait(20000), 0);
    const std::string help = ReadFile(Dir() + "/stdout.txt");
    EXPECT_EQ(help.rfind("usage: kestrana ", 0), 0u) << help;
    for (const support::HelpRow& row : OptionHelp()) {
        // A row starts a line: the synopsis, then its text or the line's end.
        const std::size_t at = help.find("\n  " + std::string(row.synopsis));
        ASSERT_NE(at, std::string::npos) << row.synopsis;
        const char next = help[at + 3 + row.synopsis.size()];
        EXPECT_TRUE(next == ' ' || next == '\n') << row.synopsis;
    }
}

TEST_F(ProcessTest, VersionIsTheProjectVersion)
{
    Child child;
    ASSERT_TRUE(child.Start({"--version"}, Dir(), Dir() + "/stderr.txt", Dir() + "/stdout.txt"));
    EXPECT_EQ(child.Wait(20000), 0);
    EXPECT_EQ(ReadFile(Dir() + "/stdout.txt"), "kestrana " KESTRANA_PROJECT_VERSION "\n");
}

TEST_F(ProcessTest, SigtermEndsThroughTheNormalShutdown)
{
    const std::string registry = Dir() + "/registry";
    Child child;
    ASSERT_TRUE(child.Start({"--no-splash", "--registry-dir", registry}, Dir(), Dir() + "/stderr.txt"));
    const platform::LocalTime now = platform::GetLocalTime();
    char eventLog[32], receiveLog[32];
    std::snprintf(eventLog, sizeof eventLog, "/event%02d%02d.log", now.month, now.day);
    std::snprintf(receiveLog, sizeof receiveLog, "/receive%02d%02d.log", now.month, now.day);
    // The log writer flushes within about half a second of the start line.
    ASSERT_TRUE(WaitForFile(Dir() + eventLog, "Logging Start!", 20000)) << ReadFile(Dir() + "/stderr.txt");
    child.Signal(SIGTERM);
    EXPECT_EQ(child.Wait(20000), 0);

    const std::vector<std::string> events = ReadLines(Dir() + eventLog);
    ASSERT_FALSE(events.empty());
    EXPECT_TRUE(EndsWith(events.back(), " - Logging End!")) << events.back();
    const std::vector<std::string> received = ReadLines(Dir() + receiveLog);
    ASSERT_FALSE(received.empty());
    EXPECT_TRUE(EndsWith(received.back(), " - Logging End!")) << received.back();
    // The settings store holds the application key.
    EXPECT_NE(ReadFile(registry + "/HKEY_CURRENT_USER.reg").find("Trevane Desk2\\Trevane2"),
              std::string::npos);
}

TEST_F(ProcessTest, SigintEndsTheSameWay)
{
    Child child;
    ASSERT_TRUE(child.Start({"--no-splash", "--registry-dir", Dir() + "/registry"}, Dir(),
                            Dir() + "/stderr.txt"));
    const platform::LocalTime now = platform::GetLocalTime();
    char eventLog[32];
    std::snprintf(eventLog, sizeof eventLog, "/event%02d%02d.log", now.month, now.day);
    ASSERT_TRUE(WaitForFile(Dir() + eventLog, "Logging Start!", 20000));
    child.Signal(SIGINT);
    EXPECT_EQ(child.Wait(20000), 0);
    const std::vector<std::string> events = ReadLines(Dir() + eventLog);
    ASSERT_FALSE(events.empty());
    EXPECT_TRUE(EndsWith(events.back(), " - Logging End!"));
}

}  // namespace
