// The platform layer: events and the waits the engine's threads sleep in;
// messages posted from one thread to another, to a plain queue or to a
// window the Qt event loop of its owner's thread runs; failures named with
// their action, object and reason, and classified by what they mean; and
// reads and writes that survive signals.

#include "platform/ErrorKind.h"
#include "platform/Event.h"
#include "platform/MessageQueue.h"
#include "platform/PosixIo.h"
#include "platform/PostedPayload.h"
#include "platform/QtMessageWindow.h"
#include "platform/SystemError.h"
#include "platform/UniqueFd.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using platform::Event;
using platform::ResetMode;
using platform::WaitForEvents;
using platform::WaitResult;

namespace {

TEST(Event, ManualStaysSetAutoIsTakenByOneWaitAndASetWakesAWaiter)
{
    Event manual(ResetMode::Manual);
    ASSERT_TRUE(manual.Set());
    EXPECT_TRUE(manual.TryWait() && manual.Wait(0ms)) << "still set";
    ASSERT_TRUE(manual.Reset());
    EXPECT_FALSE(manual.TryWait());

    Event automatic(ResetMode::Auto);
    automatic.Set();
    automatic.Set();  // two signals before a wait still count once
    EXPECT_TRUE(automatic.Wait(0ms));
    EXPECT_FALSE(automatic.Wait(0ms));
    std::thread setter([&] { automatic.Set(); });
    EXPECT_TRUE(automatic.Wait(-1ms));
    setter.join();
}

TEST(Event, WaitForEventsTakesTheFirstEventThenADescriptorThenTheTimeout)
{
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    platform::UniqueFd a(pair[0]), b(pair[1]);
    Event first(ResetMode::Auto), second(ResetMode::Manual);
    auto wait = [&](std::chrono::milliseconds limit) {
        return WaitForEvents({&first, &second}, {a.get(), short{POLLIN}}, limit);
    };
    EXPECT_EQ(wait(20ms).kind, WaitResult::Timeout);
    ASSERT_EQ(::write(b.get(), "x", 1), 1);
    WaitResult r = wait(1000ms);
    EXPECT_TRUE(r.kind == WaitResult::FdReady && (r.revents & POLLIN));
    first.Set();
    second.Set();  // an event outranks a ready descriptor, the earlier event the later
    r = wait(100ms);
    EXPECT_TRUE(r.kind == WaitResult::EventSignalled && r.index == 0);
    EXPECT_EQ(wait(100ms).index, 1) << "the auto-reset one was taken by the first wait";
}

TEST(MessageQueue, DeliversInOrderAcrossThreads)
{
    platform::MessageQueue queue;
    std::thread poster([&] {
        for (int i = 0; i < 1000; ++i)
            queue.PostMessage(platform::WM_USER + 1, 0, i);
    });
    for (int i = 0; i < 1000; ++i) {
        auto m = queue.Take(2000ms);
        ASSERT_TRUE(m && m->message == platform::WM_USER + 1 && m->lParam == i) << i;
    }
    poster.join();
    EXPECT_FALSE(queue.Take(0ms));
}

TEST(QtMessageWindow, PostedMessagesRunOnOwnerThreadInOrder)
{
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    platform::QtMessageWindow window;
    std::vector<std::intptr_t> seen;
    std::thread::id handlerThread;
    window.SetHandler(platform::WM_USER + 2, [&](platform::WPARAM w, platform::LPARAM l) {
        EXPECT_EQ(w, 7u);
        seen.push_back(l);
        handlerThread = std::this_thread::get_id();
        return platform::LRESULT{1};
    });
    std::thread poster([&] {
        for (int i = 0; i < 500; ++i)
            window.PostMessage(platform::WM_USER + 2, 7, i);
        window.PostMessage(platform::WM_USER + 99, 0, 0);  // no handler: ignored
    });
    poster.join();
    QElapsedTimer timer;
    timer.start();
    while (seen.size() < 500 && timer.elapsed() < 5000)
        QCoreApplication::processEvents();
    ASSERT_EQ(seen.size(), 500u);
    for (int i = 0; i < 500; ++i)
        ASSERT_EQ(seen[static_cast<std::size_t>(i)], i);
    EXPECT_EQ(handlerThread, std::this_thread::get_id());
    EXPECT_EQ(window.SendMessage(platform::WM_USER + 2, 7, 42), 1);

    // A value the message owns reaches the handler, and goes with the
    // message when the window goes first: a shared count says when it is freed.
    auto alive = std::make_shared<int>(0);
    std::string got;
    window.SetHandler(platform::WM_USER + 3, [&](platform::WPARAM, platform::LPARAM l) {
        got = platform::OwnedParam<std::pair<std::string, std::shared_ptr<int>>>(l)->first;
        EXPECT_EQ(platform::OwnedParam<int>(l), nullptr) << "another type's view of it";
        return platform::LRESULT{0};
    });
    ASSERT_TRUE(platform::PostOwned(window, platform::WM_USER + 3, 0, std::pair{std::string("block"), alive}));
    EXPECT_EQ(alive.use_count(), 2);
    QCoreApplication::processEvents();
    EXPECT_EQ(got, "block");
    EXPECT_EQ(alive.use_count(), 1);
    {
        platform::QtMessageWindow gone;
        platform::PostOwned(gone, platform::WM_USER + 3, 0, std::pair{std::string("late"), alive});
        EXPECT_EQ(alive.use_count(), 2);
    }
    EXPECT_EQ(alive.use_count(), 1);
}

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
