#include "support/LogFile.h"

#include "platform/LocalTime.h"
#include "platform/MessageBox.h"
#include "tests/common/TestFiles.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using support::CLogFile;

namespace {

const std::string kPrefix = "2027/02/01, 09:03:04 - ";

class LogFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(m_temp.path().empty());
        m_dir = m_temp.path();
        platform::SetLocalTimeSource([] {
            return platform::LocalTime{2027, 2, 1, 9, 3, 4, 0};
        });
        m_previousBox = platform::SetMessageBoxHandler(
            [this](std::string_view text, std::string_view detail) {
                m_boxes.emplace_back(text);
                m_details.emplace_back(detail);
            });
    }
    void TearDown() override
    {
        platform::SetLocalTimeSource({});
        platform::SetMessageBoxHandler(m_previousBox);
    }

    std::string Path(const std::string& name = "event0201.log") const { return m_dir + "/" + name; }

    static std::string ReadAll(const std::string& path) { return testfiles::ReadFile(path); }
    static void WriteFile(const std::string& path, const std::string& text)
    {
        std::ofstream(path, std::ios::binary) << text;
    }
    std::vector<std::string> FileNames() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(m_dir))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    // What one Write leaves on disk, written through a fresh logger.
    template <typename... Args>
    std::string WriteOnce(const char* format, Args... args)
    {
        {
            CLogFile log(Path());
            log.Write(format, args...);
        }
        return ReadAll(Path());
    }

    testfiles::TempDir m_temp{"kestrana-logfile"};
    std::string m_dir;
    std::vector<std::string> m_boxes;
    std::vector<std::string> m_details;
    platform::MessageBoxHandler m_previousBox;
};

TEST_F(LogFileTest, StartLineCarriesPrefixAndCrLf)
{
    EXPECT_EQ(WriteOnce("Logging Start!\n"), kPrefix + "Logging Start!\r\n");
    EXPECT_TRUE(m_boxes.empty());
}

TEST_F(LogFileTest, StringDirective)
{
    EXPECT_EQ(WriteOnce("%s Opened\n", "COM3"), kPrefix + "COM3 Opened\r\n");
}

TEST_F(LogFileTest, SignedAndUnsigned)
{
    EXPECT_EQ(WriteOnce("%d/%u", -1, 4294967295u), kPrefix + "-1/4294967295");
}

TEST_F(LogFileTest, UnknownDirectiveConsumesNothing)
{
    // The value after %x is still there for the %d that follows.
    EXPECT_EQ(WriteOnce("%x,%d", 5, 6), kPrefix + "%x,5");
}

TEST_F(LogFileTest, LongDirectives)
{
    EXPECT_EQ(WriteOnce("%ld", 7), kPrefix + "7");
    EXPECT_EQ(WriteOnce("%lu", 4000000000u), kPrefix + "4000000000");
    EXPECT_EQ(WriteOnce("%lx|%d", 9), kPrefix + "x|9");
    EXPECT_EQ(WriteOnce("a%l"), kPrefix + "a");
    EXPECT_EQ(WriteOnce("%l%d"), kPrefix + "%d");
}

TEST_F(LogFileTest, NullAndEmptyFormatWritePrefixAlone)
{
    EXPECT_EQ(WriteOnce(nullptr), kPrefix);
    EXPECT_EQ(WriteOnce(""), kPrefix);
}

TEST_F(LogFileTest, FloatingPointInGeneralNotation)
{
    for (double value : {3.14159265, 100.0, 1e10, 0.0001234567, -2.5, 123456789.0}) {
        std::ostringstream expected;
        expected << value;
        EXPECT_EQ(WriteOnce("%f", value), kPrefix + expected.str()) << value;
    }
    EXPECT_EQ(WriteOnce("%f", 3.14159265), kPrefix + "3.14159");
    EXPECT_EQ(WriteOnce("%f", 1e10), kPrefix + "1e+10");
}

TEST_F(LogFileTest, NullStringWritesNothing)
{
    EXPECT_EQ(WriteOnce("[%s]", static_cast<const char*>(nullptr)), kPrefix + "[]");
}

