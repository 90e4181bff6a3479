// The day logs: the exact line format other tools read, every run's file kept
// whole (earlier runs set aside, files held by another running program left
// alone, no two loggers ever in one file), every line of every thread, and
// whole lines only when the disk refuses a write; and the log folder, made on
// demand with every level, or a failure that says why.

#include "support/LogFile.h"
#include "support/LogFolder.h"

#include "platform/LocalTime.h"
#include "platform/MessageBox.h"
#include "tests/common/TestFiles.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

using support::CLogFile;
using testfiles::ReadFile;

namespace {

const std::string kPrefix = "2027/02/01, 09:03:04 - ";

class LogFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(m_temp.path().empty());
        platform::SetLocalTimeSource([] { return platform::LocalTime{2027, 2, 1, 9, 3, 4, 0}; });
    }
    void TearDown() override
    {
        platform::SetLocalTimeSource({});
        EXPECT_TRUE(m_boxes.empty()) << "a test takes the boxes it expects";
    }

    std::string Path(const std::string& name = "event0201.log") const { return m_temp.path() + "/" + name; }

    testfiles::TempDir m_temp{"kestrana-logfile"};
    std::vector<std::string> m_boxes;
    testfiles::ScopedHook<platform::MessageBoxHandler> m_boxHandler{
        platform::SetMessageBoxHandler, [this](std::string_view text, std::string_view detail) {
            m_boxes.push_back(std::string(text) + " / " + std::string(detail));
        }};
};

TEST_F(LogFileTest, EachCallWritesOnePrefixAndItsTextWithCrLf)
{
    using Call = std::function<void(CLogFile&)>;
    const struct {
        const char* name;
        Call call;
        std::string expected;  // after the prefix
    } cases[] = {
        {"%s", [](CLogFile& l) { l.Write("%s Opened\n", "COM3"); }, "COM3 Opened\r\n"},
        {"%d %u %lu", [](CLogFile& l) { l.Write("%d/%u/%lu", -1, 4294967295u, 4000000000u); }, "-1/4294967295/4000000000"},
        {"%f", [](CLogFile& l) { l.Write("%f %f", 3.14159265, 1e10); }, "3.14159 1e+10"},
        // An unknown directive takes no value: the 5 is left for the %d.
        {"%x", [](CLogFile& l) { l.Write("%x,%d", 5, 6); }, "%x,5"},
        {"null %s", [](CLogFile& l) { l.Write("[%s]", static_cast<const char*>(nullptr)); }, "[]"},
        // "%%" is no escape: the second "%" starts a directive.
        {"%% and % at the end", [](CLogFile& l) { l.Write("%%d 50%", 5); }, "%5 50%"},
        {"line ends", [](CLogFile& l) { l.Write("a\nb%s\r\n", "c\nd"); }, "a\r\nbc\r\nd\r\r\n"},
        {"posted text",
         [](CLogFile& l) { l.OnLogText(0, reinterpret_cast<platform::LPARAM>("100% %d done\n")); },
         "100% %d done\r\n"},
    };
    for (const auto& c : cases) {
        {
            CLogFile log(Path());
            c.call(log);
        }
        EXPECT_EQ(ReadFile(Path()), kPrefix + c.expected) << c.name;
    }
}

TEST_F(LogFileTest, EachStartBeginsAfreshAndKeepsEarlierRunsUnderTheNextFreeNumber)
{
    testfiles::WriteFile(Path("event0201.2.log"), "taken");
    { CLogFile empty(Path()); }
    for (int run = 1; run <= 3; ++run) {
        CLogFile log(Path());
        EXPECT_TRUE(log.FileName() == Path() && ReadFile(Path()).empty() && log.Notice().empty()) << run;
        // The empty file of the first start is used again in place; .2 is taken.
        const char* const setAside[] = {"", "", "event0201.1.log", "event0201.3.log"};
        EXPECT_EQ(log.SetAsideName(), *setAside[run] ? Path(setAside[run]) : "") << run;
        log.Write("run %d\n", run);
    }
    for (const auto& [name, text] : {std::pair<std::string, std::string>{"event0201.log", kPrefix + "run 3\r\n"},
                                     {"event0201.1.log", kPrefix + "run 1\r\n"}, {"event0201.2.log", "taken"},
                                     {"event0201.3.log", kPrefix + "run 2\r\n"}})
        EXPECT_EQ(ReadFile(Path(name)), text) << name;
}

