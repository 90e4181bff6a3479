// Start-up and shutdown of the whole application. In-process: the settings
// key and the logs, a store that cannot be written, About, the manual, and a
// file to open. The real program as a child process: command-line errors,
// --help and --version, a store it cannot use, files it must not wait on,
// SIGTERM, SIGINT and SIGHUP, two programs in one folder, --log-dir (also on
// a full disk), and the headless bridge with no display at all.

#include "AppTestSupport.h"

#include "app/AboutDlg.h"
#include "app/HelpWindow.h"
#include "platform/LocalTime.h"
#include "support/Registry.h"
#include "tests/common/ChildProcess.h"
#include "tests/common/DevsimProcess.h"
#include "tests/net/NetTestSupport.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace apptest;
using nettest::TcpClient;
using std::chrono::milliseconds;

// The day's log name, from the clock as the program takes it.
std::string DayLog(const char* kind, const char* suffix = "")
{
    const platform::LocalTime now = platform::GetLocalTime();
    char name[40];
    std::snprintf(name, sizeof name, "/%s%02d%02d%s.log", kind, now.month, now.day, suffix);
    return name;
}

bool WaitForText(const std::string& path, const std::string& text, int timeoutMs = 20000)
{
    const auto end = std::chrono::steady_clock::now() + milliseconds(timeoutMs);
    while (ReadFile(path).find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(milliseconds(20));
    }
    return true;
}

// The program's own lines of its standard error (Qt may add notes of its own).
std::string OwnLines(const std::string& err)
{
    std::istringstream lines(err);
    std::string own;
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("kestrana: ", 0) == 0 || line.rfind("usage: ", 0) == 0)
            own += line + "\n";
    return own;
}

// How often `text` occurs in `all`.
int Count(const std::string& all, const std::string& text)
{
    int n = 0;
    for (std::size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1))
        ++n;
    return n;
}

// True once another process waits for the flock on `path` (/proc/locks shows
// waiters as "-> FLOCK ... <dev>:<inode> ...").
bool WaitForLockWaiter(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return false;
    const std::string inode = ":" + std::to_string(info.st_ino) + " ";
    for (int i = 0; i < 1000; ++i, std::this_thread::sleep_for(milliseconds(20))) {
        std::istringstream locks(ReadFile("/proc/locks"));
        for (std::string line; std::getline(locks, line);)
            if (line.find("-> FLOCK") != std::string::npos && line.find(inode) != std::string::npos)
                return true;
    }
    return false;
}

