// The TCP bridge against socat, pty to a TCP client on 127.0.0.1, same
// traffic in the same run:
//   bridge_dev_to_client_mbps, bridge_client_to_dev_mbps  a checked pattern each way
//   bridge_lost                 bytes lost or changed, both ways together
//   bridge_rtt_median_us        a byte from the client, echoed by the device, back
//   bridge_rss_growth_mb        resident memory growth over the run, less what
//                               the terminal text holds in memory (at most its
//                               budget, set to the smallest here)
//   socat_*                     the same through socat (skipped when it is missing)
//   bridge_*_ratio              bridge / socat
// The bridge runs in this process with the terminal window shown (offscreen),
// text mode, at 115200 baud. Usage: bridge_bench [MEGABYTES]   (default 50)

#include "bench/BenchFigures.h"
#include "app/CommandLine.h"
#include "app/MainFrame.h"
#include "app/TcpBridge.h"
#include "app/Trevane2App.h"
#include "comm/CommPort2.h"
#include "comm/PortDevices.h"
#include "net/SocketWnd.h"
#include "platform/MessageBox.h"
#include "platform/UniqueFd.h"
#include "terminal/Trevane2Doc.h"
#include "terminal/Trevane2View.h"
#include "text/TerminalText.h"
#include "tools/devsim/FloodPattern.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRttRounds = 400;
constexpr auto kPhaseLimit = std::chrono::seconds(180);

using bench::Figure;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Bytes the terminal text holds in memory (older text lives in its history
// file within a fixed budget).
double TextBytes(const TerminalText& text)
{
    return static_cast<double>(text.MemoryBytes());
}

// CPU time of the calling thread (the bridge's user-interface thread when
// called from the event loop's thread).
double ThreadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

long ResidentKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return 0;
}

int FreePort()
{
    platform::UniqueFd probe(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(probe.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(probe.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return -1;
    return ntohs(address.sin_port);
}

struct PtyPair {
    platform::UniqueFd master;
    std::string farEnd;
};

std::optional<PtyPair> OpenPty()
{
    PtyPair pty;
    pty.master.reset(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    char name[128];
    if (!pty.master || grantpt(pty.master.get()) != 0 || unlockpt(pty.master.get()) != 0 ||
        ptsname_r(pty.master.get(), name, sizeof name) != 0)
        return std::nullopt;
    pty.farEnd = name;
    return pty;
}

// Connects to 127.0.0.1:port, retrying while the server comes up.
platform::UniqueFd ConnectClient(int port, std::chrono::milliseconds patience)
{
    const auto end = Clock::now() + patience;
    while (Clock::now() < end) {
        platform::UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            const int on = 1;
            setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            fcntl(fd.get(), F_SETFL, fcntl(fd.get(), F_GETFL) | O_NONBLOCK);
            return fd;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return {};
}

// Writes `total` bytes of the flood pattern to a non-blocking descriptor.
std::uint64_t WritePattern(int fd, std::uint64_t total, Clock::time_point deadline)
{
    devsim::FloodGenerator generator;
    std::vector<std::uint8_t> chunk(16384);
    std::size_t have = 0, at = 0;
    std::uint64_t written = 0;
    while (written < total && Clock::now() < deadline) {
        if (at == have) {
            have = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), total - generator.Position()));
            generator.Fill(chunk.data(), have);
            at = 0;
        }
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, 100) != 1)
            continue;
        const ssize_t n = ::write(fd, chunk.data() + at, have - at);
        if (n > 0) {
            at += static_cast<std::size_t>(n);
            written += static_cast<std::uint64_t>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            break;
        }
    }
    return written;
}

struct ReadResult {
    std::uint64_t bytes = 0;
    std::uint64_t errors = 0;
    Clock::time_point last;
};

