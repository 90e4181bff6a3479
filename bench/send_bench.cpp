// Key-to-wire latency: a key event delivered to the terminal view until its
// byte can be read at the far end of the pseudo-terminal the serial engine
// has open, through the real view, sender and engine. Beside it, as the
// floor, a plain one-byte write and read on a pty, sampled in turns with the
// keys so both see the same machine.
//
// Prints "figure NAME VALUE UNIT" lines.

#include "bench/BenchFigures.h"
#include "app/PortLineSender.h"
#include "comm/CommPort2.h"
#include "comm/PortDevices.h"
#include "terminal/Appearance.h"
#include "terminal/Trevane2Doc.h"
#include "terminal/Trevane2View.h"
#include "tests/common/PtyPair.h"
#include "tests/common/TestFiles.h"

#include <QApplication>
#include <QKeyEvent>

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kKeys = 2000;
constexpr int kWarmUp = 50;

using bench::Figure;

double Percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1))];
}

double Micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

// Waits for one byte at fd; false after a second without one.
bool ReadOne(int fd)
{
    pollfd p{fd, POLLIN, 0};
    char byte;
    for (;;) {
        if (::poll(&p, 1, 1000) != 1)
            return false;
        const ssize_t n = ::read(fd, &byte, 1);
        if (n == 1)
            return true;
        if (n == 0)
            return false;
    }
}

// One plain write and read on a pty of its own.
double FloorSample(testpty::PtyPair& pty)
{
    const char byte = 'f';
    const auto start = Clock::now();
    if (::write(pty.Slave(), &byte, 1) != 1 || !ReadOne(pty.Master()))
        return -1;
    return Micros(Clock::now() - start);
}

double KeySample(CTrevane2View& view, testpty::PtyPair& pty, int i)
{
    const char c = static_cast<char>('a' + i % 26);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_A + i % 26, Qt::NoModifier, QString(QLatin1Char(c)));
    const auto start = Clock::now();
    QCoreApplication::sendEvent(&view, &press);
    if (!ReadOne(pty.Master()))
        return -1;
    return Micros(Clock::now() - start);
}

}  // namespace

int main(int argc, char** argv)
{
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const testfiles::TempDir folder("kestrana-send-bench");
    const std::string& work = folder.path();
    if (work.empty() || ::chdir(work.c_str()) != 0) {
        std::fprintf(stderr, "send_bench: no working folder\n");
        return 1;
    }
    setenv("KESTRANA_REGISTRY_DIR", (work + "/registry").c_str(), 1);

    testpty::PtyPair device;
    testpty::PtyPair floor;
    if (!device.Open(false) || !floor.Open(true)) {
        std::fprintf(stderr, "send_bench: cannot open the pseudo-terminals\n");
        return 1;
    }
    CCommPort2 port;
    SetRunDevicePath(1, device.SlavePath());
    PortSettings fast;
    fast.m_dwBaudRate = 115200;
    port.ApplySettings(fast);
    if (!port.OpenPort()) {
        std::fprintf(stderr, "send_bench: the engine cannot open %s\n", device.SlavePath().c_str());
        return 1;
    }
    PortLineSender sender(&port);
    CAppearance appearance;
    CTrevane2Doc doc;
    CTrevane2View view(&doc, &appearance);
    view.resize(640, 400);
    view.show();
    view.SetLineSender(&sender);

    std::vector<double> keys;
    std::vector<double> floors;
    int lost = 0;
    for (int i = -kWarmUp; i < kKeys; ++i) {
        const double plain = FloorSample(floor);
        const double key = KeySample(view, device, i + kWarmUp);
        if (i < 0)
            continue;
        if (plain >= 0)
            floors.push_back(plain);
        if (key >= 0)
            keys.push_back(key);
        else
            ++lost;
        // Repaints happen between keys, as they would between a person's.
        if (i % 20 == 0)
            QCoreApplication::processEvents();
    }
    port.ClosePort();

    Figure("key_to_wire_median_us", Percentile(keys, 0.5), "us");
    Figure("key_to_wire_p99_us", Percentile(keys, 0.99), "us");
    Figure("pty_write_read_median_us", Percentile(floors, 0.5), "us");
    Figure("pty_write_read_p99_us", Percentile(floors, 0.99), "us");
    Figure("key_to_wire_lost", lost, "keys");
    std::printf("# %d keys; target: key_to_wire_median_us at most 1000\n", kKeys);
    return lost == 0 ? 0 : 1;
}
