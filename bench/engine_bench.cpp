// Serial engine throughput, latency and idle cost on pseudo-terminals, each
// against a plain poll()/read()/write() baseline measured in the same run, and
// its cost after the device went away (against the same process at rest).

#include "bench/BenchFigures.h"
#include "comm/CommPort2.h"
#include "comm/PortDevices.h"
#include "platform/MessageQueue.h"
#include "platform/StampClock.h"
#include "tests/comm/FakeUart.h"
#include "tools/devsim/FloodPattern.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr std::uint64_t kRxBytes = 100ull * 1000 * 1000;
constexpr std::uint64_t kTxBytes = 100ull * 1000 * 1000;
constexpr int kLatencySamples = 400;

using bench::Figure;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

struct Pty {
    int master = -1;
    std::string path;
    Pty()
    {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        ::grantpt(master);
        ::unlockpt(master);
        char name[128] = {};
        ::ptsname_r(master, name, sizeof name);
        path = name;
        termios t{};
        ::tcgetattr(master, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(master, TCSANOW, &t);
    }
    ~Pty()
    {
        if (master >= 0)
            ::close(master);
    }
    int OpenNear() const
    {
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        termios t{};
        ::tcgetattr(fd, &t);
        ::cfmakeraw(&t);
        t.c_cc[VMIN] = 1;
        t.c_cc[VTIME] = 0;
        ::tcsetattr(fd, TCSANOW, &t);
        return fd;
    }
};

// Writes `total` flood bytes to fd, waiting for room with poll().
void FloodWrite(int fd, std::uint64_t total, std::size_t chunk)
{
    devsim::FloodGenerator generator;
    std::vector<std::uint8_t> buffer(chunk);
    std::uint64_t sent = 0;
    while (sent < total) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(chunk, total - sent));
        generator.Fill(buffer.data(), n);
        std::size_t done = 0;
        while (done < n) {
            const ssize_t put = ::write(fd, buffer.data() + done, n - done);
            if (put > 0) {
                done += static_cast<std::size_t>(put);
                continue;
            }
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, 100);
        }
        sent += n;
    }
}

// Reads and checks flood bytes from fd until `total` are in or nothing comes for a second.
devsim::FloodChecker FloodRead(int fd, std::uint64_t total)
{
    devsim::FloodChecker checker;
    std::uint8_t buffer[512];
    while (checker.Bytes() < total) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 1000) <= 0)
            break;
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0)
            checker.Feed(buffer, static_cast<std::size_t>(got));
    }
    return checker;
}

std::uint64_t Lost(const devsim::FloodChecker& checker, std::uint64_t total)
{
    return (total - std::min(total, checker.Bytes())) + checker.Errors();
}

double BaselineRx()
{
    Pty pty;
    const int near = pty.OpenNear();
    const auto start = Clock::now();
    std::thread writer([&] { FloodWrite(pty.master, kRxBytes, 4096); });
    const devsim::FloodChecker checker = FloodRead(near, kRxBytes);
    const auto elapsed = Clock::now() - start;
    writer.join();
    ::close(near);
    return static_cast<double>(checker.Bytes()) / Seconds(elapsed);
}

// COM1 on the pty at 115200 baud (a block then ends after the 1 ms minimum
// quiet time), reporting to `owner`; the caller opens it.
void Prepare(CCommPort2& port, const Pty& pty, platform::MessageQueue& owner)
{
    SetRunDevicePath(1, pty.path);
    PortSettings fast;
    fast.m_dwBaudRate = 115200;
    port.ApplySettings(fast);
    port.SetOwner(&owner);
}

struct EngineRun {
    double bytesPerSecond;
    std::uint64_t lost;
};

EngineRun EngineRx()
{
    Pty pty;
    CCommPort2 port;
    platform::MessageQueue owner;
    Prepare(port, pty, owner);
    if (!port.OpenPort())
        return {0, kRxBytes};
    devsim::FloodChecker checker;
    const auto start = Clock::now();
    std::thread writer([&] { FloodWrite(pty.master, kRxBytes, 4096); });
    while (checker.Bytes() < kRxBytes) {
        auto message = owner.Take(1000ms);
        if (!message)
            break;
        if (message->message == WM_RXDATA) {
            auto* packet = reinterpret_cast<ReceivePacket*>(message->lParam);
            checker.Feed(packet->data, packet->length);
            port.ReleasePacket(packet);
        } else if (message->message == WM_STATUSTEXT) {
            port.ReleaseStatusPost(reinterpret_cast<StatusPostBuffer*>(message->lParam));
        }
    }
    const auto elapsed = Clock::now() - start;
    writer.join();
    port.ClosePort();
    return {static_cast<double>(checker.Bytes()) / Seconds(elapsed), Lost(checker, kRxBytes)};
}

