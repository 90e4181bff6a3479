#include "platform/PosixIo.h"
#include "platform/SystemError.h"
#include "platform/UniqueFd.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <thread>

namespace {

struct DescribeCase {
    const char* action;
    const char* object;
    int error;
    const char* expected;
};

TEST(SystemErrorTest, NamesTheActionTheObjectAndTheReason)
{
    const DescribeCase cases[] = {
        {"Cannot open", "/dev/ttyUSB0", EACCES,
         "Cannot open /dev/ttyUSB0: Permission denied (add yourself to the dialout group)"},
        {"Cannot open", "/dev/nonexist", ENOENT, "Cannot open /dev/nonexist: No such file or directory"},
        {"Cannot lock", "/dev/ttyS1", EWOULDBLOCK,
         "Cannot lock /dev/ttyS1: Resource temporarily unavailable (another program is using it)"},
        {"Cannot write", "/home/u/.config/kestrana", ENOSPC,
         "Cannot write /home/u/.config/kestrana: No space left on device (the disk is full)"},
        {"Cannot write", "/etc/x", EACCES, "Cannot write /etc/x: Permission denied"},  // no group hint for a file
        {"Cannot start the writer thread", "", EAGAIN,
         "Cannot start the writer thread: Resource temporarily unavailable"},
    };
    for (const DescribeCase& c : cases)
        EXPECT_EQ(platform::DescribeFailure(c.action, c.object, c.error), c.expected) << c.expected;
    errno = ENOTDIR;
    EXPECT_EQ(platform::DescribeLastFailure("Cannot open", "/a/b"), "Cannot open /a/b: Not a directory");
}

void IgnoreSignal(int) {}

// A signal that lands in the middle of a blocking read or a large write must
// not surface as EINTR or as a short result.
TEST(PosixIoTest, ReadAndWriteAllSurviveSignals)
{
    struct sigaction action {};
    action.sa_handler = IgnoreSignal;  // no SA_RESTART: the calls do see EINTR
    struct sigaction previous {};
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
        for (;;) {
            const ssize_t n = platform::ReadRetry(readEnd.get(), buffer, sizeof buffer);
            if (n <= 0)
                break;
            received.append(buffer, static_cast<std::size_t>(n));
            ::usleep(50);  // keep the writer blocked so the timer interrupts it
        }
    });
    const bool written = platform::WriteAll(writeEnd.get(), payload);
    writeEnd.reset();
    reader.join();

    itimerval off{};
    ::setitimer(ITIMER_REAL, &off, nullptr);
    ::sigaction(SIGALRM, &previous, nullptr);

    EXPECT_TRUE(written);
    EXPECT_EQ(received.size(), payload.size());
    EXPECT_EQ(received, payload);
}

TEST(PosixIoTest, WriteAllReportsAFailureWithItsErrno)
{
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    platform::UniqueFd readEnd(fds[0]), writeEnd(fds[1]);
    readEnd.reset();
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction previous {};
    ::sigaction(SIGPIPE, &ignore, &previous);
    errno = 0;
    EXPECT_FALSE(platform::WriteAll(writeEnd.get(), std::string_view("x")));
    EXPECT_EQ(errno, EPIPE);
    ::sigaction(SIGPIPE, &previous, nullptr);
}

}  // namespace