TEST_F(LogFileTest, TrailingPercentAndDoublePercent)
{
    EXPECT_EQ(WriteOnce("50%"), kPrefix + "50%");
    // "%%" is no escape: the second "%" starts a directive that takes the value.
    EXPECT_EQ(WriteOnce("%%d", 5), kPrefix + "%5");
}

TEST_F(LogFileTest, EveryLineFeedBecomesCrLf)
{
    EXPECT_EQ(WriteOnce("a\nb%s\n", "c\nd"), kPrefix + "a\r\nbc\r\nd\r\n");
    EXPECT_EQ(WriteOnce("x\r\n"), kPrefix + "x\r\r\n");
}

TEST_F(LogFileTest, LinesFollowEachOther)
{
    {
        CLogFile log(Path());
        log.Write("Logging Start!\n");
        log.Write("%s Opened\n", "COM1");
        log.Write("Logging End!\n");
    }
    EXPECT_EQ(ReadAll(Path()), kPrefix + "Logging Start!\r\n" + kPrefix + "COM1 Opened\r\n" +
                                   kPrefix + "Logging End!\r\n");
}

TEST_F(LogFileTest, PrefixPadsAllButTheYear)
{
    platform::SetLocalTimeSource([] { return platform::LocalTime{987, 12, 5, 14, 5, 9, 0}; });
    EXPECT_EQ(WriteOnce("x"), "987/12/05, 14:05:09 - x");
}

TEST_F(LogFileTest, EachStartBeginsAfreshAndKeepsTheEarlierRunsWhole)
{
    for (int run = 1; run <= 3; ++run) {
        CLogFile log(Path());
        ASSERT_TRUE(log.HasFile());
        EXPECT_EQ(log.FileName(), Path());
        EXPECT_EQ(ReadAll(Path()), "") << run;
        EXPECT_TRUE(log.Notice().empty());
        // The run before this one went to the next free number.
        const std::string earlier = Path("event0201." + std::to_string(run - 1) + ".log");
        EXPECT_EQ(log.SetAsideName(), run == 1 ? "" : earlier);
        log.Write("run %d\n", run);
    }
    EXPECT_EQ(ReadAll(Path()), kPrefix + "run 3\r\n");
    EXPECT_EQ(ReadAll(Path("event0201.1.log")), kPrefix + "run 1\r\n");
    EXPECT_EQ(ReadAll(Path("event0201.2.log")), kPrefix + "run 2\r\n");
    EXPECT_TRUE(m_boxes.empty());
}

TEST_F(LogFileTest, AnEmptyEarlierFileIsReusedInPlace)
{
    { CLogFile log(Path()); }
    ASSERT_EQ(ReadAll(Path()), "");
    {
        CLogFile log(Path());
        EXPECT_EQ(log.FileName(), Path());
        EXPECT_EQ(log.SetAsideName(), "");
    }
    EXPECT_EQ(FileNames(), std::vector<std::string>{"event0201.log"});
}

TEST_F(LogFileTest, NumberedNamesSkipThoseTaken)
{
    // Earlier runs already hold .1 and .3: the next earlier run goes to .2.
    WriteFile(Path("event0201.1.log"), "one");
    WriteFile(Path("event0201.3.log"), "three");
    WriteFile(Path(), "latest");
    {
        CLogFile log(Path());
        EXPECT_EQ(log.SetAsideName(), Path("event0201.2.log"));
    }
    EXPECT_EQ(ReadAll(Path("event0201.1.log")), "one");
    EXPECT_EQ(ReadAll(Path("event0201.2.log")), "latest");
    EXPECT_EQ(ReadAll(Path("event0201.3.log")), "three");
}

TEST_F(LogFileTest, AHeldFileIsNeitherMovedNorWritten)
{
    WriteFile(Path("event0201.1.log"), "an earlier run\r\n");
    CLogFile first(Path());
    first.Write("first run\n");
    first.Flush();

    CLogFile second(Path());
    ASSERT_TRUE(second.HasFile());
    // .1 holds an earlier run, so the second logger takes .2.
    EXPECT_EQ(second.FileName(), Path("event0201.2.log"));
    EXPECT_EQ(second.SetAsideName(), "");
    EXPECT_EQ(second.Notice(), Path() + " is in use by another Kestrana; this run logs to " +
                                   Path("event0201.2.log"));
    EXPECT_TRUE(first.Notice().empty());
    second.Write("second run\n");
    second.Flush();

    EXPECT_EQ(ReadAll(Path()), kPrefix + "first run\r\n");
    EXPECT_EQ(ReadAll(Path("event0201.1.log")), "an earlier run\r\n");
    EXPECT_EQ(ReadAll(Path("event0201.2.log")), kPrefix + "second run\r\n");
    EXPECT_TRUE(m_boxes.empty());
}

