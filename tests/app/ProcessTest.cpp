// The real program as a child process: command-line errors and SIGTERM.

#include "AppTestSupport.h"

#include "app/CommandLine.h"
#include "platform/LocalTime.h"
#include "tests/common/ChildProcess.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace apptest;

// Kestrana as a child process, run offscreen in `cwd`, its standard error in
// a file; killed if still running at the end.
class Child {
public:
    bool Start(const std::vector<std::string>& args, const std::string& cwd,
               const std::string& stderrPath, const std::string& stdoutPath = "")
    {
        std::vector<std::string> argv{KESTRANA_BINARY};
        argv.insert(argv.end(), args.begin(), args.end());
        testchild::ChildOptions options;
        options.workingDir = cwd;
        options.environment = {"QT_QPA_PLATFORM=offscreen"};
        options.out = stdoutPath.empty() ? testchild::Stream::Null : testchild::Stream::File;
        options.outputFile = stdoutPath;
        options.err = testchild::Stream::File;
        options.errorFile = stderrPath;
        return m_process.Start(argv, options);
    }
    // Exit status, or -1 when it did not end within `timeoutMs`.
    int Wait(int timeoutMs) { return m_process.WaitExit(std::chrono::milliseconds(timeoutMs)).value_or(-1); }
    void Signal(int sig) { m_process.Signal(sig); }

private:
    testchild::ChildProcess m_process;
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
    for (const char* bad : {"--bogus", "--tcp-server=70000"}) {
        Child child;
        const std::string err = Dir() + "/stderr.txt";
        ASSERT_TRUE(child.Start({bad}, Dir(), err));
        EXPECT_EQ(child.Wait(20000), 2) << bad;
        EXPECT_NE(ReadFile(err).find("usage: kestrana"), std::string::npos) << ReadFile(err);
    }
}

TEST_F(ProcessTest, UnknownCharsetIsAUsageErrorNamingIt)
{
    Child child;
    const std::string err = Dir() + "/stderr.txt";
    ASSERT_TRUE(child.Start({"--charset", "KLINGON-8"}, Dir(), err));
    EXPECT_EQ(child.Wait(20000), 2);
    const std::string text = ReadFile(err);
    EXPECT_NE(text.find("unknown character set 'KLINGON-8'"), std::string::npos) << text;
    EXPECT_NE(text.find("usage: kestrana"), std::string::npos) << text;
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

// The day's event log name, taken from the clock as the program does.
std::string DayLog(const char* kind, const char* suffix = "")
{
    const platform::LocalTime now = platform::GetLocalTime();
    char name[40];
    std::snprintf(name, sizeof name, "/%s%02d%02d%s.log", kind, now.month, now.day, suffix);
    return name;
}

// One run: first line ending in `start`, last in "Logging End!", no NUL.
::testing::AssertionResult OneWholeRun(const std::string& path, const std::string& start)
{
    const std::string text = ReadFile(path);
    if (text.find('\0') != std::string::npos)
        return ::testing::AssertionFailure() << path << " has NUL bytes";
    const std::vector<std::string> lines = ReadLines(path);
    if (lines.size() < 2 || !EndsWith(lines.front(), " - " + start) ||
        !EndsWith(lines.back(), " - Logging End!"))
        return ::testing::AssertionFailure() << path << " is not one whole run:\n" << text;
    return ::testing::AssertionSuccess();
}

TEST_F(ProcessTest, TwoProgramsInOneFolderKeepBothRunsWhole)
{
    const std::string registry = Dir() + "/registry";
    Child first;
    ASSERT_TRUE(
        first.Start({"--no-splash", "--registry-dir", registry}, Dir(), Dir() + "/err1.txt"));
    ASSERT_TRUE(WaitForFile(Dir() + DayLog("event"), "Logging Start!", 20000))
        << ReadFile(Dir() + "/err1.txt");
    Child second;
    ASSERT_TRUE(
        second.Start({"--no-splash", "--registry-dir", registry}, Dir(), Dir() + "/err2.txt"));
    // The second finds both day files held and says so in its own event log.
    ASSERT_TRUE(WaitForFile(Dir() + DayLog("event", ".1"), "is in use by another Kestrana", 20000))
        << ReadFile(Dir() + "/err2.txt");
    second.Signal(SIGTERM);
    first.Signal(SIGTERM);
    EXPECT_EQ(second.Wait(20000), 0);
    EXPECT_EQ(first.Wait(20000), 0);

    for (const char* suffix : {"", ".1"}) {
        EXPECT_TRUE(OneWholeRun(Dir() + DayLog("event", suffix), "Logging Start!"));
        EXPECT_TRUE(OneWholeRun(Dir() + DayLog("receive", suffix), "Receice Logging Start!"));
    }
    const std::string secondEvents = ReadFile(Dir() + DayLog("event", ".1"));
    EXPECT_NE(secondEvents.find(DayLog("receive").substr(1) +
                                " is in use by another Kestrana; this run logs to " +
                                DayLog("receive", ".1").substr(1)),
              std::string::npos)
        << secondEvents;
    EXPECT_FALSE(std::filesystem::exists(Dir() + DayLog("event", ".2")));
}

TEST_F(ProcessTest, LogDirIsCreatedAndHoldsBothLogs)
{
    const std::string logs = Dir() + "/logs/kestrana";
    Child child;
    ASSERT_TRUE(child.Start(
        {"--no-splash", "--registry-dir", Dir() + "/registry", "--log-dir", logs}, Dir(),
        Dir() + "/stderr.txt"));
    ASSERT_TRUE(WaitForFile(logs + DayLog("event"), "Logging Start!", 20000))
        << ReadFile(Dir() + "/stderr.txt");
    child.Signal(SIGTERM);
    EXPECT_EQ(child.Wait(20000), 0);
    EXPECT_TRUE(OneWholeRun(logs + DayLog("event"), "Logging Start!"));
    EXPECT_TRUE(OneWholeRun(logs + DayLog("receive"), "Receice Logging Start!"));
    EXPECT_FALSE(std::filesystem::exists(Dir() + DayLog("event")));
}

TEST_F(ProcessTest, UnusableLogDirIsABadArgument)
{
    const std::string blocker = Dir() + "/plain-file";
    { std::ofstream(blocker) << "x"; }
    Child child;
    const std::string err = Dir() + "/stderr.txt";
    ASSERT_TRUE(child.Start({"--no-splash", "--log-dir", blocker + "/logs"}, Dir(), err));
    EXPECT_EQ(child.Wait(20000), 2);
    EXPECT_EQ(ReadFile(err), "kestrana: --log-dir: Cannot create log folder " + blocker +
                                 "/logs: Not a directory\n");
}

}  // namespace
