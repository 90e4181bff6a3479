// The TCP bridge against socat, pty to a TCP client on 127.0.0.1, same
// traffic in the same run:
//   bridge_dev_to_client_mbps, bridge_client_to_dev_mbps  a checked pattern
//                               each way, the bridge in this process with its
//                               terminal window shown (offscreen), text mode
//   bridge_headless_*_mbps      the same through kestrana --headless, a process
//                               of its own
//   bridge_rfc2217_dev_to_client_mbps  headless in RFC 2217 mode: every byte
//                               value, so each 0xFF is doubled on the way
//   bridge_rfc2217_ratio        that / headless raw mode
//   bridge_lost                 bytes lost or changed, every run together
//   bridge_rtt_median_us        a byte from the client, echoed by
//                               kestrana-devsim --echo, back: device, bridge and
//                               client each a process of its own; the client
//                               sets 115200 baud over RFC 2217 (a received
//                               block then ends after the 1 ms minimum quiet time)
//   bridge_rtt_9600_median_us   the same in raw mode, where the line keeps the
//                               9600 baud a bridge starts with (quiet time 1.5
//                               characters, 1.56 ms)
//   bridge_rss_growth_mb        resident memory growth over the window run, less
//                               what the terminal text holds in memory (at most
//                               its budget, set to the smallest here)
//   socat_*                     the same through socat (skipped when it is missing)
//   bridge_*_ratio              bridge / socat
// Usage: bridge_bench [MEGABYTES]   (default 50)

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
#include "tests/common/DevsimProcess.h"

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

// The client's side of a telnet stream: data bytes out, commands and
// subnegotiations dropped, a doubled 0xFF one data byte.
class TelnetReader {
public:
    std::size_t Decode(std::uint8_t* data, std::size_t count)
    {
        std::size_t out = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t b = data[i];
            switch (m_state) {
            case State::Data:
                if (b == 0xFF)
                    m_state = State::Iac;
                else
                    data[out++] = b;
                break;
            case State::Iac:
                if (b == 0xFF) {
                    data[out++] = b;
                    m_state = State::Data;
                } else if (b >= 251) {
                    m_state = State::Option;
                } else {
                    m_state = b == 250 ? State::Sub : State::Data;
                }
                break;
            case State::Option:
                m_state = State::Data;
                break;
            case State::Sub:
                if (b == 0xFF)
                    m_state = State::SubIac;
                break;
            case State::SubIac:
                m_state = b == 240 ? State::Data : State::Sub;
                break;
            }
        }
        return out;
    }

private:
    enum class State { Data, Iac, Option, Sub, SubIac };
    State m_state = State::Data;
};

struct ReadResult {
    std::uint64_t bytes = 0;
    std::uint64_t errors = 0;
    Clock::time_point last;
};

// Reads and checks the flood pattern until `total` bytes or the deadline;
// with `telnet`, what reaches the checker is the stream's data.
ReadResult ReadPattern(int fd, std::uint64_t total, Clock::time_point deadline, TelnetReader* telnet = nullptr)
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
            const std::size_t data = telnet != nullptr ? telnet->Decode(buffer.data(), static_cast<std::size_t>(n))
                                                       : static_cast<std::size_t>(n);
            checker.Feed(buffer.data(), data);
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

const Waiter kJoin = [](const std::function<bool()>& done) {
    while (!done())
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
};

// The pattern through whatever bridges `device` to `client`: device to
// client, then (with `both`) client to device.
Figures Measure(int device, int client, std::uint64_t total, const Waiter& wait, bool both = true,
                TelnetReader* telnet = nullptr)
{
    Figures f;
    auto note = [](const char* phase, Clock::time_point wallStart, double cpuStart) {
        std::printf("note: %s took %.2f s, %.2f s of it on the calling thread's CPU\n", phase,
                    Seconds(Clock::now() - wallStart), ThreadCpuSeconds() - cpuStart);
    };
    auto wallStart = Clock::now();
    double cpuStart = ThreadCpuSeconds();
    {
        Clock::time_point start;
        ReadResult got;
        RunPhase(wait, {[&] {
                            start = Clock::now();
                            WritePattern(device, total, start + kPhaseLimit);
                        },
                        [&] { got = ReadPattern(client, total, Clock::now() + kPhaseLimit, telnet); }});
        f.lost += (total - got.bytes) + got.errors;
        f.devToClientMbps = got.bytes > 0 ? static_cast<double>(got.bytes) / Seconds(got.last - start) / 1e6 : 0;
    }
    note("device to client", wallStart, cpuStart);
    if (!both)
        return f;
    wallStart = Clock::now();
    cpuStart = ThreadCpuSeconds();
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
    return f;
}

// Waits for one byte on `fd` (one data byte, through `telnet`); false
// after `patience`.
bool ReadByte(int fd, std::uint8_t& byte, std::chrono::milliseconds patience, TelnetReader* telnet = nullptr)
{
    const auto end = Clock::now() + patience;
    while (Clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) == 1 && ::read(fd, &byte, 1) == 1 && (telnet == nullptr || telnet->Decode(&byte, 1) == 1))
            return true;
    }
    return false;
}

