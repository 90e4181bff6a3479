// The bridge in RFC 2217 mode with pyserial's client as the real client:
// the frame offscreen with a pty as COM1, whose far end this test echoes.

#include "AppTestSupport.h"

#include "app/TcpBridge.h"
#include "comm/CommPort2.h"
#include "tests/common/ChildProcess.h"
#include "tests/net/NetTestSupport.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>

namespace {

using namespace apptest;

class Rfc2217Test : public AppFixture {};

TEST_F(Rfc2217Test, PyserialSetsTheLineMovesOneMegabyteAndTheSettingsComeBack)
{
    if (::access("/usr/bin/python3", X_OK) != 0)
        GTEST_SKIP() << "no /usr/bin/python3";
    CommandLineOptions options = Quiet();
    options.tcpMode = TcpMode::Rfc2217;
    StartConnected(options);
    CTcpBridge* bridge = Frame()->TcpBridge();
    bridge->SetBindAddress("127.0.0.1");
    int port = 0;
    for (int attempt = 0; attempt < 5 && !bridge->IsListening(); ++attempt) {
        bridge->SetServerPort(port = nettest::FreePort());
        Frame()->Action(32781)->trigger();
    }
    ASSERT_TRUE(bridge->IsListening());
    const PortSettings user = Frame()->m_pCommPort->Settings();

    testchild::ChildProcess client;
    testchild::ChildOptions childOptions;
    childOptions.passFds = {{m_pty.Master(), 3}};
    ASSERT_TRUE(client.Start({"/usr/bin/python3", KESTRANA_SOURCE_DIR "/tests/app/rfc2217_client.py",
                              std::to_string(port)}, childOptions));
    // The device echoes, while the frame runs.
    std::string pending, output;
    std::optional<int> status;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(150);
    char buffer[65536];
    while (!(status = client.WaitExit(std::chrono::milliseconds(0))) && std::chrono::steady_clock::now() < deadline) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        pollfd fd{m_pty.Master(), static_cast<short>(POLLIN | (pending.empty() ? 0 : POLLOUT)), 0};
        if (::poll(&fd, 1, 1) <= 0)
            continue;
        if ((fd.revents & POLLIN) && pending.size() < (1u << 20)) {
            const ssize_t n = ::read(m_pty.Master(), buffer, sizeof buffer);
            if (n > 0)
                pending.append(buffer, static_cast<std::size_t>(n));
        }
        if ((fd.revents & POLLOUT) && !pending.empty()) {
            const ssize_t n = ::write(m_pty.Master(), pending.data(), std::min<std::size_t>(pending.size(), 4096));
            if (n > 0)
                pending.erase(0, static_cast<std::size_t>(n));
        }
    }
    output = client.ReadToEnd(std::chrono::milliseconds(1000));
    ASSERT_TRUE(status) << "pyserial did not finish in time\n" << output;
    if (*status == 77)
        GTEST_SKIP() << output;
    EXPECT_EQ(*status, 0) << output;
    EXPECT_TRUE(EventBoxText().contains(QStringLiteral("connected (rfc2217)")));
    EXPECT_TRUE(EventBoxText().contains(QStringLiteral("TCP client set 115200 / N / 8 / 2")));

    // Gone: the user's own settings are back, on the tty too.
    ASSERT_TRUE(PumpUntil([&] { return !bridge->IsServing(); }));
    EXPECT_EQ(Frame()->m_pCommPort->Settings(), user);
    termios tty{};
    ASSERT_EQ(::tcgetattr(m_pty.Master(), &tty), 0);
    EXPECT_EQ(cfgetospeed(&tty), static_cast<speed_t>(B9600));
    EXPECT_EQ(tty.c_cflag & CSTOPB, 0u);
}

}  // namespace
