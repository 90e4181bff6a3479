// Automation benchmarks, through the real program connected to a pty:
//   autoresp_median_us, autoresp_p99_us  a request block written at the far
//       end until the whole reply can be read there, the responder active and
//       its window open, 1,000 requests, at 115200 baud. Includes the quiet
//       time (1 ms) that ends a received block.
//   pty_echo_median_us  the floor: the same request answered by a plain echo
//       loop on a pty of its own, sampled in turns with the responder.
//   periodic_period_error_pct, periodic_jitter_p99_ms  the periodic sender at
//       100 ms for 30 s (KESTRANA_BENCH_PERIODIC_SECONDS to change it), from
//       the bytes' arrival times at the far end (after one second of
//       settling): the mean period against 100 ms, and the 99th percentile
//       of how far one period strays from it.
//   periodic_baseline_*  the same figures, at the same time, for a plain
//       thread that sleeps to absolute deadlines 100 ms apart and writes a
//       byte to a pty of its own: what this machine's scheduling allows.
//
// The program's event loop runs on the main thread; the far end is driven
// from a thread of its own. Prints "figure NAME VALUE UNIT" lines.

#include "bench/BenchFigures.h"
#include "app/CommandLine.h"
#include "app/MainFrame.h"
#include "app/Trevane2App.h"
#include "automation/AutoResponseDlg.h"
#include "automation/HexEdit.h"
#include "automation/PeriodicSendDlg.h"
#include "comm/CommPort2.h"
#include "comm/PortDevices.h"
#include "platform/MessageBox.h"
#include "resources/MenuTable.h"
#include "tests/common/PtyPair.h"
#include "tests/common/TestFiles.h"

#include <QAction>
#include <QApplication>
#include <QTimer>

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRequests = 1000;
constexpr int kWarmUp = 50;
constexpr int kPeriodMs = 100;

using bench::Figure;

double Percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1))];
}

double Micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

bool WriteAll(int fd, const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (!(n < 0 && (errno == EINTR || errno == EAGAIN)))
            return false;
    }
    return true;
}

// Reads until `count` bytes are in; false after a second without progress.
bool ReadCount(int fd, std::size_t count, std::string* got = nullptr)
{
    char buffer[256];
    std::size_t have = 0;
    while (have < count) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 1000) != 1)
            return false;
        const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, count - have));
        if (n > 0) {
            have += static_cast<std::size_t>(n);
            if (got != nullptr)
                got->append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            return false;
        }
    }
    return true;
}

// A device that answers every byte with the same byte.
class EchoDevice {
public:
    explicit EchoDevice(testpty::PtyPair& pty) : m_pty(pty), m_thread([this] { Run(); }) {}
    ~EchoDevice()
    {
        m_stop.store(true);
        m_thread.join();
    }

private:
    void Run()
    {
        char buffer[256];
        while (!m_stop.load()) {
            pollfd p{m_pty.Slave(), POLLIN, 0};
            if (::poll(&p, 1, 50) != 1)
                continue;
            const ssize_t n = ::read(m_pty.Slave(), buffer, sizeof buffer);
            if (n > 0)
                WriteAll(m_pty.Slave(), std::string(buffer, static_cast<std::size_t>(n)));
        }
    }