TEST_F(LogFileTest, TheHeldFileIsSetAsideOnceItsHolderHasEnded)
{
    auto first = std::make_unique<CLogFile>(Path());
    first->Write("first\n");
    CLogFile second(Path());
    EXPECT_EQ(second.FileName(), Path("event0201.1.log"));
    first.reset();
    // Free again and not empty: kept under the next free number.
    CLogFile third(Path());
    EXPECT_EQ(third.FileName(), Path());
    EXPECT_EQ(third.SetAsideName(), Path("event0201.2.log"));
    EXPECT_EQ(ReadAll(Path("event0201.2.log")), kPrefix + "first\r\n");
}

TEST_F(LogFileTest, TwoLoggersOnOneNameKeepEveryLineOfBoth)
{
    constexpr int kLines = 20000;
    std::string names[2];
    {
        CLogFile a(Path());
        CLogFile b(Path());
        names[0] = a.FileName();
        names[1] = b.FileName();
        std::jthread writeA([&a] {
            for (int i = 0; i < kLines; ++i)
                a.Write("a %d\n", i);
        });
        std::jthread writeB([&b] {
            for (int i = 0; i < kLines; ++i)
                b.Write("b %d\n", i);
        });
    }
    ASSERT_NE(names[0], names[1]);
    for (int k = 0; k < 2; ++k) {
        const std::string text = ReadAll(names[k]);
        EXPECT_EQ(text.find('\0'), std::string::npos) << names[k];
        const std::vector<std::string> lines = testfiles::ReadLines(names[k]);
        ASSERT_EQ(lines.size(), static_cast<std::size_t>(kLines)) << names[k];
        const char tag = k == 0 ? 'a' : 'b';
        for (int i = 0; i < kLines; ++i)
            ASSERT_EQ(lines[static_cast<std::size_t>(i)],
                      kPrefix + tag + " " + std::to_string(i)) << names[k];
    }
}

TEST_F(LogFileTest, LoggersStartingTogetherNeverShareAFile)
{
    // An earlier run's file and eight loggers racing for its name: each gets
    // a file of its own and the earlier run survives in exactly one file.
    WriteFile(Path(), "earlier run\r\n");
    constexpr int kLoggers = 8;
    std::vector<std::unique_ptr<CLogFile>> logs(kLoggers);
    {
        std::vector<std::jthread> starters;
        for (int i = 0; i < kLoggers; ++i)
            starters.emplace_back([&logs, i, this] {
                logs[static_cast<std::size_t>(i)] = std::make_unique<CLogFile>(Path());
                logs[static_cast<std::size_t>(i)]->Write("logger %d\n", i);
            });
    }
    std::vector<std::string> used;
    for (const auto& log : logs) {
        ASSERT_TRUE(log->HasFile());
        used.push_back(log->FileName());
    }
    logs.clear();
    std::sort(used.begin(), used.end());
    EXPECT_EQ(std::unique(used.begin(), used.end()), used.end()) << "two loggers shared a file";

    std::vector<int> seen(kLoggers, 0);
    int earlier = 0;
    for (const std::string& name : FileNames()) {
        const std::string text = ReadAll(Path(name.c_str()));
        if (text == "earlier run\r\n") {
            ++earlier;
            continue;
        }
        int i = -1;
        ASSERT_EQ(std::sscanf(text.c_str(), "2027/02/01, 09:03:04 - logger %d\r\n", &i), 1)
            << name << ": " << text;
        ASSERT_EQ(text, kPrefix + "logger " + std::to_string(i) + "\r\n") << name;
        ++seen[static_cast<std::size_t>(i)];
    }
    EXPECT_EQ(earlier, 1);
    EXPECT_EQ(seen, std::vector<int>(kLoggers, 1));
    EXPECT_TRUE(m_boxes.empty());
}