double BaselineTx()
{
    Pty pty;
    const int near = pty.OpenNear();
    const auto start = Clock::now();
    devsim::FloodChecker checker;
    std::thread reader([&] { checker = FloodRead(pty.master, kTxBytes); });
    FloodWrite(near, kTxBytes, 1024);
    reader.join();
    const auto elapsed = Clock::now() - start;
    ::close(near);
    return static_cast<double>(checker.Bytes()) / Seconds(elapsed);
}

EngineRun EngineTx()
{
    Pty pty;
    CCommPort2 port;
    SetRunDevicePath(1, pty.path);
    if (!port.OpenPort())
        return {0, kTxBytes};
    devsim::FloodChecker checker;
    const auto start = Clock::now();
    std::thread reader([&] { checker = FloodRead(pty.master, kTxBytes); });
    devsim::FloodGenerator generator;
    std::uint8_t block[1024];
    std::uint64_t sent = 0;
    while (sent < kTxBytes) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof block, kTxBytes - sent));
        generator.Fill(block, n);
        // A full queue refuses the call: wait for room as a real producer would.
        while (!port.SendBytes(block, n))
            std::this_thread::sleep_for(1ms);
        sent += n;
    }
    reader.join();
    const auto elapsed = Clock::now() - start;
    port.ClosePort();
    return {static_cast<double>(checker.Bytes()) / Seconds(elapsed), Lost(checker, kTxBytes)};
}

double Percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1));
    return values[index];
}

std::vector<double> PtyLatency()
{
    Pty pty;
    const int near = pty.OpenNear();
    std::vector<double> samples;
    std::uint8_t byte = 'x';
    for (int i = 0; i < kLatencySamples; ++i) {
        const auto start = Clock::now();
        if (::write(pty.master, &byte, 1) != 1)
            continue;
        pollfd p{near, POLLIN, 0};
        if (::poll(&p, 1, 1000) == 1 && ::read(near, &byte, 1) == 1)
            samples.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        std::this_thread::sleep_for(200us);
    }
    ::close(near);
    return samples;
}

std::vector<double> EngineLatency()
{
    Pty pty;
    CCommPort2 port;
    platform::MessageQueue owner;
    Prepare(port, pty, owner);
    std::vector<double> samples;
    if (!port.OpenPort())
        return samples;
    std::this_thread::sleep_for(50ms);
    while (auto message = owner.Take(0ms))
        if (message->message == WM_STATUSTEXT)
            port.ReleaseStatusPost(reinterpret_cast<StatusPostBuffer*>(message->lParam));
    std::uint8_t byte = 'y';
    for (int i = 0; i < kLatencySamples; ++i) {
        const auto start = Clock::now();
        if (::write(pty.master, &byte, 1) != 1)
            continue;
        for (;;) {
            auto message = owner.Take(1000ms);
            if (!message)
                break;
            if (message->message == WM_RXDATA) {
                samples.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
                port.ReleasePacket(reinterpret_cast<ReceivePacket*>(message->lParam));
                break;
            }
            if (message->message == WM_STATUSTEXT)
                port.ReleaseStatusPost(reinterpret_cast<StatusPostBuffer*>(message->lParam));
        }
        std::this_thread::sleep_for(200us);
    }
    port.ClosePort();
    return samples;
}