TEST_F(LogFileTest, AHeldFileIsNeitherMovedNorWrittenUntilItsHolderEnds)
{
    testfiles::WriteFile(Path("event0201.1.log"), "an earlier run\r\n");
    auto first = std::make_unique<CLogFile>(Path());
    first->Write("first run\n");
    first->Flush();
    CLogFile second(Path());
    EXPECT_TRUE(second.FileName() == Path("event0201.2.log") && second.SetAsideName().empty()) << second.FileName();
    EXPECT_EQ(second.Notice(),
              Path() + " is in use by another Kestrana; this run logs to " + Path("event0201.2.log"));
    second.Write("second run\n");
    second.Flush();
    EXPECT_EQ(ReadFile(Path()) + ReadFile(Path("event0201.1.log")) + ReadFile(Path("event0201.2.log")),
              kPrefix + "first run\r\nan earlier run\r\n" + kPrefix + "second run\r\n");

    // Free again and not empty: kept under the next free number.
    first.reset();
    CLogFile third(Path());
    EXPECT_TRUE(third.FileName() == Path() && third.SetAsideName() == Path("event0201.3.log")) << third.SetAsideName();
    EXPECT_EQ(ReadFile(Path("event0201.3.log")), kPrefix + "first run\r\n");
}

TEST_F(LogFileTest, TwoLoggersOnOneNameWrittenFromSeveralThreadsKeepEveryLine)
{
    // The case that once left holes of NUL bytes: two programs started in one
    // folder, each logging from more than one thread.
    constexpr int kThreads = 2;
    constexpr int kLines = 10000;
    std::string names[2];
    {
        CLogFile logs[2] = {CLogFile(Path()), CLogFile(Path())};
        std::vector<std::jthread> writers;
        for (int k = 0; k < 2; ++k) {
            names[k] = logs[k].FileName();
            for (int t = 0; t < kThreads; ++t)
                writers.emplace_back([&log = logs[k], k, t] {
                    for (int i = 0; i < kLines; ++i)
                        log.Write("%d.%d line %d\n", k, t, i);
                });
        }
    }
    ASSERT_NE(names[0], names[1]);
    for (int k = 0; k < 2; ++k) {
        EXPECT_EQ(ReadFile(names[k]).find('\0'), std::string::npos) << names[k];
        std::vector<int> next(kThreads, 0);
        for (const std::string& line : testfiles::ReadLines(names[k])) {
            int file = -1, t = -1, i = -1;
            ASSERT_EQ(line.rfind(kPrefix, 0), 0u) << line;
            ASSERT_EQ(std::sscanf(line.c_str() + kPrefix.size(), "%d.%d line %d", &file, &t, &i), 3) << line;
            ASSERT_EQ(file, k) << line;
            ASSERT_TRUE(t >= 0 && t < kThreads) << line;
            ASSERT_EQ(i, next[t]) << "each thread's lines in its order: " << line;
            ++next[t];
        }
        EXPECT_EQ(next, std::vector<int>(kThreads, kLines)) << names[k];
    }
}