// Reads and checks the flood pattern until `total` bytes or the deadline.
ReadResult ReadPattern(int fd, std::uint64_t total, Clock::time_point deadline)
{
    devsim::FloodChecker checker;
    std::vector<std::uint8_t> buffer(65536);
    ReadResult result;
    while (checker.Bytes() < total && Clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) != 1)
            continue;
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n > 0) {
            checker.Feed(buffer.data(), static_cast<std::size_t>(n));
            result.last = Clock::now();
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            break;
        }
    }
    result.bytes = checker.Bytes();
    result.errors = checker.Errors();
    return result;
}

struct Figures {
    double devToClientMbps = 0;
    double clientToDevMbps = 0;
    std::uint64_t lost = 0;
    double rttMedianUs = 0;
    bool ok = false;
};

// Runs `work` on a thread while `wait` keeps this thread busy in its own way
// (the event loop for the in-process bridge, a plain join otherwise).
using Waiter = std::function<void(const std::function<bool()>& done)>;

void RunPhase(const Waiter& wait, std::vector<std::function<void()>> jobs)
{
    std::atomic<int> left{static_cast<int>(jobs.size())};
    std::vector<std::thread> threads;
    for (auto& job : jobs)
        threads.emplace_back([&left, job] {
            job();
            --left;
        });
    wait([&] { return left.load() == 0; });
    for (auto& t : threads)
        t.join();
}

// The three measurements through whatever bridges `device` to `client`.
Figures Measure(int device, int client, std::uint64_t total, const Waiter& wait)
{
    Figures f;
    auto note = [](const char* phase, Clock::time_point wallStart, double cpuStart) {
        std::printf("note: %s took %.2f s, %.2f s of it on the calling thread's CPU\n", phase,
                    Seconds(Clock::now() - wallStart), ThreadCpuSeconds() - cpuStart);
    };
    auto wallStart = Clock::now();
    double cpuStart = ThreadCpuSeconds();
    // Device to client.
    {
        Clock::time_point start;
        ReadResult got;
        RunPhase(wait, {[&] {
                            start = Clock::now();
                            WritePattern(device, total, start + kPhaseLimit);
                        },
                        [&] { got = ReadPattern(client, total, Clock::now() + kPhaseLimit); }});
        f.lost += (total - got.bytes) + got.errors;
        f.devToClientMbps = got.bytes > 0 ? static_cast<double>(got.bytes) / Seconds(got.last - start) / 1e6 : 0;
    }
    note("device to client", wallStart, cpuStart);
    wallStart = Clock::now();
    cpuStart = ThreadCpuSeconds();
    // Client to device.
    {
        Clock::time_point start;
        ReadResult got;
        RunPhase(wait, {[&] {
                            start = Clock::now();
                            WritePattern(client, total, start + kPhaseLimit);
                        },
                        [&] { got = ReadPattern(device, total, Clock::now() + kPhaseLimit); }});
        f.lost += (total - got.bytes) + got.errors;
        f.clientToDevMbps = got.bytes > 0 ? static_cast<double>(got.bytes) / Seconds(got.last - start) / 1e6 : 0;
    }
    note("client to device", wallStart, cpuStart);
    // Round trip: the device echoes, the client times one byte at a time.
    {
        std::atomic<bool> stop{false};
        std::vector<double> rtts;
        RunPhase(wait, {[&] {
                            std::uint8_t byte;
                            while (!stop.load()) {
                                pollfd p{device, POLLIN, 0};
                                if (::poll(&p, 1, 50) == 1 && ::read(device, &byte, 1) == 1)
                                    while (::write(device, &byte, 1) != 1 && !stop.load())
                                        std::this_thread::yield();
                            }
                        },
                        [&] {
                            for (int round = 0; round < kRttRounds + 20; ++round) {
                                const std::uint8_t out = static_cast<std::uint8_t>('a' + round % 26);
                                const auto sent = Clock::now();
                                if (::write(client, &out, 1) != 1)
                                    break;
                                std::uint8_t in = 0;
                                bool back = false;
                                while (!back && Clock::now() - sent < std::chrono::seconds(5)) {
                                    pollfd p{client, POLLIN, 0};
                                    back = ::poll(&p, 1, 100) == 1 && ::read(client, &in, 1) == 1;
                                }
                                if (!back || in != out)
                                    break;
                                if (round >= 20)  // the first rounds warm up
                                    rtts.push_back(std::chrono::duration<double, std::micro>(Clock::now() - sent).count());
                            }
                            stop.store(true);
                        }});
        if (!rtts.empty()) {
            std::sort(rtts.begin(), rtts.end());
            f.rttMedianUs = rtts[rtts.size() / 2];
        }
        f.ok = rtts.size() == static_cast<std::size_t>(kRttRounds);
    }
    return f;
}

