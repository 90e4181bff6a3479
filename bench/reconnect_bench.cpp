// Reconnecting, measured on the whole program in-process (offscreen), with a
// pty behind a symbolic link as a device that goes away and comes back:
//   reconnect_ms_median, _p99  from the link moved to a new pty until the
//       first byte its far end writes is in the terminal's text (50 cycles);
//   reconnect_lost_bytes  the device writes numbered lines from the moment
//       it appears; bytes of them the terminal never got;
//   reconnect_wait_cpu_pct  the process's CPU while it waits 10 s for a
//       device that does not come, beside the same process idle with the
//       port closed (idle_closed_cpu_pct) in the same run.

#include "bench/BenchFigures.h"
#include "app/CommandLine.h"
#include "app/MainFrame.h"
#include "app/PortReconnect.h"
#include "app/Trevane2App.h"
#include "comm/CommPort2.h"
#include "comm/PortDevices.h"
#include "platform/MessageBox.h"
#include "terminal/Trevane2Doc.h"
#include "terminal/Trevane2View.h"
#include "tests/common/LinkedPty.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kCycles = 50;
constexpr int kLinesPerCycle = 20;

using bench::Figure;

using bench::ProcessCpuSeconds;

// Runs the event loop until `done` or `limit`; true when done.
bool LoopUntil(const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    const auto end = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > end)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

double CpuPercentOver(std::chrono::seconds span)
{
    const double cpu0 = ProcessCpuSeconds();
    const auto wall0 = Clock::now();
    QEventLoop loop;
    QTimer::singleShot(span, &loop, &QEventLoop::quit);
    loop.exec();
    return 100.0 * (ProcessCpuSeconds() - cpu0) / std::chrono::duration<double>(Clock::now() - wall0).count();
}

std::string Line(int cycle, int line)
{
    char text[32];
    std::snprintf(text, sizeof text, "c%02d l%02d\r\n", cycle, line);
    return text;
}

int Run()
{
    char pattern[] = "/tmp/kestrana-reconnect-bench-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (made == nullptr)
        return 1;
    const std::string dir = made;
    setenv("KESTRANA_REGISTRY_DIR", (dir + "/registry").c_str(), 1);
    std::filesystem::current_path(dir);
    platform::SetMessageBoxHandler([](std::string_view text, std::string_view) {
        std::fprintf(stderr, "reconnect_bench: message box: %.*s\n", static_cast<int>(text.size()), text.data());
    });
    testpty::LinkedPty device(dir + "/ttyDEV");
    SetRunDevicePath(1, device.Link());

    int status = 0;
    {
        CTrevane2App app;
        CommandLineOptions options;
        options.noSplash = true;
        if (!app.InitInstance(options))
            return 1;
        CMainFrame* frame = app.GetMainFrame();
        CCommPort2& port = *frame->m_pCommPort;
        const TerminalText& text = frame->GetActiveDocument()->Text();

        const double idleClosed = CpuPercentOver(std::chrono::seconds(10));
        frame->ConnectAtStart();  // nothing there: it waits
        const double waiting = CpuPercentOver(std::chrono::seconds(10));
        const bool waited = frame->Reconnect()->Waiting();
        const auto waitWakeups = frame->Reconnect()->Waiter().Wakeups();

        std::vector<double> latencies;
        std::string expected;
        for (int cycle = 0; cycle < kCycles && waited; ++cycle) {
            const std::uint64_t before = text.Size();
            std::atomic<bool> written{false};
            std::atomic<Clock::rep> appeared{0};
            std::thread talker([&] {
                if (!device.Appear())
                    return;
                appeared = Clock::now().time_since_epoch().count();
                // The first line alone, so that its block ends on the quiet
                // time and not with the lines after it.
                for (int line = 0; line < kLinesPerCycle; ++line) {
                    device.Pty().WriteMaster(Line(cycle, line));
                    std::this_thread::sleep_for(std::chrono::microseconds(line == 0 ? 30000 : 500));
                }
                written = true;
            });
            const bool arrived = LoopUntil([&] { return text.Size() > before; }, std::chrono::seconds(5));
            const auto firstByte = Clock::now();
            LoopUntil([&] { return written.load(); }, std::chrono::seconds(5));
            talker.join();
            if (arrived)
                latencies.push_back(std::chrono::duration<double, std::milli>(
                                        firstByte - Clock::time_point(Clock::duration(appeared.load())))
                                        .count());
            for (int line = 0; line < kLinesPerCycle; ++line)
                expected += Line(cycle, line);
            // Everything written is in before the device goes again: the
            // text has stopped growing for a while.
            std::uint64_t last = text.Size();
            auto still = Clock::now();
            LoopUntil(
                [&] {
                    if (text.Size() != last) {
                        last = text.Size();
                        still = Clock::now();
                    }
                    return Clock::now() - still > std::chrono::milliseconds(30);
                },
                std::chrono::seconds(2));
            device.Vanish();
            LoopUntil([&] { return !port.IsOpen(); }, std::chrono::seconds(5));
        }

        std::string shown = frame->GetActiveView()->PlainText().toStdString();
        shown.erase(std::remove(shown.begin(), shown.end(), '\r'), shown.end());
        std::size_t lost = 0;
        for (std::size_t at = 0; at < expected.size();) {
            const std::size_t end = expected.find('\n', at);
            std::string line = expected.substr(at, end - at);
            line.erase(std::remove(line.begin(), line.end(), '\r'), line.end());
            if (shown.find(line) == std::string::npos)
                lost += end + 1 - at;
            at = end + 1;
        }

        std::sort(latencies.begin(), latencies.end());
        if (latencies.size() != static_cast<std::size_t>(kCycles)) {
            std::fprintf(stderr, "reconnect_bench: %zu of %d cycles reopened\n", latencies.size(), kCycles);
            status = 1;
        }
        if (!latencies.empty()) {
            Figure("reconnect_ms_median", latencies[latencies.size() / 2], "ms");
            Figure("reconnect_ms_p99", latencies[std::min(latencies.size() - 1, latencies.size() * 99 / 100)], "ms");
        }
        Figure("reconnect_lost_bytes", static_cast<double>(lost), "bytes");
        Figure("idle_closed_cpu_pct", idleClosed, "%");
        Figure("reconnect_wait_cpu_pct", waiting, "%");
        Figure("reconnect_wait_wakeups", static_cast<double>(waitWakeups), "count");
        app.ExitInstance();
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    return Run();
}
