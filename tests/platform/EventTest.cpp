// Events and the waits the engine's threads sleep in.

#include "platform/Event.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

using namespace std::chrono_literals;
using platform::Event;
using platform::ResetMode;
using platform::WaitForEvents;
using platform::WaitResult;

TEST(Event, ManualStaysSetUntilResetAndAutoIsTakenByOneWait)
{
    Event manual(ResetMode::Manual);
    ASSERT_TRUE(manual.Set());
    EXPECT_TRUE(manual.TryWait());
    EXPECT_TRUE(manual.Wait(0ms)) << "still set";
    ASSERT_TRUE(manual.Reset());
    EXPECT_FALSE(manual.TryWait());

    Event automatic(ResetMode::Auto);
    automatic.Set();
    automatic.Set();  // two signals before a wait still count once
    EXPECT_TRUE(automatic.Wait(0ms));
    EXPECT_FALSE(automatic.Wait(0ms));

    // A set from another thread wakes a waiter without a time-out.
    std::atomic<bool> setterRan{false};
    std::thread setter([&] {
        std::this_thread::sleep_for(20ms);
        setterRan = true;
        automatic.Set();
    });
    EXPECT_TRUE(automatic.Wait(-1ms));
    EXPECT_TRUE(setterRan.load());
    setter.join();
}

TEST(Event, WaitForEventsTakesTheFirstEventThenADescriptorThenTheTimeout)
{
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    platform::UniqueFd a(pair[0]), b(pair[1]);
    Event first(ResetMode::Auto), second(ResetMode::Manual);

    EXPECT_EQ(WaitForEvents({&first, &second}, {a.get(), short{POLLIN}}, 20ms).kind, WaitResult::Timeout);
    ASSERT_EQ(::write(b.get(), "x", 1), 1);
    WaitResult r = WaitForEvents({&first, &second}, {a.get(), short{POLLIN}}, 1000ms);
    EXPECT_EQ(r.kind, WaitResult::FdReady);
    EXPECT_TRUE(r.revents & POLLIN);

    first.Set();
    second.Set();  // an event outranks a ready descriptor, the earlier event the later
    r = WaitForEvents({&first, &second}, {a.get(), short{POLLIN}}, 100ms);
    EXPECT_EQ(r.kind, WaitResult::EventSignalled);
    EXPECT_EQ(r.index, 0);
    r = WaitForEvents({&first, &second}, {a.get(), short{POLLIN}}, 100ms);
    EXPECT_EQ(r.index, 1) << "the auto-reset one was taken by the first wait";
}
