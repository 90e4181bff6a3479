// Application shell benchmarks:
//   startup_ms              process start until the main window is up (offscreen,
//                           --no-splash), median of 5; baseline: a bare QMainWindow.
//   ui_event_latency_p99_ms how late an event posted to the window runs while a
//                           4 MB/s flood from a pty is shown; baseline: no flood.

#include "bench/BenchFigures.h"
#include "app/CommandLine.h"
#include "app/MainFrame.h"
#include "app/Trevane2App.h"
#include "comm/CommPort2.h"
#include "comm/PortDevices.h"
#include "platform/MessageBox.h"
#include "platform/UniqueFd.h"
#include "terminal/Trevane2View.h"
#include "tests/common/ChildProcess.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QMainWindow>
#include <QTimer>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

using bench::Figure;

std::string MakeTempDir()
{
    char pattern[] = "/tmp/kestrana-bench-XXXXXX";
    const char* made = mkdtemp(pattern);
    return made != nullptr ? made : "";
}

// --- start-up -----------------------------------------------------------

// Starts `argv` with KESTRANA_SHOWN_FD set and returns the milliseconds until
// it reports its window, or a negative value on failure. The child is ended.
double TimeToWindow(std::vector<std::string> args, const std::string& cwd)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    platform::UniqueFd readEnd(fds[0]);
    platform::UniqueFd writeEnd(fds[1]);
    constexpr int kChildFd = 9;

    testchild::ChildOptions options;
    options.workingDir = cwd;
    options.environment = {"KESTRANA_SHOWN_FD=" + std::to_string(kChildFd), "QT_QPA_PLATFORM=offscreen"};
    options.out = testchild::Stream::Null;
    options.err = testchild::Stream::Null;
    options.passFds = {{writeEnd.get(), kChildFd}};
    testchild::ChildProcess child;
    const auto start = Clock::now();
    if (!child.Start(args, options))
        return -1;
    writeEnd.reset();

    double result = -1;
    pollfd p{readEnd.get(), POLLIN, 0};
    if (poll(&p, 1, 20000) == 1) {
        char buffer[16];
        if (read(readEnd.get(), buffer, sizeof buffer) > 0)
            result = Ms(Clock::now() - start);
    }
    child.Signal(SIGTERM);
    if (!child.WaitExit(std::chrono::seconds(5)))
        child.Kill();
    return result;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

std::string KestranaBinary(const std::string& self)
{
    // bench/app_bench -> the program one folder up.
    const std::filesystem::path binary = std::filesystem::path(self).parent_path().parent_path() / "kestrana";
    return binary.string();
}

int BareWindowMain(int argc, char** argv)
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.resize(640, 425);
    window.show();
    if (const char* fdText = std::getenv("KESTRANA_SHOWN_FD")) {
        const int fd = std::atoi(fdText);
        QTimer::singleShot(0, [fd] {
            [[maybe_unused]] const ssize_t n = ::write(fd, "shown\n", 6);
            ::close(fd);
        });
    }
    signal(SIGTERM, SIG_DFL);
    return app.exec();
}

void BenchStartup(const std::string& self)
{
    const std::string dir = MakeTempDir();
    const std::string kestrana = KestranaBinary(self);
    if (dir.empty() || access(kestrana.c_str(), X_OK) != 0) {
        std::fprintf(stderr, "app_bench: %s not found, start-up not measured\n", kestrana.c_str());
        return;
    }
    // One unmeasured start of each warms the file cache and the font cache.
    TimeToWindow({self, "--bare-window"}, dir);
    TimeToWindow({kestrana, "--no-splash", "--registry-dir", dir + "/registry"}, dir);
    std::vector<double> bare, app;
    for (int i = 0; i < 5; ++i) {
        bare.push_back(TimeToWindow({self, "--bare-window"}, dir));
        app.push_back(TimeToWindow({kestrana, "--no-splash", "--registry-dir", dir + "/registry"}, dir));
    }
    const double baseline = Median(bare);
    const double measured = Median(app);
    Figure("startup_baseline_ms", baseline, "ms");
    Figure("startup_ms", measured, "ms");
    Figure("startup_ratio", baseline > 0 ? measured / baseline : 0, "x");
    std::filesystem::remove_all(dir);
}

// --- event latency under a flood ---------------------------------------

const QEvent::Type kProbeType = static_cast<QEvent::Type>(QEvent::registerEventType());

struct ProbeEvent : QEvent {
    explicit ProbeEvent(Clock::time_point at) : QEvent(kProbeType), postedAt(at) {}
    Clock::time_point postedAt;
};