class ProcessTest : public ::testing::Test {
protected:
    // Kestrana in `Dir()`, offscreen (or with no display at all when
    // headless), its standard error in err.txt and its output in out.txt.
    // `wrapper` runs first and is handed the program and its arguments.
    bool Run(testchild::ChildProcess& child, const std::vector<std::string>& args, bool headless = false,
             const std::string& tag = "", const std::vector<std::string>& wrapper = {})
    {
        std::vector<std::string> argv = wrapper;
        argv.push_back(KESTRANA_BINARY);
        argv.insert(argv.end(), args.begin(), args.end());
        testchild::ChildOptions options;
        options.workingDir = Dir();
        options.environment = headless ? std::vector<std::string>{"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}
                                       : std::vector<std::string>{"QT_QPA_PLATFORM=offscreen"};
        options.out = testchild::Stream::File;
        options.outputFile = Dir() + "/out" + tag + ".txt";
        options.err = testchild::Stream::File;
        options.errorFile = Err(tag);
        return child.Start(argv, options);
    }
    std::string Dir() const { return m_temp.path(); }
    std::string Err(const std::string& tag = "") const { return Dir() + "/err" + tag + ".txt"; }
    std::string Registry() const { return Dir() + "/registry"; }
    // The headless bridge on `port` of 127.0.0.1; with a `device`, COM1 is
    // that device and connected.
    std::vector<std::string> Bridge(int port, const std::string& device = "") const
    {
        std::vector<std::string> args{"--headless", "--registry-dir", Registry(), "--tcp-server=" + std::to_string(port),
                                      "--tcp-bind", "127.0.0.1"};
        if (!device.empty())
            args.insert(args.end(), {"--device", "COM1=" + device, "--connect"});
        return args;
    }
    static int Exit(testchild::ChildProcess& child) { return child.WaitExit(milliseconds(20000)).value_or(-1); }

    testfiles::TempDir m_temp{"kestrana-app"};
};

TEST_F(ProcessTest, BadArgumentsExitWithStatusTwoAnUnusableStoreWithOneABridgeThatCannotListenWithThreeVersionWithZero)
{
    const std::string blocker = Dir() + "/plain-file";
    testfiles::WriteFile(blocker, "x");
    const int port = nettest::FreePort();
    const platform::UniqueFd taken = nettest::ListenOn(port);
    ASSERT_TRUE(taken);
    const struct {
        std::vector<std::string> args;
        int status;
        std::string err, out;  // what standard error holds (--bogus, the bridge: within it), what standard output starts with
    } cases[] = {
        // A service supervisor must see a bridge that cannot serve.
        {Bridge(port), 3, "Address already in use", ""},
        {{"--bogus"}, 2, "unknown option '--bogus'\nusage: kestrana", ""},
        {{"--log-dir", blocker + "/logs"}, 2, "kestrana: --log-dir: Cannot create log folder " + blocker + "/logs: Not a directory\n", ""},
        {{"--headless", "--registry-dir", blocker + "/sub"}, 1,
         "kestrana: Registry error: 5: Cannot create settings folder " + blocker + "/sub: Not a directory\n", ""},
        {{"--version"}, 0, "", "kestrana " KESTRANA_PROJECT_VERSION "\n"},
    };
    for (const auto& c : cases) {
        testchild::ChildProcess child;
        ASSERT_TRUE(Run(child, c.args, c.status == 3));
        EXPECT_EQ(Exit(child), c.status) << c.args[0];
        const bool within = c.status == 3 || c.args[0] == "--bogus";
        const std::string err = within ? ReadFile(Err()) : OwnLines(ReadFile(Err()));
        EXPECT_TRUE(within ? err.find(c.err) != std::string::npos : err == c.err) << err;
        EXPECT_EQ(ReadFile(Dir() + "/out.txt").rfind(c.out, 0), 0u) << c.args[0];
        EXPECT_TRUE(c.status != 3 || OneWholeRun(Dir() + DayLog("event"), "Logging Start!")) << "ends through the normal shutdown";
    }
}

// Two programs on one log folder (made for them), ended by SIGHUP and SIGTERM
// (SIGINT: the headless bridge below) through the normal shutdown: both runs
// whole.
TEST_F(ProcessTest, TwoProgramsOnOneLogFolderKeepBothRunsWholeAndEndOnSighupAndSigterm)
{
    const std::string logs = Dir() + "/logs";
    testchild::ChildProcess first, second;
    ASSERT_TRUE(Run(first, {"--no-splash", "--registry-dir", Registry(), "--log-dir", logs}, false, "1"));
    ASSERT_TRUE(WaitForText(logs + DayLog("event"), "Logging Start!")) << ReadFile(Err("1"));
    ASSERT_TRUE(Run(second, {"--no-splash", "--registry-dir", Registry(), "--log-dir", logs}, false, "2"));
    // The second finds both day files held and says so in its own event log
    // (each notice is written as it comes).
    ASSERT_TRUE(WaitForText(logs + DayLog("event", ".1"), logs + DayLog("receive") +
                                                              " is in use by another Kestrana; this run logs to " +
                                                              logs + DayLog("receive", ".1")))
        << ReadFile(Err("2")) << ReadFile(logs + DayLog("event", ".1"));
    EXPECT_NE(ReadFile(logs + DayLog("event", ".1")).find(logs + DayLog("event") + " is in use by another Kestrana"),
              std::string::npos);
    second.Signal(SIGHUP);  // its terminal went away
    first.Signal(SIGTERM);
    EXPECT_EQ(Exit(second), 0);
    EXPECT_EQ(Exit(first), 0);
    for (const char* suffix : {"", ".1"}) {
        EXPECT_TRUE(OneWholeRun(logs + DayLog("event", suffix), "Logging Start!"));
        EXPECT_TRUE(OneWholeRun(logs + DayLog("receive", suffix), "Receice Logging Start!"));
    }
    EXPECT_FALSE(std::filesystem::exists(logs + DayLog("event", ".2")) || std::filesystem::exists(Dir() + DayLog("event")));
    EXPECT_NE(ReadFile(Registry() + "/HKEY_CURRENT_USER.reg").find("Trevane Desk2\\Trevane2"), std::string::npos)
        << "the settings were saved";
}

// Start-up opens only regular files as documents or settings, refuses a
// document nested too deep without the memory it would take, and ends on
// SIGTERM while it waits for the settings lock another process holds.
TEST_F(ProcessTest, StartupRefusesPipesDevicesAndDeepGroupsAndEndsOnSigtermWhileItWaits)
{
    std::filesystem::create_directories(Registry());
    const std::string pipe = Dir() + "/pipe.rtf", deep = Dir() + "/deep.rtf";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    testfiles::WriteFile(deep, "{\\rtf1" + std::string(std::size_t(16) << 20, '{'));
    const std::string settings = Registry() + "/HKEY_CURRENT_USER.reg";
    const std::string lock = settings + ".lock";
    const auto box = [&](const std::string& file, const std::string& why) {
        return "kestrana: The file " + file + " could not be opened. " + why + "\n";
    };
    const struct {
        const char* what;
        std::string file;
        std::string err;  // all of standard error; empty: ended by SIGTERM with status 0
    } cases[] = {
        {"a pipe as the document", pipe, box(pipe, "Cannot read " + pipe + ": not a regular file")},
        {"a device as the document", "/dev/zero", box("/dev/zero", "Cannot read /dev/zero: not a regular file")},
        {"groups nested sixteen million deep", deep, box(deep, "Cannot load " + deep + ": groups nested deeper than 1000")},
        {"a pipe as the settings file", "", "kestrana: Registry error: 5: Cannot read " + settings + ": not a regular file\n"},
        {"the settings lock held", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string what = c.what;
        std::filesystem::remove(settings);
        if (what == "a pipe as the settings file") {
            ASSERT_EQ(::mkfifo(settings.c_str(), 0600), 0);
        }
        platform::UniqueFd held;
        if (what == "the settings lock held") {
            held.reset(::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
            ASSERT_EQ(::flock(held.get(), LOCK_EX), 0);
        }
        std::vector<std::string> args{"--headless", "--registry-dir", Registry()};
        if (!c.file.empty())
            args.push_back(c.file);
        testchild::ChildProcess child;
        ASSERT_TRUE(Run(child, args, true));
        if (c.err.empty()) {
            ASSERT_TRUE(WaitForLockWaiter(lock));
            child.Signal(SIGTERM);
            EXPECT_EQ(child.WaitExit(milliseconds(1000)).value_or(-1), 0);
        } else {
            EXPECT_EQ(Exit(child), 1);
        }
        EXPECT_EQ(OwnLines(ReadFile(Err())), c.err);
    }
    // Refusing the deep document took none of the memory its groups would have.
    rusage usage {};
    ASSERT_EQ(::getrusage(RUSAGE_CHILDREN, &usage), 0);
    EXPECT_LT(usage.ru_maxrss, 200 * 1024) << "peak KiB of a child";
}

// Connects once the server is up (it opens after start-up).
bool ConnectWithin(TcpClient& client, int port)
{
    for (int attempt = 0; attempt < 400; ++attempt, std::this_thread::sleep_for(milliseconds(50)))
        if (client.Connect(port))
            return true;
    return false;
}

// Sends `bytes` through an echoing device; true once they came back whole.
// The port may open a moment after the server: it pings until it echoes.
bool EchoedBack(TcpClient& client, const std::string& bytes)
{
    std::string echoed;
    for (int attempt = 0; attempt < 40 && echoed.find("ping") == std::string::npos; ++attempt)
        if (client.Send("ping"))
            echoed += client.ReadSome(500);
    if (!client.Send(bytes))
        return false;
    for (int i = 0; i < 200 && echoed.find(bytes) == std::string::npos; ++i)
        echoed += client.ReadSome(100);
    return echoed.find(bytes) != std::string::npos;
}

TEST_F(ProcessTest, HeadlessADeviceErrorAndASettingsFileSetAsideAreSaidAndTheRunGoesOn)
{
    std::filesystem::create_directories(Registry());
    const std::string settings = Registry() + "/HKEY_CURRENT_USER.reg";
    testfiles::WriteFile(settings, "not settings\r\n");
    const int port = nettest::FreePort();
    testchild::ChildProcess child;
    ASSERT_TRUE(Run(child, Bridge(port, Dir() + "/no-such-tty"), true));
    ASSERT_TRUE(WaitForText(Err(), "kestrana: Connection Failed!")) << ReadFile(Err());
    EXPECT_TRUE(WaitForText(Err(), "no-such-tty: No such file or directory")) << ReadFile(Err());
    // Where the unreadable settings went, and why: once on standard error,
    // once in the event log (after the event box).
    const std::string aside = "Settings file " + settings + " is unreadable (first line is not REGEDIT4); kept as " +
                              settings + ".corrupt-";
    EXPECT_EQ(Count(ReadFile(Err()), "kestrana: " + aside), 1) << ReadFile(Err());
    EXPECT_TRUE(WaitForText(Dir() + DayLog("event"), aside));
    EXPECT_EQ(Count(ReadFile(Dir() + DayLog("event")), aside), 1);
    // Nobody had to answer it: the program runs on and serves clients.
    TcpClient client;
    ASSERT_TRUE(ConnectWithin(client, port)) << ReadFile(Err());
    EXPECT_TRUE(WaitForText(Dir() + DayLog("event"), "TCP client 127.0.0.1:"));
    child.Signal(SIGTERM);
    EXPECT_EQ(Exit(child), 0);
    EXPECT_TRUE(OneWholeRun(Dir() + DayLog("event"), "Logging Start!"));
}

// The log folder is a 64 kB file system of the program's own (a private
// mount namespace), full from the start or filling up under a hex flood that
// goes out and echoes back: each log that cannot be written says so once with
// the file and the cause (on standard error while the event log is the one
// failing), and once more when it can; no line is ever written half.
TEST_F(ProcessTest, HeadlessLogsOnAFullDiskSaySoOnceEachWayAndKeepWholeLines)
{
    if (std::system("unshare -rm true 2>/dev/null") != 0)
        GTEST_SKIP() << "no private mount namespace here (unshare -rm)";
    const std::string logs = Dir() + "/logs";
    std::filesystem::create_directories(logs);
    std::filesystem::create_directories(Registry());
    // Hex mode (kept as "AutoWrap"), so the receive log gets every block.
    testfiles::WriteFile(Registry() + "/HKEY_CURRENT_USER.reg",
                         "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Trevane Desk2\\Trevane2\\Terminal Settings]\r\n"
                         "\"AutoWrap\"=dword:00000001\r\n");
    const std::vector<std::string> wrapper{
        "unshare", "-rm", "sh", "-c",
        "mount -t tmpfs -o size=64k tmpfs \"$1\" || exit 97; head -c \"$2\" /dev/zero >\"$1/filler\" 2>/dev/null;"
        " shift 2; exec \"$@\"",
        "sh", logs};
    const struct {
        const char* fill;
        bool eventLogFails;
    } cases[] = {{"64k", true}, {"48k", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fill);
        const std::string tag = c.fill;
        testchild::DevsimProcess device;
        ASSERT_TRUE(device.StartDevice({"--echo"}));
        const int port = nettest::FreePort();
        testchild::ChildProcess child;
        std::vector<std::string> fill = wrapper, args = Bridge(port, device.FarEndPath());
        fill.push_back(c.fill);
        args.insert(args.end(), {"--log-dir", logs});
        ASSERT_TRUE(Run(child, args, true, tag, fill));
        // The logs as the program sees them, through its own root.
        const std::string seen = "/proc/" + std::to_string(child.Pid()) + "/root" + logs;
        const std::string eventLog = seen + DayLog("event"), receiveLog = seen + DayLog("receive");
        TcpClient client;
        ASSERT_TRUE(ConnectWithin(client, port)) << ReadFile(Err(tag));
        // A page for the event log before the flood, where it has room.
        if (!c.eventLogFails) {
            ASSERT_TRUE(WaitForText(eventLog, "TCP client 127.0.0.1:")) << ReadFile(Err(tag));
        }
        ASSERT_TRUE(EchoedBack(client, testpty::Pattern(16000, 7))) << ReadFile(Err(tag));
        const std::string failed = "Cannot write " + logs + DayLog("receive") + ": No space left on device";
        ASSERT_TRUE(WaitForText(c.eventLogFails ? Err(tag) : eventLog, failed)) << ReadFile(Err(tag));

        std::filesystem::remove(seen + "/filler");
        ASSERT_TRUE(client.Send("after"));
        const std::string again = "Writing " + logs + DayLog("receive") + " works again; ";
        ASSERT_TRUE(WaitForText(eventLog, again)) << ReadFile(Err(tag));
        ASSERT_TRUE(WaitForText(receiveLog, " - 61 66 74 65 72 \r\n")) << "\"after\" logged";
        const std::string events = ReadFile(eventLog), received = ReadFile(receiveLog);
        child.Signal(SIGTERM);
        EXPECT_EQ(Exit(child), 0);

        const std::string err = ReadFile(Err(tag));
        EXPECT_EQ(Count(err + events, failed), 1) << err << events;
        EXPECT_EQ(Count(err + events, again), 1) << err << events;
        EXPECT_EQ(Count(err, "kestrana: Cannot write " + logs + DayLog("event") + ": No space left on device"),
                  c.eventLogFails ? 1 : 0) << err;
        static const std::regex whole(R"(\d{4}/\d\d/\d\d, \d\d:\d\d:\d\d - (Receice Logging Start!|([0-9A-F]{2} )+))");
        EXPECT_TRUE(received.ends_with("\r\n")) << received;
        std::size_t start = 0;
        for (std::size_t end; (end = received.find("\r\n", start)) != std::string::npos; start = end + 2)
            EXPECT_TRUE(std::regex_match(received.substr(start, end - start), whole))
                << "a half line: " << received.substr(start, end - start);
    }
}

// The simulator behind a link plays a device that is not there at start,
// comes, is killed (its link left stale) and comes back: the headless bridge
// waits, opens, waits again and reopens, its client stays connected and has
// its bytes echoed whole, and SIGINT ends it while the port is open.
TEST_F(ProcessTest, HeadlessItWaitsForTheDeviceKeepsItsClientAcrossAGapAndBridgesItsEcho)
{
    const std::string link = Dir() + "/ttyDEV";
    const std::string log = Dir() + DayLog("event");
    const int port = nettest::FreePort();
    testchild::ChildProcess child;
    ASSERT_TRUE(Run(child, Bridge(port, link), true));
    ASSERT_TRUE(WaitForText(log, "COM1: waiting for " + link)) << ReadFile(Err());
    TcpClient client;
    ASSERT_TRUE(ConnectWithin(client, port));
    for (const bool back : {false, true}) {
        testchild::DevsimProcess device;
        ASSERT_TRUE(device.StartDevice({"--echo", "--link", link}));
        ASSERT_TRUE(WaitForText(log, back ? "COM1 reopened" : "COM1 Opened")) << ReadFile(log);
        if (back) {
            EXPECT_TRUE(EchoedBack(client, testpty::Pattern(20000, 4)));
            child.Signal(SIGINT);
            EXPECT_EQ(Exit(child), 0);
            break;
        }
        EXPECT_TRUE(EchoedBack(client, "ping"));
        device.Kill();
        for (int i = 0; i < 500 && Count(ReadFile(log), "to come back") < 1; ++i)
            std::this_thread::sleep_for(milliseconds(20));
        EXPECT_EQ(Count(ReadFile(log), "to come back"), 1) << ReadFile(log);
    }
    EXPECT_TRUE(client.WaitClosedPumping(5000));
    EXPECT_TRUE(OneWholeRun(log, "Logging Start!")) << "shut down while open";
}

class StartupTest : public AppFixture {
protected:
    void TearDown() override { AppFixture::TearDown(), platform::SetLocalTimeSource({}); }
};

TEST_F(StartupTest, FirstStartCreatesTheKeyAndBothLogsTheNextOpensItAndShowsAboutAndTheManual)
{
    platform::SetLocalTimeSource([] { return platform::LocalTime{2027, 2, 1, 9, 3, 4, 0}; });
    Start();
    EXPECT_EQ(m_app->m_dwKeyDisposition, support::REG_CREATED_NEW_KEY);
    EXPECT_EQ(Utf8(Frame()->EventLogName()), "event0201.log");
    m_app->m_appearance.SetReceivedColor(0x00008000u);
    Stop();
    EXPECT_TRUE(OneWholeRun(WorkFile("event0201.log"), "Logging Start!"));
    EXPECT_TRUE(OneWholeRun(WorkFile("receive0201.log"), "Receice Logging Start!"));

    // The second start keeps the first run's logs under the next number.
    Start();
    EXPECT_EQ(m_app->m_dwKeyDisposition, support::REG_OPENED_EXISTING_KEY);
    EXPECT_EQ(m_app->m_appearance.GetReceivedColor(), 0x00008000u) << "the exit saved the appearance";
    EXPECT_TRUE(RunModal<CAboutDlg>([this] { Frame()->Action(57664)->trigger(); }, [](CAboutDlg& about) {
        EXPECT_EQ(Utf8(about.CreditText()), "Kestrana " KESTRANA_PROJECT_VERSION " - a serial-port terminal");
        EXPECT_EQ(Utf8(about.SystemText()).rfind("Linux version ", 0), 0u);
    }));
    Frame()->Action(32779)->trigger();  // the manual
    ASSERT_TRUE(m_app->GetHelpWindow() != nullptr && m_app->GetHelpWindow()->isVisible());
    EXPECT_TRUE(m_app->GetHelpWindow()->toPlainText().contains(QStringLiteral("--device COMn=PATH")));
    Frame()->OnFileNew();  // the document it ends keeps its receive log too
    Stop();
    EXPECT_TRUE(OneWholeRun(WorkFile("event0201.1.log"), "Logging Start!"));
    EXPECT_TRUE(OneWholeRun(WorkFile("event0201.log"), "Logging Start!"));
    for (const char* name : {"receive0201.log", "receive0201.1.log", "receive0201.2.log"})
        EXPECT_TRUE(OneWholeRun(WorkFile(name), "Receice Logging Start!")) << name;
    EXPECT_TRUE(m_boxes.Texts().empty());
}

TEST_F(StartupTest, AnUnwritableStoreEndsStartupWithTheRegistryErrorAndItsCause)
{
    // A plain file where the store's folder should be: nothing can be created.
    const std::string blocker = m_temp.path() + "/not-a-folder";
    testfiles::WriteFile(blocker, "x");
    setenv("KESTRANA_REGISTRY_DIR", (blocker + "/sub").c_str(), 1);
    CTrevane2App app;
    EXPECT_FALSE(app.InitInstance(Quiet()));
    ASSERT_EQ(m_boxes.Texts(), std::vector<std::string>{"Registry error: 5"});
    EXPECT_EQ(m_boxes.Details()[0], "Cannot create settings folder " + blocker + "/sub: Not a directory");
    app.ExitInstance();
}

TEST_F(StartupTest, AFileOnTheCommandLineIsOpenedAndAMissingOneEndsStartup)
{
    testfiles::WriteFile(WorkFile("earlier.txt"), "hello from before\n");
    CommandLineOptions o = Quiet();
    o.file = WorkFile("earlier.txt");
    Start(o);
    EXPECT_TRUE(ViewText().contains(QStringLiteral("hello from before")));
    Stop();

    o.file = WorkFile("no-such-file.rtf");
    CTrevane2App app;
    EXPECT_FALSE(app.InitInstance(o));
    ASSERT_EQ(m_boxes.Texts().size(), 1u);
    EXPECT_EQ(m_boxes.Details()[0], "Cannot open " + o.file + ": No such file or directory");
    app.ExitInstance();
}

}  // namespace