    testpty::PtyPair& m_pty;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

double RequestSample(int master, const std::string& request, const std::string& reply)
{
    const auto start = Clock::now();
    std::string got;
    if (!WriteAll(master, request) || !ReadCount(master, reply.size(), &got) || got != reply)
        return -1;
    return Micros(Clock::now() - start);
}

struct ResponderResult {
    std::vector<double> replies;
    std::vector<double> floors;
    int lost = 0;
};

void MeasureResponder(int deviceMaster, int floorMaster, ResponderResult& result)
{
    const std::string request("\x01\x02", 2);
    const std::string reply("\xAA\xBB", 2);
    for (int i = -kWarmUp; i < kRequests; ++i) {
        const double plain = RequestSample(floorMaster, request, request);
        const double answered = RequestSample(deviceMaster, request, reply);
        if (i < 0)
            continue;
        if (plain >= 0)
            result.floors.push_back(plain);
        if (answered >= 0)
            result.replies.push_back(answered);
        else
            ++result.lost;
    }
}

// Arrival times of the periodic sender's one-byte ticks for `seconds`,
// after a second in which the window's first showing settles.
std::vector<Clock::time_point> MeasurePeriodic(int master, int seconds)
{
    std::vector<Clock::time_point> arrivals;
    const auto begin = Clock::now() + std::chrono::seconds(1);
    const auto end = begin + std::chrono::seconds(seconds);
    char buffer[64];
    while (Clock::now() < end) {
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, 200) != 1)
            continue;
        const auto at = Clock::now();
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        for (ssize_t i = 0; i < n && at >= begin; ++i)
            arrivals.push_back(at);
    }
    return arrivals;
}

// Writes one byte to `fd` at start + n * 100 ms until `stop`.
void SleeperTicks(int fd, const std::atomic<bool>& stop)
{
    auto next = Clock::now();
    while (!stop.load()) {
        next += std::chrono::milliseconds(kPeriodMs);
        std::this_thread::sleep_until(next);
        WriteAll(fd, "t");
    }
}

struct PeriodFigures {
    double errorPct = -1;
    double jitterP99Ms = -1;
};

PeriodFigures PeriodOf(const std::vector<Clock::time_point>& arrivals)
{
    PeriodFigures figures;
    if (arrivals.size() < 3)
        return figures;
    const double spanMs = std::chrono::duration<double, std::milli>(arrivals.back() - arrivals.front()).count();
    const double meanMs = spanMs / static_cast<double>(arrivals.size() - 1);
    std::vector<double> jitter;
    for (std::size_t i = 1; i < arrivals.size(); ++i)
        jitter.push_back(
            std::fabs(std::chrono::duration<double, std::milli>(arrivals[i] - arrivals[i - 1]).count() - kPeriodMs));
    figures.errorPct = std::fabs(meanMs - kPeriodMs) / kPeriodMs * 100.0;
    figures.jitterP99Ms = Percentile(jitter, 0.99);
    return figures;
}