// Sends probes until one comes back: the whole chain is up. Whatever else
// arrives meanwhile is read off.
bool AwaitEcho(int client, TelnetReader* telnet)
{
    const auto end = Clock::now() + std::chrono::seconds(15);
    while (Clock::now() < end) {
        const std::uint8_t probe = '!';
        if (::write(client, &probe, 1) != 1)
            return false;
        std::uint8_t in = 0;
        if (ReadByte(client, in, std::chrono::milliseconds(300), telnet) && in == probe) {
            while (ReadByte(client, in, std::chrono::milliseconds(100), telnet)) {
            }
            return true;
        }
    }
    return false;
}

// The median of single-byte round trips from `client` through an echoing
// device; 0 when any was lost.
double MedianRoundTrip(int client, TelnetReader* telnet = nullptr)
{
    std::vector<double> rtts;
    for (int round = 0; round < kRttRounds + 20; ++round) {
        const std::uint8_t out = static_cast<std::uint8_t>('a' + round % 26);
        const auto sent = Clock::now();
        if (::write(client, &out, 1) != 1)
            return 0;
        std::uint8_t in = 0;
        if (!ReadByte(client, in, std::chrono::seconds(5), telnet) || in != out)
            return 0;
        if (round >= 20)  // the first rounds warm up
            rtts.push_back(std::chrono::duration<double, std::micro>(Clock::now() - sent).count());
    }
    std::sort(rtts.begin(), rtts.end());
    return rtts[rtts.size() / 2];
}

// The device end runs in this process, on a thread, as a plain echo.
double InProcessRoundTrip(int device, int client, const Waiter& wait)
{
    std::atomic<bool> stop{false};
    double median = 0;
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
                        median = MedianRoundTrip(client);
                        stop.store(true);
                    }});
    return median;
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
        std::printf("note: round trip with the device an echo thread of this process: %.0f us\n",
                    InProcessRoundTrip(pty->master.get(), client.get(), loopUntil));
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

// Something that serves a TCP port on 127.0.0.1 for a device path: socat,
// or kestrana --headless.
using Server = std::function<bool(testchild::ChildProcess& child, const std::string& device, int port)>;

// socat sets the pty up only once a client is there: the chain is proven
// by a probe through it either way.
platform::UniqueFd StartServing(const Server& server, testchild::ChildProcess& child, const std::string& device,
                                int& port)
{
    port = FreePort();
    if (!server(child, device, port))
        return {};
    return ConnectClient(port, std::chrono::seconds(10));
}

// Device (this process) and client (this process) around a server process.
std::optional<Figures> BenchServer(const Server& server, std::uint64_t total, bool both, bool telnet)
{
    std::optional<PtyPair> pty = OpenPty();
    if (!pty)
        return std::nullopt;
    testchild::ChildProcess child;
    int port = 0;
    platform::UniqueFd client = StartServing(server, child, pty->farEnd, port);
    if (!client)
        return std::nullopt;
    // The chain is up once a probe from the client reaches the device.
    const std::uint8_t probe = 'x';
    std::uint8_t got = 0;
    if (::write(client.get(), &probe, 1) != 1 || !ReadByte(pty->master.get(), got, std::chrono::seconds(15)) ||
        got != probe) {
        std::fprintf(stderr, "bridge_bench: no path from the client to the device\n");
        return std::nullopt;
    }
    TelnetReader reader;
    return Measure(pty->master.get(), client.get(), total, kJoin, both, telnet ? &reader : nullptr);
}

// Round trips through a server process to kestrana-devsim --echo; with a
// `baud`, the client sets the line's speed first (RFC 2217, as a client
// library would), else the line keeps the server's start-up speed.
double ServerRoundTrip(const Server& server, std::uint32_t baud = 0)
{
    testchild::DevsimProcess device;
    if (!device.StartDevice({"--echo"})) {
        std::fprintf(stderr, "bridge_bench: kestrana-devsim did not start\n");
        return 0;
    }
    testchild::ChildProcess child;
    int port = 0;
    platform::UniqueFd client = StartServing(server, child, device.FarEndPath(), port);
    if (!client)
        return 0;
    TelnetReader reader;
    TelnetReader* telnet = baud != 0 ? &reader : nullptr;
    // The speed is set once a probe has shown the port open and the chain up.
    if (!AwaitEcho(client.get(), telnet))
        return 0;
    if (baud != 0) {
        const std::uint8_t request[] = {0xFF, 251, 44,  // WILL COM-PORT-OPTION
                                        0xFF, 250, 44, 1, static_cast<std::uint8_t>(baud >> 24),
                                        static_cast<std::uint8_t>(baud >> 16), static_cast<std::uint8_t>(baud >> 8),
                                        static_cast<std::uint8_t>(baud), 0xFF, 240};
        if (::write(client.get(), request, sizeof request) != static_cast<ssize_t>(sizeof request) ||
            !AwaitEcho(client.get(), telnet))
            return 0;
    }
    return MedianRoundTrip(client.get(), telnet);
}