std::string TempDir()
{
    char pattern[] = "/tmp/kestrana-bridge-bench-XXXXXX";
    const char* made = mkdtemp(pattern);
    return made != nullptr ? made : "";
}

std::optional<Figures> BenchBridge(std::uint64_t total, double& rssGrowthMb)
{
    const std::string dir = TempDir();
    setenv("KESTRANA_REGISTRY_DIR", (dir + "/registry").c_str(), 1);
    std::filesystem::current_path(dir);
    platform::SetMessageBoxHandler([](std::string_view text, std::string_view detail) {
        std::fprintf(stderr, "bridge_bench: message box: %.*s %.*s\n", static_cast<int>(text.size()),
                     text.data(), static_cast<int>(detail.size()), detail.data());
    });
    std::optional<PtyPair> pty = OpenPty();
    if (!pty) {
        std::fprintf(stderr, "bridge_bench: no pty\n");
        return std::nullopt;
    }
    SetRunDevicePath(1, pty->farEnd);

    std::optional<Figures> result;
    {
        CTrevane2App app;
        CommandLineOptions options;
        options.noSplash = true;
        // The smallest text budget, so that what the run adds beyond the
        // text (socket and queue buffers, leaks) shows in the growth.
        options.historyMemory = 4u << 20;
        if (!app.InitInstance(options)) {
            std::fprintf(stderr, "bridge_bench: start-up failed\n");
            return std::nullopt;
        }
        CMainFrame* frame = app.GetMainFrame();
        frame->GetActiveDocument()->m_bHexMode = 0;
        // At 9600 baud a block would wait 1.5 character times (1.6 ms) for
        // the line to go quiet; 115200 leaves the 1 ms minimum.
        PortSettings fast = frame->m_pCommPort->Settings();
        fast.m_dwBaudRate = 115200;
        frame->m_pCommPort->ApplySettings(fast);
        frame->OnCommOpen();
        CTcpBridge* bridge = frame->TcpBridge();
        const int port = FreePort();
        bridge->SetBindAddress("127.0.0.1");
        bridge->SetServerPort(port);
        frame->OnTcpServerOpen();
        if (!frame->m_pCommPort->IsOpen() || !bridge->IsListening()) {
            std::fprintf(stderr, "bridge_bench: the port or the server did not open\n");
            app.ExitInstance();
            return std::nullopt;
        }
        QCoreApplication::processEvents();

        Waiter loopUntil = [](const std::function<bool()>& done) {
            QEventLoop loop;
            QTimer poll;
            QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
                if (done())
                    loop.quit();
            });
            poll.start(20);
            loop.exec();
        };
        platform::UniqueFd client;
        std::thread connector([&] { client = ConnectClient(port, std::chrono::seconds(10)); });
        loopUntil([&] { return bridge->IsServing(); });
        connector.join();

        const CTrevane2Doc* doc = frame->GetActiveDocument();
        const long rssBefore = ResidentKb();
        const double textBefore = TextBytes(doc->Text());
        result = Measure(pty->master.get(), client.get(), total, loopUntil);
        frame->GetActiveView()->FlushPending();
        const long rssAfter = ResidentKb();
        const double textAfter = TextBytes(doc->Text());
        rssGrowthMb = (static_cast<double>(rssAfter - rssBefore) * 1024.0 - (textAfter - textBefore)) / 1e6;
        std::printf("note: resident memory grew %.1f MB, of which the terminal text holds %.1f MB\n",
                    static_cast<double>(rssAfter - rssBefore) * 1024.0 / 1e6, (textAfter - textBefore) / 1e6);
        client.reset();
        frame->OnCommClose();
        app.ExitInstance();
    }
    std::filesystem::current_path("/tmp");
    std::filesystem::remove_all(dir);
    return result;
}