// Runs `work` on a thread of its own while the event loop runs here.
template <typename Work>
void WhileLoopRuns(QApplication& app, Work work)
{
    std::thread worker([&] {
        work();
        QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    app.exec();
    worker.join();
}

}  // namespace

int main(int argc, char** argv)
{
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const testfiles::TempDir folder("kestrana-automation-bench");
    const std::string& work = folder.path();
    if (work.empty() || ::chdir(work.c_str()) != 0) {
        std::fprintf(stderr, "automation_bench: no working folder\n");
        return 1;
    }
    setenv("KESTRANA_REGISTRY_DIR", (work + "/registry").c_str(), 1);
    platform::SetMessageBoxHandler([](std::string_view text, std::string_view detail) {
        std::fprintf(stderr, "automation_bench: message box: %.*s %.*s\n", static_cast<int>(text.size()),
                     text.data(), static_cast<int>(detail.size()), detail.data());
    });

    testpty::PtyPair device;
    testpty::PtyPair floor;
    if (!device.Open(false) || !floor.Open(true)) {
        std::fprintf(stderr, "automation_bench: cannot open the pseudo-terminals\n");
        return 1;
    }
    SetRunDevicePath(1, device.SlavePath());
    CTrevane2App kestrana;
    CommandLineOptions options;
    options.noSplash = true;
    if (!kestrana.InitInstance(options)) {
        std::fprintf(stderr, "automation_bench: the program did not start\n");
        kestrana.ExitInstance();
        return 1;
    }
    CMainFrame* frame = kestrana.GetMainFrame();
    // At 115200 baud the quiet time that ends a block is the 1 ms floor (at
    // the default 9600 it is 1.5 character times, 1.56 ms).
    PortSettings fast = frame->m_pCommPort->Settings();
    fast.m_dwBaudRate = 115200;
    frame->m_pCommPort->ApplySettings(fast);
    frame->Action(res::ID_COMM_OPEN)->trigger();
    if (!frame->m_pCommPort->IsOpen()) {
        std::fprintf(stderr, "automation_bench: cannot connect to %s\n", device.SlavePath().c_str());
        kestrana.ExitInstance();
        return 1;
    }

    // The responder: 01 02 is answered with AA BB.
    frame->OnAutoResponse();
    CAutoResponseDlg* responder = frame->AutoResponseWindow();
    responder->InBox(1)->setText(QStringLiteral("01 02"));
    responder->OutBox(1)->setText(QStringLiteral("AA BB"));
    responder->OnStartEnd();
    ResponderResult responses;
    {
        EchoDevice echo(floor);
        WhileLoopRuns(app, [&] { MeasureResponder(device.Master(), floor.Master(), responses); });
    }
    Figure("autoresp_median_us", Percentile(responses.replies, 0.5), "us");
    Figure("autoresp_p99_us", Percentile(responses.replies, 0.99), "us");
    Figure("pty_echo_median_us", Percentile(responses.floors, 0.5), "us");
    Figure("autoresp_lost", responses.lost, "requests");
    responder->OnStartEnd();  // "End"

    // The periodic sender: A5 every 100 ms.
    int seconds = 30;
    if (const char* text = std::getenv("KESTRANA_BENCH_PERIODIC_SECONDS"))
        seconds = std::max(2, std::atoi(text));
    frame->OnPeriodicSend();
    CPeriodicSendDlg* periodic = frame->PeriodicSendWindow();
    for (int step = 0; step < kPeriodMs / CPeriodicSendDlg::kPeriodStep; ++step)
        periodic->OnDeltaPos(1);
    periodic->findChild<CHexEdit*>(QStringLiteral("edit1005"))->setText(QStringLiteral("A5"));
    std::vector<Clock::time_point> arrivals;
    std::vector<Clock::time_point> baseline;
    QTimer::singleShot(0, periodic, &CPeriodicSendDlg::OnStartEnd);
    WhileLoopRuns(app, [&] {
        std::atomic<bool> stop{false};
        std::thread sleeper([&] { SleeperTicks(floor.Slave(), stop); });
        std::thread baselineReader([&] { baseline = MeasurePeriodic(floor.Master(), seconds); });
        arrivals = MeasurePeriodic(device.Master(), seconds);
        baselineReader.join();
        stop.store(true);
        sleeper.join();
    });
    periodic->OnStartEnd();  // "End"

    int status = responses.lost == 0 ? 0 : 1;
    if (arrivals.size() < 3) {
        std::fprintf(stderr, "automation_bench: only %zu periodic ticks arrived\n", arrivals.size());
        status = 1;
    } else {
        const PeriodFigures measured = PeriodOf(arrivals);
        const PeriodFigures floorFigures = PeriodOf(baseline);
        Figure("periodic_period_error_pct", measured.errorPct, "%");
        Figure("periodic_jitter_p99_ms", measured.jitterP99Ms, "ms");
        Figure("periodic_ticks", static_cast<double>(arrivals.size()), "ticks");
        Figure("periodic_baseline_period_error_pct", floorFigures.errorPct, "%");
        Figure("periodic_baseline_jitter_p99_ms", floorFigures.jitterP99Ms, "ms");
    }
    std::printf("# %d requests; targets: autoresp_median_us at most 2000, autoresp_p99_us at most 10000,"
                " periodic_period_error_pct at most 1 (%d s at %d ms)\n",
                kRequests, seconds, kPeriodMs);
    kestrana.ExitInstance();
    return status;
}