class LatencyProbe : public QObject {
public:
    std::vector<double> delays;
    bool event(QEvent* e) override
    {
        if (e->type() != kProbeType)
            return QObject::event(e);
        delays.push_back(Ms(Clock::now() - static_cast<ProbeEvent*>(e)->postedAt));
        return true;
    }
};

// Posts a probe every 5 ms from another thread for `duration` while the
// event loop runs; returns the 99th percentile of the delays.
double MeasureLatencyP99(LatencyProbe& probe, std::chrono::milliseconds duration)
{
    probe.delays.clear();
    std::atomic<bool> stop{false};
    std::thread poster([&] {
        while (!stop.load()) {
            QCoreApplication::postEvent(&probe, new ProbeEvent(Clock::now()));  // Qt takes ownership
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    const auto end = Clock::now() + duration;
    while (Clock::now() < end)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    stop.store(true);
    poster.join();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    std::vector<double> d = probe.delays;
    if (d.empty())
        return -1;
    std::sort(d.begin(), d.end());
    return d[std::min(d.size() - 1, d.size() * 99 / 100)];
}

void BenchLatency()
{
    const std::string dir = MakeTempDir();
    setenv("KESTRANA_REGISTRY_DIR", (dir + "/registry").c_str(), 1);
    std::filesystem::current_path(dir);
    platform::SetMessageBoxHandler([](std::string_view text, std::string_view) {
        std::fprintf(stderr, "app_bench: message box: %.*s\n", static_cast<int>(text.size()), text.data());
    });

    platform::UniqueFd master(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    char slave[128];
    if (!master || grantpt(master.get()) != 0 || unlockpt(master.get()) != 0 ||
        ptsname_r(master.get(), slave, sizeof slave) != 0) {
        std::fprintf(stderr, "app_bench: no pty\n");
        return;
    }
    SetRunDevicePath(1, slave);

    CTrevane2App app;
    CommandLineOptions options;
    options.noSplash = true;
    if (!app.InitInstance(options)) {
        std::fprintf(stderr, "app_bench: start-up failed\n");
        return;
    }
    CMainFrame* frame = app.GetMainFrame();
    frame->OnCommOpen();
    if (!frame->m_pCommPort->IsOpen()) {
        std::fprintf(stderr, "app_bench: could not connect to the pty\n");
        app.ExitInstance();
        return;
    }
    LatencyProbe probe;
    const double idle = MeasureLatencyP99(probe, std::chrono::milliseconds(2000));

    // 4 MB/s of text lines, paced in 4 KB chunks.
    std::string line = "0123456789 the quick brown fox jumps over the lazy dog 0123456789 ABCDEFGHIJKL\r\n";
    std::string chunk;
    while (chunk.size() + line.size() <= 4096)
        chunk += line;
    constexpr double kRate = 4.0e6;
    std::atomic<bool> stop{false};
    std::atomic<std::uint64_t> written{0};
    std::thread flood([&] {
        const auto start = Clock::now();
        while (!stop.load()) {
            const double due = std::chrono::duration<double>(Clock::now() - start).count() * kRate;
            if (static_cast<double>(written.load()) >= due) {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                continue;
            }
            pollfd p{master.get(), POLLOUT, 0};
            if (poll(&p, 1, 50) != 1)
                continue;
            const ssize_t n = write(master.get(), chunk.data(), chunk.size());
            if (n > 0)
                written += static_cast<std::uint64_t>(n);
        }
    });
    const std::size_t before = frame->GetActiveView()->PlainText().size();
    const auto floodStart = Clock::now();
    const double busy = MeasureLatencyP99(probe, std::chrono::milliseconds(4000));
    const double seconds = std::chrono::duration<double>(Clock::now() - floodStart).count();
    stop.store(true);
    flood.join();
    frame->GetActiveView()->FlushPending();
    const std::size_t shown = frame->GetActiveView()->PlainText().size() - before;

    Figure("ui_event_latency_idle_p99_ms", idle, "ms");
    Figure("ui_event_latency_p99_ms", busy, "ms");
    Figure("ui_event_latency_ratio", idle > 0 ? busy / idle : 0, "x");
    Figure("ui_flood_written_mbps", static_cast<double>(written.load()) / seconds / 1e6, "MB/s");
    Figure("ui_flood_shown_mbps", static_cast<double>(shown) / seconds / 1e6, "MB/s");

    frame->OnCommClose();
    app.ExitInstance();
    std::filesystem::current_path("/tmp");
    std::filesystem::remove_all(dir);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--bare-window") == 0) {
        int qtArgc = 1;
        return BareWindowMain(qtArgc, argv);
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    std::string self = std::filesystem::canonical("/proc/self/exe").string();
    BenchStartup(self);
    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    BenchLatency();
    return 0;
}
