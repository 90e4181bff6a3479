#include "platform/ErrorKind.h"
#include "platform/PosixIo.h"
#include "platform/SystemError.h"
#include "platform/UniqueFd.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <thread>

namespace {

TEST(SystemErrorTest, NamesTheActionTheObjectAndTheReason)
{
    const struct {
        const char *action, *object;
        int error;
        const char* expected;
    } cases[] = {
        {"Cannot open", "/dev/ttyUSB0", EACCES,
         "Cannot open /dev/ttyUSB0: Permission denied (add yourself to the dialout group)"},
        {"Cannot lock", "/dev/ttyS1", EWOULDBLOCK,
         "Cannot lock /dev/ttyS1: Resource temporarily unavailable (another program is using it)"},
        {"Cannot write", "/home/u/.config/kestrana", ENOSPC,
         "Cannot write /home/u/.config/kestrana: No space left on device (the disk is full)"},
        {"Cannot write", "/etc/x", EACCES, "Cannot write /etc/x: Permission denied"},  // no group hint for a file
        {"Cannot start the writer thread", "", EAGAIN, "Cannot start the writer thread: Resource temporarily unavailable"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::DescribeFailure(c.action, c.object, c.error), c.expected);
    errno = ENOTDIR;
    EXPECT_EQ(platform::DescribeLastFailure("Cannot open", "/a/b"), "Cannot open /a/b: Not a directory");
}

// What real objects answer is classified as the engine and the sockets need
// it: a tty whose other side has gone and a connection its peer broke are
// gone, an empty non-blocking pipe would block, a pty refuses modem lines.
TEST(SystemErrorTest, RealFailuresAreClassifiedByWhatTheyMean)
{
    using platform::ErrorKind;
    int master = -1, slave = -1;
    ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    platform::UniqueFd ptyMaster(master), ptySlave(slave);
    int sockets[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, sockets), 0);
    platform::UniqueFd near(sockets[0]), far(sockets[1]);
    int pipes[2];
    ASSERT_EQ(::pipe2(pipes, O_NONBLOCK), 0);
    platform::UniqueFd pipeRead(pipes[0]), pipeWrite(pipes[1]);

    char byte = 0;
    int lines = 0;
    const auto errorOf = [](bool failed) { return failed ? errno : 0; };
    const struct {
        const char* what;
        int error;
        ErrorKind kind;
    } cases[] = {
        {"modem lines of a pty", errorOf(::ioctl(ptySlave.get(), TIOCMGET, &lines) != 0), ErrorKind::Refused},
        {"an empty non-blocking pipe", errorOf(::read(pipeRead.get(), &byte, 1) < 0), ErrorKind::WouldBlock},
        {"writing to a tty whose far end closed", (ptyMaster.reset(), errorOf(::write(ptySlave.get(), "x", 1) < 0)), ErrorKind::Gone},
        {"a connection whose peer left", (far.reset(), errorOf(::send(near.get(), "x", 1, MSG_NOSIGNAL) < 0)), ErrorKind::Gone},
        {"interrupted", EINTR, ErrorKind::Interrupted},
        {"a full disk", ENOSPC, ErrorKind::Other},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::ClassifyError(c.error), c.kind) << c.what << ": " << platform::ErrorText(c.error);
}

// A signal that lands in the middle of a blocking read or a large write must
// not surface as EINTR or as a short result.
TEST(PosixIoTest, ReadAndWriteAllSurviveSignals)
{
    struct sigaction action {}, previous{};
    action.sa_handler = [](int) {};  // no SA_RESTART: the calls do see EINTR
    ASSERT_EQ(::sigaction(SIGALRM, &action, &previous), 0);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    platform::UniqueFd readEnd(fds[0]), writeEnd(fds[1]);
    itimerval timer{{0, 2000}, {0, 2000}};  // every 2 ms while the test runs
    ASSERT_EQ(::setitimer(ITIMER_REAL, &timer, nullptr), 0);

    const std::string payload(4 << 20, 'k');  // far more than a pipe holds
    std::string received;
    std::thread reader([&] {
        char buffer[8192];
        for (ssize_t n; (n = platform::ReadRetry(readEnd.get(), buffer, sizeof buffer)) > 0;) {
            received.append(buffer, static_cast<std::size_t>(n));
            ::usleep(50);  // keep the writer blocked so the timer interrupts it
        }
    });
    EXPECT_TRUE(platform::WriteAll(writeEnd.get(), payload));
    writeEnd.reset();
    reader.join();
    itimerval off{};
    ::setitimer(ITIMER_REAL, &off, nullptr);
    ::sigaction(SIGALRM, &previous, nullptr);
    EXPECT_TRUE(received == payload) << received.size() << " of " << payload.size() << " bytes";
}

}  // namespace
