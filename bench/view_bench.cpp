// Receive display throughput, growth and memory of the terminal view, with a
// plain QPlainTextEdit (one insert per block) as the baseline of the same run.
// Data comes from the far end of a pseudo-terminal, read in blocks of 512
// bytes (the serial engine's read size) on a QSocketNotifier.
//
// Also, each against its own plain run in the same process, in turns: text
// with time-of-day stamps, hex with frames and stamps, and the traffic log
// written beside a hex flood; and hex mode against the bare pty.
//
// Prints "figure NAME VALUE UNIT" lines.

#include "bench/BenchFigures.h"
#include "platform/LocalTime.h"
#include "platform/StampClock.h"
#include "support/TrafficLog.h"
#include "terminal/Appearance.h"
#include "terminal/Trevane2Doc.h"
#include "terminal/Trevane2View.h"
#include "tests/common/PtyPair.h"
#include "tests/common/TestFiles.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QSocketNotifier>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr std::size_t kBlock = 512;

using bench::Figure;

long ResidentBytes()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

// Text lines of varied length with CR LF ends and some Korean.
std::string MakeText(std::size_t bytes)
{
    std::string out;
    out.reserve(bytes + 256);
    unsigned seed = 12345;
    while (out.size() < bytes) {
        seed = seed * 1103515245u + 12345u;
        const std::size_t length = 40 + (seed >> 16) % 80;
        for (std::size_t i = 0; i < length; ++i)
            out += static_cast<char>('!' + (i * 7 + seed) % 90);
        if ((seed >> 8) % 4 == 0)
            out += "\xED\x95\x9C\xEA\xB8\x80";
        out += "\r\n";
    }
    out.resize(bytes);
    return out;
}

std::string MakeBinary(std::size_t bytes)
{
    std::string out(bytes, '\0');
    unsigned seed = 777;
    for (auto& c : out) {
        seed = seed * 1664525u + 1013904223u;
        c = static_cast<char>(seed >> 24);
    }
    return out;
}

// A pty whose slave end a writer thread fills with `data`; the master is
// read on the Qt thread in 512-byte blocks handed to `sink`.
double PumpThroughPty(const std::string& data, const std::function<void(const char*, int)>& sink)
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
    char buffer[kBlock];
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        // Like the engine: one block per read; a bounded batch per wake-up so
        // the event loop (repaints) keeps running.
        for (int i = 0; i < 64; ++i) {
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n <= 0)
                break;
            sink(buffer, static_cast<int>(n));
            received += static_cast<std::size_t>(n);
        }
        if (received >= data.size())
            loop.quit();
    });

    QElapsedTimer clock;
    clock.start();
    std::thread writer([&] {
        std::size_t at = 0;
        while (at < data.size()) {
            const ssize_t n = ::write(slave, data.data() + at, std::min<std::size_t>(4096, data.size() - at));
            if (n > 0)
                at += static_cast<std::size_t>(n);
        }
    });
    loop.exec();
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    writer.join();
    return static_cast<double>(data.size()) / seconds;
}

// Nanoseconds per appended 512-byte block, repaints included at the rate a
// flood produces them (one per 256 blocks, about one frame's worth at the
// target speed).
double AppendRun(CTrevane2View& view, const std::string& sample)
{
    QElapsedTimer clock;
    clock.start();
    for (std::size_t at = 0; at + kBlock <= sample.size(); at += kBlock) {
        view.ShowReceived(sample.data() + at, static_cast<int>(kBlock));
        if ((at / kBlock) % 256 == 255)
            view.FlushPending();
    }
    view.FlushPending();
    return static_cast<double>(clock.nsecsElapsed()) / static_cast<double>(sample.size() / kBlock);
}

// The two views are measured in turns so that load from elsewhere on the
// machine falls on both alike; medians of the runs.
std::pair<double, double> AppendCosts(CTrevane2View& small, CTrevane2View& large, const std::string& sample)
{
    std::vector<double> a, b;
    for (int run = 0; run < 15; ++run) {
        a.push_back(AppendRun(small, sample));
        b.push_back(AppendRun(large, sample));
    }
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    return {a[a.size() / 2], b[b.size() / 2]};
}

// Median rates of `a` and `b` run in turns, so that load from elsewhere falls on both alike.
std::pair<double, double> InTurns(int rounds, const std::function<double()>& a, const std::function<double()>& b)
{
    std::vector<double> ra, rb;
    for (int round = 0; round < rounds; ++round) {
        ra.push_back(a());
        rb.push_back(b());
    }
    std::sort(ra.begin(), ra.end());
    std::sort(rb.begin(), rb.end());
    return {ra[ra.size() / 2], rb[rb.size() / 2]};
}