TEST_F(LogFileTest, LoggersStartingTogetherNeverShareAFile)
{
    // An earlier run's file and eight loggers racing for its name: each gets
    // a file of its own and the earlier run survives in exactly one file.
    testfiles::WriteFile(Path(), "earlier run\r\n");
    constexpr int kLoggers = 8;
    std::vector<std::unique_ptr<CLogFile>> logs(kLoggers);
    {
        std::vector<std::jthread> starters;
        for (int i = 0; i < kLoggers; ++i)
            starters.emplace_back([&logs, i, this] {
                logs[i] = std::make_unique<CLogFile>(Path());
                logs[i]->Write("logger %d\n", i);
            });
    }
    logs.clear();
    std::vector<std::string> contents;  // one logger a file, and nothing lost
    for (const std::string& name : testfiles::FileNames(m_temp.path()))
        contents.push_back(ReadFile(Path(name)));
    std::vector<std::string> expected{"earlier run\r\n"};
    for (int i = 0; i < kLoggers; ++i)
        expected.push_back(kPrefix + "logger " + std::to_string(i) + "\r\n");
    std::sort(contents.begin(), contents.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(contents, expected);
}

TEST_F(LogFileTest, AFileThatCannotBeMadeIsReportedOnceWithItsCause)
{
    const struct {
        std::string path;
        std::string cause;
    } cases[] = {
        {Path("no-such-folder/event0201.log"),
         "Cannot open " + Path("no-such-folder/event0201.log") + ": No such file or directory"},
        {m_temp.path(), "Cannot open " + m_temp.path() + ": Is a directory"},
    };
    for (const auto& c : cases) {
        {
            CLogFile log(c.path);
            EXPECT_TRUE(!log.HasFile() && log.FileName().empty());
            log.Write("%s %d %f\n", "x", 1, 2.0);  // harmless without a file
            log.Flush();
        }
        EXPECT_EQ(std::exchange(m_boxes, {}), std::vector<std::string>{"Unable to create log file / " + c.cause});
    }
    EXPECT_FALSE(std::filesystem::exists(Path("no-such-folder")));
}

TEST_F(LogFileTest, AWriteTheDiskRefusesLeavesWholeLinesAndIsToldOnceEachWay)
{
    // A file size limit cuts the crossing write short and fails the next one
    // (EFBIG), as a full disk does with ENOSPC.
    rlimit normal{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &normal), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    std::mutex mutex;
    std::vector<std::string> told;
    {
        CLogFile log(Path());
        log.SetWriteStatusListener([&](bool ok, const std::string& text) {
            std::lock_guard lock(mutex);
            told.push_back((ok ? "ok: " : "failed: ") + text);
        });
        log.Write("before\n");
        log.Flush();
        // Room for "before", two flood lines and part of a third.
        rlimit small = normal;
        small.rlim_cur = 31 + 2 * 45 + 20;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
        for (int i = 0; i < 20; ++i)
            log.Write("line %d of the flood\n", i);
        log.Flush();
        log.Write("still refused\n");
        log.Flush();
        EXPECT_TRUE(log.WriteFailing());
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &normal), 0);
        for (const char* line : {"after\n", "and on\n"}) {
            log.Write(line);
            log.Flush();
        }
        EXPECT_FALSE(log.WriteFailing());
    }
    ::setrlimit(RLIMIT_FSIZE, &normal);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(told, (std::vector<std::string>{"failed: Cannot write " + Path() + ": File too large",
                                              "ok: Writing " + Path() + " works again; 19 lines could not be written"}));
    std::string expected;
    for (const char* line : {"before", "line 0 of the flood", "line 1 of the flood", "after", "and on"})
        expected += kPrefix + line + "\r\n";
    EXPECT_EQ(ReadFile(Path()), expected);
}

TEST(LogFolder, IsMadeWithEveryLevelOrTheFailureNamesThePartAndWhy)
{
    testfiles::TempDir temp;
    const std::string blocker = temp.path() + "/file";
    testfiles::WriteFile(blocker, "x");
    std::string failure;
    ASSERT_TRUE(support::PrepareLogFolder(temp.path() + "/logs/today", failure)) << failure;
    EXPECT_TRUE(std::filesystem::is_directory(temp.path() + "/logs/today"));
    EXPECT_FALSE(support::PrepareLogFolder(blocker + "/sub/deeper", failure));
    EXPECT_EQ(failure, "Cannot create log folder " + blocker + "/sub: Not a directory");
    support::SetLogFolder("logs/");
    EXPECT_EQ(support::LogFilePath("receive1206.log"), "logs/receive1206.log");
    support::SetLogFolder({});
}

}  // namespace
