// The two day logs across starts of the whole application, in-process: no
// start destroys an earlier run's log, a log held by another running program
// is left alone, and --log-dir moves both logs.

#include "AppTestSupport.h"

#include "app/MainFrame.h"
#include "app/Trevane2App.h"
#include "platform/LocalTime.h"
#include "support/LogFile.h"

#include <QPlainTextEdit>

namespace {

using namespace apptest;

class LogStartTest : public AppFixture {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        platform::SetLocalTimeSource([] { return platform::LocalTime{2027, 2, 1, 9, 3, 4, 0}; });
    }
    void TearDown() override
    {
        platform::SetLocalTimeSource({});
        AppFixture::TearDown();
    }

    static CommandLineOptions Options(const std::string& logDir = {})
    {
        CommandLineOptions o;
        o.noSplash = true;
        o.logDir = logDir;
        return o;
    }

    // One whole run of the application; returns what its event box showed.
    std::string RunOnce(const CommandLineOptions& options, std::string* eventLogName = nullptr)
    {
        CTrevane2App app;
        EXPECT_TRUE(app.InitInstance(options));
        std::string shown;
        if (app.GetMainFrame() != nullptr) {
            shown = app.GetMainFrame()->EventBox()->toPlainText().toStdString();
            if (eventLogName != nullptr)
                *eventLogName = app.GetMainFrame()->EventLogName().toStdString();
        }
        app.ExitInstance();
        return shown;
    }

    // True when the file holds exactly one run: first line `start`, last
    // line "Logging End!", and no NUL byte anywhere.
    static ::testing::AssertionResult OneWholeRun(const std::string& path, const std::string& start)
    {
        const std::string text = ReadFile(path);
        if (text.find('\0') != std::string::npos)
            return ::testing::AssertionFailure() << path << " has NUL bytes";
        const std::vector<std::string> lines = ReadLines(path);
        if (lines.size() < 2 || !EndsWith(lines.front(), " - " + start) ||
            !EndsWith(lines.back(), " - Logging End!"))
            return ::testing::AssertionFailure() << path << " is not one whole run:\n" << text;
        int starts = 0;
        for (const std::string& line : lines)
            starts += EndsWith(line, " - " + start) ? 1 : 0;
        if (starts != 1)
            return ::testing::AssertionFailure() << path << " holds " << starts << " runs";
        return ::testing::AssertionSuccess();
    }
};

TEST_F(LogStartTest, TwoStartsOnOneDayKeepBothRuns)
{
    std::string name;
    RunOnce(Options(), &name);
    EXPECT_EQ(name, "event0201.log");
    RunOnce(Options(), &name);
    EXPECT_EQ(name, "event0201.log");

    // The latest run has the day's name; the first kept the next number.
    EXPECT_TRUE(OneWholeRun(WorkFile("event0201.log"), "Logging Start!"));
    EXPECT_TRUE(OneWholeRun(WorkFile("event0201.1.log"), "Logging Start!"));
    EXPECT_TRUE(OneWholeRun(WorkFile("receive0201.log"), "Receice Logging Start!"));
    EXPECT_TRUE(OneWholeRun(WorkFile("receive0201.1.log"), "Receice Logging Start!"));
    EXPECT_TRUE(m_boxes.Texts().empty());
}

TEST_F(LogStartTest, ANewDocumentKeepsTheReceiveLogItEnds)
{
    {
        CTrevane2App app;
        ASSERT_TRUE(app.InitInstance(Options()));
        app.GetMainFrame()->OnFileNew();
        app.ExitInstance();
    }
    // The document before Ctrl+N kept its log under the next number.
    EXPECT_TRUE(OneWholeRun(WorkFile("receive0201.1.log"), "Receice Logging Start!"));
    EXPECT_TRUE(OneWholeRun(WorkFile("receive0201.log"), "Receice Logging Start!"));
    EXPECT_TRUE(OneWholeRun(WorkFile("event0201.log"), "Logging Start!"));
    EXPECT_FALSE(std::filesystem::exists(WorkFile("event0201.1.log")));
}

TEST_F(LogStartTest, LogsHeldByAnotherRunAreLeftAloneAndTheEventBoxSaysSo)
{
    const std::string heldLine = "2027/02/01, 09:03:04 - held by the other run\r\n";
    std::string name;
    std::string shown;
    {
        support::CLogFile otherEvents(WorkFile("event0201.log"));
        support::CLogFile otherReceived(WorkFile("receive0201.log"));
        otherEvents.Write("held by the other run\n");
        otherReceived.Write("held by the other run\n");
        otherEvents.Flush();
        otherReceived.Flush();
        shown = RunOnce(Options(), &name);
        EXPECT_EQ(ReadFile(WorkFile("event0201.log")), heldLine);
        EXPECT_EQ(ReadFile(WorkFile("receive0201.log")), heldLine);
    }
    EXPECT_EQ(name, "event0201.1.log");
    // The names are the ones the run asked for: in the working folder.
    const std::string eventNotice =
        "event0201.log is in use by another Kestrana; this run logs to event0201.1.log";
    const std::string receiveNotice =
        "receive0201.log is in use by another Kestrana; this run logs to receive0201.1.log";
    EXPECT_NE(shown.find(eventNotice), std::string::npos) << shown;
    EXPECT_NE(shown.find(receiveNotice), std::string::npos) << shown;

    EXPECT_TRUE(OneWholeRun(WorkFile("event0201.1.log"), "Logging Start!"));
    EXPECT_TRUE(OneWholeRun(WorkFile("receive0201.1.log"), "Receice Logging Start!"));
    // The event log keeps the notes as well.
    const std::string events = ReadFile(WorkFile("event0201.1.log"));
    EXPECT_NE(events.find(eventNotice), std::string::npos) << events;
    EXPECT_NE(events.find(receiveNotice), std::string::npos) << events;
    EXPECT_TRUE(m_boxes.Texts().empty());
}

TEST_F(LogStartTest, LogDirHoldsBothLogs)
{
    const std::string logs = m_temp.path() + "/logs";
    std::filesystem::create_directories(logs);
    std::string name;
    RunOnce(Options(logs), &name);
    EXPECT_EQ(name, logs + "/event0201.log");
    EXPECT_TRUE(OneWholeRun(logs + "/event0201.log", "Logging Start!"));
    EXPECT_TRUE(OneWholeRun(logs + "/receive0201.log", "Receice Logging Start!"));
    EXPECT_FALSE(std::filesystem::exists(WorkFile("event0201.log")));
    EXPECT_FALSE(std::filesystem::exists(WorkFile("receive0201.log")));

    // The next start without the option writes in the working folder again.
    RunOnce(Options(), &name);
    EXPECT_EQ(name, "event0201.log");
    EXPECT_TRUE(std::filesystem::exists(WorkFile("event0201.log")));
}

}  // namespace