std::string KestranaBinary()
{
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return "kestrana";
    return (std::filesystem::path(std::string(self, static_cast<std::size_t>(n))).parent_path().parent_path() /
            "kestrana")
        .string();
}

// kestrana --headless on its own registry folder, COM1 on the device, in `mode`.
Server HeadlessServer(const std::string& dir, const std::string& mode)
{
    return [dir, mode](testchild::ChildProcess& child, const std::string& device, int port) {
        testchild::ChildOptions options;
        options.workingDir = dir;
        options.environment = {"DISPLAY", "WAYLAND_DISPLAY"};
        options.out = testchild::Stream::Null;
        return child.Start({KestranaBinary(), "--headless", "--registry-dir", dir + "/registry-" + std::to_string(port),
                            "--device", "COM1=" + device, "--connect", "--tcp-server=" + std::to_string(port),
                            "--tcp-bind", "127.0.0.1", "--tcp-mode", mode},
                           options);
    };
}

Server SocatServer(const std::string& socat)
{
    return [socat](testchild::ChildProcess& child, const std::string& device, int port) {
        testchild::ChildOptions options;
        options.out = testchild::Stream::Null;
        return child.Start({socat, "TCP-LISTEN:" + std::to_string(port) + ",bind=127.0.0.1,reuseaddr,nodelay",
                            "FILE:" + device + ",raw,echo=0"},
                           options);
    };
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
    bool ok = true;
    std::uint64_t lost = 0;

    double rssGrowthMb = 0;
    const std::optional<Figures> window = BenchBridge(total, rssGrowthMb);
    if (!window) {
        std::fprintf(stderr, "bridge_bench: the bridge could not be measured\n");
        return 1;
    }
    lost += window->lost;
    Figure("bridge_dev_to_client_mbps", window->devToClientMbps, "MB/s");
    Figure("bridge_client_to_dev_mbps", window->clientToDevMbps, "MB/s");
    Figure("bridge_rss_growth_mb", rssGrowthMb, "MB");

    const std::string dir = TempDir();
    const std::optional<Figures> headless = BenchServer(HeadlessServer(dir, "raw"), total, true, false);
    const std::optional<Figures> rfc2217 = BenchServer(HeadlessServer(dir, "rfc2217"), total, false, true);
    if (!headless || !rfc2217) {
        std::fprintf(stderr, "bridge_bench: the headless bridge could not be measured\n");
        ok = false;
    } else {
        lost += headless->lost + rfc2217->lost;
        Figure("bridge_headless_dev_to_client_mbps", headless->devToClientMbps, "MB/s");
        Figure("bridge_headless_client_to_dev_mbps", headless->clientToDevMbps, "MB/s");
        Figure("bridge_rfc2217_dev_to_client_mbps", rfc2217->devToClientMbps, "MB/s");
        if (headless->devToClientMbps > 0)
            Figure("bridge_rfc2217_ratio", rfc2217->devToClientMbps / headless->devToClientMbps, "x");
    }
    Figure("bridge_lost", static_cast<double>(lost), "bytes");
    // The stored port settings are the settings dialog's: a bridge starts at
    // 9600 baud, whatever its registry holds. The client sets 115200.
    const double rtt = ServerRoundTrip(HeadlessServer(dir, "rfc2217"), 115200);
    const double rtt9600 = ServerRoundTrip(HeadlessServer(dir, "raw"));
    Figure("bridge_rtt_median_us", rtt, "us");
    Figure("bridge_rtt_9600_median_us", rtt9600, "us");
    ok = ok && rtt > 0 && rtt9600 > 0 && lost == 0;

    const std::string socat = FindSocat();
    if (socat.empty()) {
        std::printf("note: socat is not installed; its figures and the ratios are skipped\n");
    } else if (const std::optional<Figures> other = BenchServer(SocatServer(socat), total, true, false)) {
        Figure("socat_dev_to_client_mbps", other->devToClientMbps, "MB/s");
        Figure("socat_client_to_dev_mbps", other->clientToDevMbps, "MB/s");
        Figure("socat_lost", static_cast<double>(other->lost), "bytes");
        Figure("socat_rtt_median_us", ServerRoundTrip(SocatServer(socat)), "us");
        auto ratio = [](const char* name, double ours, double theirs) {
            if (theirs > 0)
                Figure(name, ours / theirs, "x");
        };
        ratio("bridge_dev_to_client_ratio", window->devToClientMbps, other->devToClientMbps);
        ratio("bridge_client_to_dev_ratio", window->clientToDevMbps, other->clientToDevMbps);
        if (headless) {
            ratio("bridge_headless_dev_to_client_ratio", headless->devToClientMbps, other->devToClientMbps);
            ratio("bridge_headless_client_to_dev_ratio", headless->clientToDevMbps, other->clientToDevMbps);
        }
    } else {
        std::printf("note: socat could not be measured\n");
    }
    std::filesystem::current_path("/tmp");
    std::filesystem::remove_all(dir);
    if (!ok)
        std::fprintf(stderr, "bridge_bench: the bridge lost bytes or round trips\n");
    return ok ? 0 : 1;
}