std::string FindSocat()
{
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        const std::size_t end = std::min(dirs.find(':', start), dirs.size());
        const std::string candidate = dirs.substr(start, end - start) + "/socat";
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return {};
}

std::optional<Figures> BenchSocat(const std::string& socat, std::uint64_t total)
{
    std::optional<PtyPair> pty = OpenPty();
    if (!pty)
        return std::nullopt;
    const int port = FreePort();
    std::vector<std::string> args{socat,
                                  "TCP-LISTEN:" + std::to_string(port) + ",bind=127.0.0.1,reuseaddr",
                                  "FILE:" + pty->farEnd + ",raw,echo=0"};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return std::nullopt;
    platform::UniqueFd client = ConnectClient(port, std::chrono::seconds(10));
    std::optional<Figures> result;
    if (client) {
        // socat sets up the pty once a client is there; give it a moment.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        Waiter join = [](const std::function<bool()>& done) {
            while (!done())
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
        };
        result = Measure(pty->master.get(), client.get(), total, join);
    }
    client.reset();
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    return result;
}

}  // namespace

int main(int argc, char** argv)
{
    const double megabytes = argc > 1 ? std::atof(argv[1]) : 50.0;
    const auto total = static_cast<std::uint64_t>(std::max(1.0, megabytes) * 1e6);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    signal(SIGPIPE, SIG_IGN);
    int qtArgc = 1;
    QApplication application(qtArgc, argv);

    double rssGrowthMb = 0;
    const std::optional<Figures> bridge = BenchBridge(total, rssGrowthMb);
    if (!bridge) {
        std::fprintf(stderr, "bridge_bench: the bridge could not be measured\n");
        return 1;
    }
    Figure("bridge_dev_to_client_mbps", bridge->devToClientMbps, "MB/s");
    Figure("bridge_client_to_dev_mbps", bridge->clientToDevMbps, "MB/s");
    Figure("bridge_lost", static_cast<double>(bridge->lost), "bytes");
    Figure("bridge_rtt_median_us", bridge->rttMedianUs, "us");
    Figure("bridge_rss_growth_mb", rssGrowthMb, "MB");

    const std::string socat = FindSocat();
    if (socat.empty()) {
        std::printf("note: socat is not installed; its figures and the ratios are skipped\n");
    } else if (const std::optional<Figures> other = BenchSocat(socat, total)) {
        Figure("socat_dev_to_client_mbps", other->devToClientMbps, "MB/s");
        Figure("socat_client_to_dev_mbps", other->clientToDevMbps, "MB/s");
        Figure("socat_lost", static_cast<double>(other->lost), "bytes");
        Figure("socat_rtt_median_us", other->rttMedianUs, "us");
        if (other->devToClientMbps > 0)
            Figure("bridge_dev_to_client_ratio", bridge->devToClientMbps / other->devToClientMbps, "x");
        if (other->clientToDevMbps > 0)
            Figure("bridge_client_to_dev_ratio", bridge->clientToDevMbps / other->clientToDevMbps, "x");
    } else {
        std::printf("note: socat could not be measured\n");
    }
    const bool ok = bridge->ok && bridge->lost == 0;
    if (!ok)
        std::fprintf(stderr, "bridge_bench: the bridge lost bytes or round trips\n");
    return ok ? 0 : 1;
}
