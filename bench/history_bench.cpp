// An endless session: 2 GB of text lines through the real terminal view at
// the pty's full speed, with the older text moving to the history file; then
// jumps to random places, a find over the whole history and a Save As. A
// 100 MB run through a fresh view first gives view_rx_text_mbps of the same
// run for comparison.
//
// Prints "figure NAME VALUE UNIT" lines. HISTORY_BENCH_MB changes the size.

#include "bench/BenchFigures.h"
#include "terminal/Appearance.h"
#include "terminal/FindBar.h"
#include "terminal/TerminalFile.h"
#include "terminal/Trevane2Doc.h"
#include "terminal/Trevane2View.h"
#include "tests/common/PtyPair.h"
#include "tests/common/TestFiles.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTimer>
#include <QScrollBar>
#include <QSocketNotifier>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr std::size_t kBlock = 512;

using bench::Figure;

double ResidentMb(const char* field = "VmRSS:")
{
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        double kb = 0;
        if (key == field && status >> kb)
            return kb / 1024.0;
        status.ignore(1 << 20, '\n');
    }
    return 0;
}

// Text lines of varied length with CR LF ends and some Korean, made as they
// are sent so the benchmark itself holds none of it.
class TextSource {
public:
    std::size_t Fill(char* out, std::size_t size)
    {
        std::size_t n = 0;
        while (n < size) {
            if (m_at == m_line.size())
                NextLine();
            const std::size_t take = std::min(size - n, m_line.size() - m_at);
            std::copy_n(m_line.data() + m_at, take, out + n);
            m_at += take;
            n += take;
        }
        return n;
    }

private:
    void NextLine()
    {
        m_seed = m_seed * 1103515245u + 12345u;
        const std::size_t length = 40 + (m_seed >> 16) % 80;
        m_line.clear();
        for (std::size_t i = 0; i < length; ++i)
            m_line += static_cast<char>('!' + (i * 7 + m_seed) % 90);
        if ((m_seed >> 8) % 4 == 0)
            m_line += "\xED\x95\x9C\xEA\xB8\x80";
        m_line += "\r\n";
        m_at = 0;
    }
    unsigned m_seed = 12345;
    std::string m_line;
    std::size_t m_at = 0;
};

