// Events and the waits the engine's threads sleep in, and messages posted
// from one thread to another: to a plain queue, or to a window the Qt event
// loop of its owner's thread runs.

#include "platform/Event.h"
#include "platform/MessageQueue.h"
#include "platform/PostedPayload.h"
#include "platform/QtMessageWindow.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using platform::Event;
using platform::ResetMode;
using platform::WaitForEvents;
using platform::WaitResult;

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