// A fresh view with the given terminal options fed `data` through a pty.
double ViewRate(const CAppearance& appearance, const std::string& data, int hex, int frames, StampForm stamps,
                support::TrafficLog* traffic = nullptr)
{
    CTrevane2Doc doc;
    CTrevane2View view(&doc, const_cast<CAppearance*>(&appearance));
    view.resize(800, 600);
    view.show();
    doc.m_bHexMode = hex;
    doc.m_bHexFrames = frames;
    doc.m_nTimestamps = static_cast<int>(stamps);
    const double rate = PumpThroughPty(data, [&](const char* p, int n) {
        const std::int64_t now = platform::MonotonicNs();
        if (traffic != nullptr)
            traffic->Record(support::TrafficDirection::Received, now, now,
                            reinterpret_cast<const std::uint8_t*>(p), static_cast<std::size_t>(n));
        view.ShowReceived(p, n, now, now);
    });
    view.FlushPending();
    return rate;
}

// The bytes a traffic log holds, read back from its hex columns.
std::string TrafficLogBytes(const std::string& path)
{
    std::ifstream log(path, std::ios::binary);
    std::string line, bytes;
    auto nibble = [](char c) { return c <= '9' ? c - '0' : c - 'A' + 10; };
    while (std::getline(log, line)) {
        // "HH:MM:SS.mmm RX 41 42  AB\r"
        if (line.size() < 16 || line.compare(13, 2, "RX") != 0)
            continue;
        for (std::size_t i = 16; i + 1 < line.size() && line[i] != ' '; i += 3)
            bytes += static_cast<char>(nibble(line[i]) * 16 + nibble(line[i + 1]));
    }
    return bytes;
}

}  // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const testfiles::TempDir work("kestrana-view-bench");  // removed on every way out
    const std::string& workDir = work.path();
    if (workDir.empty())
        return 1;
    std::filesystem::current_path(workDir);
    ::setenv("KESTRANA_REGISTRY_DIR", (workDir + "/registry").c_str(), 1);

    const std::size_t textBytes = 100u << 20;
    const std::size_t hexBytes = 30u << 20;
    const std::size_t baselineBytes = 8u << 20;
    const std::string text = MakeText(textBytes);
    CAppearance appearance;

    // Baseline: a QPlainTextEdit with one insert per block.
    double baseline = 0;
    {
        QPlainTextEdit edit;
        edit.resize(800, 600);
        edit.show();
        const double rate = PumpThroughPty(text.substr(0, baselineBytes), [&](const char* p, int n) {
            edit.moveCursor(QTextCursor::End);
            edit.insertPlainText(QString::fromUtf8(p, n));
        });
        Figure("baseline_qplaintextedit_mbps", rate / 1e6, "MB/s");
        std::printf("# baseline: %zu bytes through a QPlainTextEdit\n", baselineBytes);
        baseline = rate;
    }

    // With no arguments every part runs; otherwise only the parts named
    // (text, hex, options).
    auto wanted = [&](std::string_view part) { return bench::PartWanted(argc, argv, part); };

    // Text mode: 100 MB into the view, all kept.
    if (wanted("text")) {
        // A second terminal at about 1 MB for the growth comparison.
        CTrevane2Doc smallDoc;
        CTrevane2View smallView(&smallDoc, &appearance);
        smallView.resize(800, 600);
        smallView.show();
        const std::string first = text.substr(0, 1u << 20);
        smallView.ShowReceived(first.data(), static_cast<int>(first.size()));
        smallView.FlushPending();

        CTrevane2Doc doc;
        CTrevane2View view(&doc, &appearance);
        view.resize(800, 600);
        view.show();
        view.OnInitialUpdate();
        QCoreApplication::processEvents();

        const long rssBefore = ResidentBytes();
        const double rate = PumpThroughPty(text, [&](const char* p, int n) { view.ShowReceived(p, n); });
        view.FlushPending();
        const long rssAfter = ResidentBytes();
        const auto chars = static_cast<double>(doc.Text().Size());
        Figure("view_rx_text_mbps", rate / 1e6, "MB/s");
        Figure("view_rx_text_vs_baseline_ratio", rate / baseline, "x");
        Figure("view_rss_bytes_per_char", static_cast<double>(rssAfter - rssBefore) / chars, "B/char");
        Figure("view_rss_total_bytes_per_char", static_cast<double>(rssAfter) / chars, "B/char");
        std::printf("# text: %zu bytes received, %.0f characters held\n", textBytes, chars);

        const auto [costAt1MB, costAt100MB] = AppendCosts(smallView, view, text.substr(1u << 20, 128u << 10));
        Figure("view_append_ns_per_block_at_1mb", costAt1MB, "ns");
        Figure("view_append_ns_per_block_at_100mb", costAt100MB, "ns");
        Figure("view_append_growth_ratio", costAt100MB / costAt1MB, "x");
    }

    // Hex mode: 30 MB of received bytes (90 MB of display text), every byte
    // checked in the receive log.
    if (wanted("hex")) {
        platform::SetLocalTimeSource([] { return platform::LocalTime{2026, 12, 5, 14, 5, 9, 0}; });
        const std::string binary = MakeBinary(hexBytes);
        double rate = 0;
        {
            CTrevane2Doc doc;
            CTrevane2View view(&doc, &appearance);
            view.resize(800, 600);
            view.show();
            view.OnInitialUpdate();
            doc.m_bHexMode = 1;
            rate = PumpThroughPty(binary, [&](const char* p, int n) { view.ShowReceived(p, n); });
            view.FlushPending();
            std::printf("# hex: %zu bytes received, %llu characters held\n", hexBytes,
                        static_cast<unsigned long long>(doc.Text().Size()));
        }
        Figure("view_rx_hex_mbps", rate / 1e6, "MB/s");
        Figure("view_rx_hex_vs_baseline_ratio", rate / baseline, "x");

        // Decode the log back into bytes and compare.
        std::ifstream log("receive1205.log", std::ios::binary);
        std::string line;
        std::string logged;
        logged.reserve(hexBytes);
        const std::size_t prefix = std::strlen("2026/12/05, 14:05:09 - ");
        auto nibble = [](char c) { return c <= '9' ? c - '0' : c - 'A' + 10; };
        while (std::getline(log, line)) {
            if (line.size() < prefix || line.compare(prefix, 2, "Re") == 0 || line.compare(prefix, 2, "Lo") == 0)
                continue;
            for (std::size_t i = prefix; i + 2 < line.size(); i += 3)
                logged += static_cast<char>(nibble(line[i]) * 16 + nibble(line[i + 1]));
        }
        std::size_t good = 0;
        while (good < logged.size() && good < binary.size() && logged[good] == binary[good])
            ++good;
        const double lost = static_cast<double>(binary.size() - good) +
                            static_cast<double>(logged.size() > binary.size() ? logged.size() - binary.size() : 0);
        Figure("view_rx_lost", lost, "bytes");
        platform::SetLocalTimeSource({});
    }

    // Stamps, frames and the traffic log, each against its plain run.
    if (wanted("options")) {
        const std::string sample = text.substr(0, 16u << 20);
        const auto [plain, stamped] = InTurns(
            3, [&] { return ViewRate(appearance, sample, 0, 0, StampForm::None); },
            [&] { return ViewRate(appearance, sample, 0, 0, StampForm::TimeOfDay); });
        Figure("view_rx_text_stamped_mbps", stamped / 1e6, "MB/s");
        Figure("view_rx_text_stamped_ratio", stamped / plain, "x");

        const std::string binary = MakeBinary(8u << 20);
        const auto [hex, framed] = InTurns(
            3, [&] { return ViewRate(appearance, binary, 1, 0, StampForm::None); },
            [&] { return ViewRate(appearance, binary, 1, 1, StampForm::TimeOfDay); });
        Figure("view_rx_hex_frames_mbps", framed / 1e6, "MB/s");
        Figure("view_rx_hex_frames_ratio", framed / hex, "x");

        // The bare pty, read the same way with nothing done with the bytes.
        const auto [bare, hexAgain] = InTurns(
            3, [&] { return PumpThroughPty(binary, [](const char*, int) {}); },
            [&] { return ViewRate(appearance, binary, 1, 0, StampForm::None); });
        Figure("pty_rx_baseline_mbps", bare / 1e6, "MB/s");
        Figure("view_rx_hex_vs_pty_ratio", hexAgain / bare, "x");

        // The traffic log beside a hex flood: its rate, and every byte read back.
        const std::string path = workDir + "/traffic-bench.log";
        double rate = 0;
        std::uint64_t dropped = 0;
        {
            support::TrafficLog traffic(path, 0);
            rate = ViewRate(appearance, binary, 1, 1, StampForm::TimeOfDay, &traffic);
            traffic.Drain();
            dropped = traffic.LostBytes();
        }
        const std::string logged = TrafficLogBytes(path);
        std::size_t good = 0;
        while (good < logged.size() && good < binary.size() && logged[good] == binary[good])
            ++good;
        Figure("traffic_log_mbps", rate / 1e6, "MB/s");
        // Dropped bytes leave a gap, so they count among the ones not matched.
        Figure("traffic_log_dropped", static_cast<double>(dropped), "bytes");
        Figure("traffic_log_lost", static_cast<double>((binary.size() - good) + (logged.size() - good)), "bytes");
    }

    std::filesystem::current_path("/");
    return 0;
}