double PumpThroughPty(std::size_t bytes, CTrevane2View& view)
{
    testpty::PtyPair pty;
    if (!pty.Open(true)) {
        std::perror("pty");
        std::exit(1);
    }
    const int master = pty.Master();
    const int slave = pty.Slave();

    std::size_t received = 0;
    QEventLoop loop;
    QSocketNotifier notifier(master, QSocketNotifier::Read);
    char buffer[kBlock + 1];
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        for (int i = 0; i < 64; ++i) {
            const ssize_t n = ::read(master, buffer, kBlock);
            if (n <= 0)
                break;
            buffer[n] = '\0';
            view.ShowReceived(buffer, static_cast<int>(n));
            received += static_cast<std::size_t>(n);
        }
        if (received >= bytes)
            loop.quit();
    });

    QElapsedTimer clock;
    clock.start();
    std::thread writer([&] {
        TextSource source;
        std::vector<char> chunk(1 << 16);
        std::size_t sent = 0;
        while (sent < bytes) {
            const std::size_t n = source.Fill(chunk.data(), std::min(chunk.size(), bytes - sent));
            std::size_t at = 0;
            while (at < n) {
                const ssize_t w = ::write(slave, chunk.data() + at, std::min<std::size_t>(4096, n - at));
                if (w > 0)
                    at += static_cast<std::size_t>(w);
            }
            sent += n;
        }
    });
    loop.exec();
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    writer.join();
    return static_cast<double>(bytes) / seconds;
}

}  // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const testfiles::TempDir work("kestrana-history-bench");  // removed on every way out
    const std::string& workDir = work.path();
    if (workDir.empty())
        return 1;
    std::filesystem::current_path(workDir);
    ::setenv("KESTRANA_REGISTRY_DIR", (workDir + "/registry").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (workDir + "/cache").c_str(), 1);

    const char* sizeMb = std::getenv("HISTORY_BENCH_MB");
    const std::size_t totalBytes = (sizeMb ? std::strtoull(sizeMb, nullptr, 10) : 2048) << 20;
    CAppearance appearance;

    // The in-memory view of the same run: 100 MB, budget large enough.
    double viewRate = 0;
    {
        CTrevane2Doc doc;
        doc.Text().SetMemoryBudget(std::size_t(1) << 30);
        CTrevane2View view(&doc, &appearance);
        view.resize(800, 600);
        view.show();
        view.OnInitialUpdate();
        QCoreApplication::processEvents();
        viewRate = PumpThroughPty(100u << 20, view);
        Figure("view_rx_text_mbps", viewRate / 1e6, "MB/s");
    }

    CTrevane2Doc doc;
    CTrevane2View view(&doc, &appearance);
    view.resize(800, 600);
    view.show();
    view.OnInitialUpdate();
    QCoreApplication::processEvents();
    TerminalText& text = doc.Text();

    const double rate = PumpThroughPty(totalBytes, view);
    view.FlushPending();
    text.WaitForWriter(60000);
    QCoreApplication::processEvents();
    const double chars = static_cast<double>(text.Size());
    Figure("history_rx_text_mbps", rate / 1e6, "MB/s");
    Figure("history_rx_vs_view_ratio", rate / viewRate, "x");
    Figure("history_rss_mb", ResidentMb(), "MB");
    Figure("history_disk_bytes_per_char", static_cast<double>(text.HistoryFileBytes()) / chars, "B/char");
    std::printf("# %zu bytes received, %.0f characters held, %zu pieces on disk, %.1f MB text in memory\n",
                totalBytes, chars, text.PiecesOnDisk(), static_cast<double>(text.MemoryBytes()) / 1e6);

    // Jumps: the scroll bar to a random place, until the view has painted it.
    {
        std::mt19937 random(7);
        QScrollBar* bar = view.verticalScrollBar();
        std::vector<double> ms;
        for (int i = 0; i < 100; ++i) {
            QElapsedTimer clock;
            clock.start();
            bar->setValue(static_cast<int>(random() % static_cast<unsigned>(std::max(1, bar->maximum()))));
            view.FlushPending();
            ms.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        }
        std::sort(ms.begin(), ms.end());
        Figure("history_jump_p50_ms", ms[ms.size() / 2], "ms");
        Figure("history_jump_p99_ms", ms[ms.size() * 99 / 100], "ms");
    }

    // A find for what is not there reads every character once, through the
    // find bar (its worker thread); meanwhile a 5 ms timer measures how long
    // the window's event loop was ever held up, and how much of that the
    // window's thread itself was busy (the rest is waiting for a core).
    {
        const auto threadCpuMs = [] {
            timespec t{};
            ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
            return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
        };
        double busyMs = 0;
        double lastCpu = threadCpuMs();
        view.OnEditFind();
        FindBar* bar = view.GetFindBar();
        bar->TextEdit()->setText(QStringLiteral("not anywhere in it"));
        double stallMs = 0;
        QElapsedTimer tick;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            stallMs = std::max(stallMs, static_cast<double>(tick.nsecsElapsed()) / 1e6);
            tick.restart();
            const double cpu = threadCpuMs();
            busyMs = std::max(busyMs, cpu - lastCpu);
            lastCpu = cpu;
        });
        QElapsedTimer clock;
        clock.start();
        bar->FindNext();
        tick.start();
        lastCpu = threadCpuMs();
        timer.start(5);
        while (bar->Searching())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        timer.stop();
        if (view.FoundText().second != 0)
            std::printf("# find: unexpected hit at %llu\n", static_cast<unsigned long long>(view.FoundText().first));
        Figure("history_find_mbps", chars / seconds / 1e6, "MB/s");
        Figure("history_find_ui_stall_max_ms", stallMs, "ms");
        Figure("history_find_ui_busy_max_ms", busyMs, "ms");
        bar->hide();
    }

    // Save As, plain text, with the growth of the resident peak.
    {
        view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum());
        view.FlushPending();
        std::ofstream("/proc/self/clear_refs") << "5";
        const double before = ResidentMb();
        const std::string path = workDir + "/saved.txt";
        QElapsedTimer clock;
        clock.start();
        const bool ok = TerminalFile::SavePlain(text, QString::fromStdString(path));
        const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        const double peak = ResidentMb("VmHWM:");
        if (!ok)
            std::printf("# save failed\n");
        const double bytes = static_cast<double>(std::filesystem::file_size(path));
        Figure("history_save_mbps", bytes / seconds / 1e6, "MB/s");
        Figure("history_save_rss_growth_mb", std::max(0.0, peak - before), "MB");
        std::filesystem::remove(path);
    }

    std::filesystem::current_path("/");
    return 0;
}