// Time from a byte's write into the pty to the stamp its block got from the
// reader, under a steady 4 MB/s flood (4 KB each millisecond), in µs.
std::vector<double> StampSkew()
{
    constexpr std::uint64_t kBytes = 8ull << 20;
    constexpr std::size_t kChunk = 4096;
    std::vector<double> skews;
    Pty pty;
    CCommPort2 port;
    platform::MessageQueue owner;
    Prepare(port, pty, owner);
    if (!port.OpenPort())
        return skews;
    // Where each write began in the stream, and when it was called.
    std::vector<std::pair<std::uint64_t, std::int64_t>> writes;
    writes.reserve(kBytes / kChunk * 2);
    std::thread writer([&] {
        std::vector<std::uint8_t> chunk(kChunk, 0x55);
        std::uint64_t sent = 0;
        auto tick = Clock::now();
        while (sent < kBytes) {
            std::size_t done = 0;
            while (done < kChunk) {
                writes.emplace_back(sent + done, platform::MonotonicNs());
                const ssize_t put = ::write(pty.master, chunk.data() + done, kChunk - done);
                if (put > 0) {
                    done += static_cast<std::size_t>(put);
                } else {
                    writes.pop_back();
                    pollfd p{pty.master, POLLOUT, 0};
                    ::poll(&p, 1, 100);
                }
            }
            sent += kChunk;
            tick += 1ms;
            std::this_thread::sleep_until(tick);
        }
    });
    std::vector<std::pair<std::uint64_t, std::int64_t>> stamps;  // block's first offset, its stamp
    std::uint64_t received = 0;
    while (received < kBytes) {
        auto message = owner.Take(1000ms);
        if (!message)
            break;
        if (message->message == WM_RXDATA) {
            auto* packet = reinterpret_cast<ReceivePacket*>(message->lParam);
            stamps.emplace_back(received, packet->firstByteNs);
            received += packet->length;
            port.ReleasePacket(packet);
        } else if (message->message == WM_STATUSTEXT) {
            port.ReleaseStatusPost(reinterpret_cast<StatusPostBuffer*>(message->lParam));
        }
    }
    writer.join();
    port.ClosePort();
    for (const auto& [offset, stampNs] : stamps) {
        // The write that carried the block's first byte.
        auto it = std::upper_bound(writes.begin(), writes.end(), offset,
                                   [](std::uint64_t at, const auto& w) { return at < w.first; });
        if (it == writes.begin())
            continue;
        skews.push_back(static_cast<double>(stampNs - std::prev(it)->second) / 1000.0);
    }
    return skews;
}

using bench::ProcessCpuSeconds;

// CPU share of the process over `duration` while `port` (if any) sits idle.
double IdleCpuPercent(std::chrono::seconds duration)
{
    const double cpu0 = ProcessCpuSeconds();
    const auto wall0 = Clock::now();
    std::this_thread::sleep_for(duration);
    return 100.0 * (ProcessCpuSeconds() - cpu0) / Seconds(Clock::now() - wall0);
}

struct GoneRun {
    double cpuPercent = -1;
    double wakeupsPerSecond = -1;
};

// The engine's cost after its device went away with nobody closing the port:
// a UART (fake modem lines and counters behind a pty) whose far end hangs up
// and whose driver calls then fail, with modem-line watching on.
GoneRun GoneCpu(std::chrono::seconds duration)
{
    GoneRun run;
    Pty pty;
    auto uart = std::make_shared<commtest::FakeUartState>();
    CCommPort2 port;
    SetRunDevicePath(1, pty.path);
    port.SetLineControlFactory([uart](int) { return std::make_unique<commtest::FakeUart>(uart); });
    platform::MessageQueue owner;
    port.SetOwner(&owner);
    if (!port.OpenPort())
        return run;
    auto sampled = [&] {
        std::lock_guard lock(uart->mutex);
        return uart->modemReads >= 2;
    };
    for (int i = 0; i < 500 && !sampled(); ++i)
        std::this_thread::sleep_for(10ms);
    {
        std::lock_guard lock(uart->mutex);
        uart->gone = true;
    }
    ::close(pty.master);
    pty.master = -1;
    bool reported = false;
    while (!reported) {
        auto message = owner.Take(5000ms);
        if (!message)
            break;
        if (message->message == WM_PORTGONE)
            reported = true;
        else if (message->message == WM_STATUSTEXT)
            port.ReleaseStatusPost(reinterpret_cast<StatusPostBuffer*>(message->lParam));
        else if (message->message == WM_RXDATA)
            port.ReleasePacket(reinterpret_cast<ReceivePacket*>(message->lParam));
    }
    if (reported) {
        const std::uint64_t wakeups = port.ReaderWakeups();
        const auto wall0 = Clock::now();
        run.cpuPercent = IdleCpuPercent(duration);
        run.wakeupsPerSecond = static_cast<double>(port.ReaderWakeups() - wakeups) / Seconds(Clock::now() - wall0);
    }
    port.ClosePort();
    return run;
}

}  // namespace