TEST_F(LogFileTest, UncreatableFileReportsOnceAndWritesAreHarmless)
{
    const std::string path = m_dir + "/no-such-folder/event0201.log";
    {
        CLogFile log(path);
        EXPECT_FALSE(log.HasFile());
        log.Write("Logging Start!\n");
        log.Write("%s %d %f\n", "x", 1, 2.0);
        log.WriteText("text\n");
        EXPECT_EQ(log.OnLogText(0, reinterpret_cast<platform::LPARAM>("y\n")), 1);
        log.Flush();
    }
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0], "Unable to create log file");
    EXPECT_EQ(m_details[0], "Cannot open " + path + ": No such file or directory");
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(LogFileTest, FolderNameCannotBeALogFile)
{
    CLogFile log(m_dir);
    EXPECT_FALSE(log.HasFile());
    EXPECT_EQ(log.FileName(), "");
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_details[0], "Cannot open " + m_dir + ": Is a directory");
}

TEST_F(LogFileTest, MessageTextIsLoggedLiterally)
{
    {
        CLogFile log(Path());
        const char text[] = "100% %d done\n";
        EXPECT_EQ(log.OnLogText(0, reinterpret_cast<platform::LPARAM>(text)), 1);
        EXPECT_EQ(log.OnLogText(0, 0), 1);
    }
    EXPECT_EQ(ReadAll(Path()), kPrefix + "100% %d done\r\n" + kPrefix);
}

TEST_F(LogFileTest, WriteTextKeepsPercentSigns)
{
    {
        CLogFile log(Path());
        log.WriteText("3:EVENT: RXFLAG %s\r\n\n");
    }
    EXPECT_EQ(ReadAll(Path()), kPrefix + "3:EVENT: RXFLAG %s\r\r\n\r\n");
}

TEST_F(LogFileTest, LineReachesDiskWhileLoggerLives)
{
    CLogFile log(Path());
    log.Write("Logging Start!\n");
    const auto expected = kPrefix.size() + std::string("Logging Start!\r\n").size();
    // Bounded wait for the background flush; not a speed assertion.
    const auto deadline = std::chrono::steady_clock::now() + 3s;
    std::uintmax_t size = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        size = std::filesystem::file_size(Path());
        if (size >= expected)
            break;
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_EQ(size, expected);
    EXPECT_EQ(ReadAll(Path()), kPrefix + "Logging Start!\r\n");
}

TEST_F(LogFileTest, LargeBurstArrivesWholeAndInOrder)
{
    constexpr int kLines = 20000;
    {
        CLogFile log(Path());
        for (int i = 0; i < kLines; ++i)
            log.Write("%d 00 FF 7E \n", i);
    }
    std::ifstream in(Path(), std::ios::binary);
    std::string line;
    int count = 0;
    while (std::getline(in, line)) {
        ASSERT_EQ(line, kPrefix + std::to_string(count) + " 00 FF 7E \r") << count;
        ++count;
    }
    EXPECT_EQ(count, kLines);
}

TEST_F(LogFileTest, WritersOnSeveralThreadsKeepLinesWhole)
{
    constexpr int kThreads = 4;
    constexpr int kPerThread = 5000;
    {
        CLogFile log(Path());
        std::vector<std::jthread> writers;
        for (int t = 0; t < kThreads; ++t)
            writers.emplace_back([&log, t] {
                for (int i = 0; i < kPerThread; ++i)
                    log.Write("t%d line %d\n", t, i);
            });
    }
    std::ifstream in(Path(), std::ios::binary);
    std::string line;
    std::vector<int> next(kThreads, 0);
    int count = 0;
    while (std::getline(in, line)) {
        int t = -1, i = -1;
        ASSERT_EQ(line.rfind(kPrefix, 0), 0u) << line;
        ASSERT_EQ(std::sscanf(line.c_str() + kPrefix.size(), "t%d line %d\r", &t, &i), 2) << line;
        ASSERT_GE(t, 0);
        ASSERT_LT(t, kThreads);
        EXPECT_EQ(i, next[t]);  // each thread's lines stay in its order
        next[t] = i + 1;
        ++count;
    }
    EXPECT_EQ(count, kThreads * kPerThread);
}

}  // namespace