// With no arguments every part runs; otherwise only the parts named
// (throughput, latency, stamps, idle, gone), e.g. while working on one of them.
int main(int argc, char** argv)
{
    auto wanted = [&](std::string_view part) { return bench::PartWanted(argc, argv, part); };
    int status = 0;

    if (wanted("throughput")) {
        // Throughput on a shared machine swings from run to run, so baseline
        // and engine run in turns and the median of each is compared.
        constexpr int kRounds = 5;
        std::vector<double> rxBases, rxRates, txBases, txRates;
        std::uint64_t rxLost = 0;
        std::uint64_t txLost = 0;
        for (int round = 0; round < kRounds; ++round) {
            rxBases.push_back(BaselineRx());
            const EngineRun rx = EngineRx();
            rxRates.push_back(rx.bytesPerSecond);
            rxLost += rx.lost;
            txBases.push_back(BaselineTx());
            const EngineRun tx = EngineTx();
            txRates.push_back(tx.bytesPerSecond);
            txLost += tx.lost;
        }
        const double rxBase = Percentile(rxBases, 0.5);
        const double rxRate = Percentile(rxRates, 0.5);
        const double txBase = Percentile(txBases, 0.5);
        const double txRate = Percentile(txRates, 0.5);
        Figure("pty_rx_baseline_mb_per_s", rxBase / 1e6, "MB/s");
        Figure("engine_rx_mb_per_s", rxRate / 1e6, "MB/s");
        Figure("engine_rx_ratio", rxRate / rxBase, "ratio");
        Figure("engine_rx_lost", static_cast<double>(rxLost), "bytes");
        Figure("pty_tx_baseline_mb_per_s", txBase / 1e6, "MB/s");
        Figure("engine_tx_mb_per_s", txRate / 1e6, "MB/s");
        Figure("engine_tx_ratio", txRate / txBase, "ratio");
        Figure("engine_tx_lost", static_cast<double>(txLost), "bytes");
        if (rxLost != 0 || txLost != 0)
            status = 1;
    }

    if (wanted("latency")) {
        const std::vector<double> ptyLatency = PtyLatency();
        const std::vector<double> engineLatency = EngineLatency();
        const double ptyMedian = Percentile(ptyLatency, 0.5);
        const double engineMedian = Percentile(engineLatency, 0.5);
        Figure("pty_latency_median_us", ptyMedian, "us");
        Figure("engine_rx_latency_median_us", engineMedian, "us");
        Figure("engine_rx_latency_p99_us", Percentile(engineLatency, 0.99), "us");
        Figure("engine_rx_latency_ratio", ptyMedian > 0 ? engineMedian / ptyMedian : 0, "ratio");
    }

    if (wanted("stamps")) {
        // Target: p99 at most 2000 µs.
        const std::vector<double> skew = StampSkew();
        Figure("stamp_skew_median_us", Percentile(skew, 0.5), "us");
        Figure("stamp_skew_p99_us", Percentile(skew, 0.99), "us");
        Figure("stamp_skew_blocks", static_cast<double>(skew.size()), "blocks");
    }

    // The baseline for both CPU figures: this process with no engine at all.
    const double idleBase = wanted("idle") || wanted("gone") ? IdleCpuPercent(1s) : 0;
    if (wanted("idle")) {
        double idleEngine = 0;
        {
            Pty pty;
            CCommPort2 port;
            SetRunDevicePath(1, pty.path);
            if (port.OpenPort()) {
                idleEngine = IdleCpuPercent(10s);
                port.ClosePort();
            }
        }
        Figure("idle_process_cpu_pct", idleBase, "%");
        Figure("engine_idle_cpu_pct", idleEngine, "%");
        Figure("engine_idle_cpu_ratio", idleBase > 0 ? idleEngine / idleBase : 0, "ratio");
    }

    if (wanted("gone")) {
        // Target: under 1 % of a core.
        const GoneRun gone = GoneCpu(2s);
        Figure("engine_gone_cpu_pct", gone.cpuPercent, "%");
        Figure("engine_gone_wakeups_per_s", gone.wakeupsPerSecond, "1/s");
        if (!wanted("idle"))
            Figure("idle_process_cpu_pct", idleBase, "%");
        if (gone.cpuPercent < 0 || gone.cpuPercent >= 1.0)
            status = 1;
    }
    return status;
}
