#include "platform/Event.h"

#include <gtest/gtest.h>

#include <atomic>

#include <sys/socket.h>
#include <unistd.h>

#include <thread>

using namespace std::chrono_literals;
using platform::Event;
using platform::ResetMode;
using platform::WaitForEvents;
using platform::WaitResult;

TEST(Event, ManualResetStaysSignalledUntilReset)
{
    Event event(ResetMode::Manual);
    EXPECT_FALSE(event.TryWait());
    ASSERT_TRUE(event.Set());
    EXPECT_TRUE(event.TryWait());
    EXPECT_TRUE(event.Wait(0ms));  // still signalled
    ASSERT_TRUE(event.Reset());
    EXPECT_FALSE(event.TryWait());
    EXPECT_TRUE(event.Reset());  // resetting a clear event is harmless
}

TEST(Event, AutoResetIsTakenByOneWait)
{
    Event event(ResetMode::Auto);
    event.Set();
    event.Set();  // two signals before a wait still count once
    EXPECT_TRUE(event.Wait(0ms));
    EXPECT_FALSE(event.Wait(0ms));
}

TEST(Event, EarlierEventWinsWhenSeveralAreSignalled)
{
    Event first(ResetMode::Auto), second(ResetMode::Manual);
    first.Set();
    second.Set();
    WaitResult r = WaitForEvents({&first, &second}, {}, 100ms);
    EXPECT_EQ(r.kind, WaitResult::EventSignalled);
    EXPECT_EQ(r.index, 0);
    r = WaitForEvents({&first, &second}, {}, 100ms);
    EXPECT_EQ(r.index, 1);  // the auto-reset one was taken by the first wait
}

TEST(Event, WaitSeesDescriptorAndTimeout)
{
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    platform::UniqueFd a(pair[0]), b(pair[1]);
    Event exit(ResetMode::Manual);

    WaitResult r = WaitForEvents({&exit}, {a.get(), short{POLLIN}}, 20ms);
    EXPECT_EQ(r.kind, WaitResult::Timeout);

    ASSERT_EQ(::write(b.get(), "x", 1), 1);
    r = WaitForEvents({&exit}, {a.get(), short{POLLIN}}, 1000ms);
    EXPECT_EQ(r.kind, WaitResult::FdReady);
    EXPECT_TRUE(r.revents & POLLIN);

    exit.Set();  // an event outranks a ready descriptor
    r = WaitForEvents({&exit}, {a.get(), short{POLLIN}}, 1000ms);
    EXPECT_EQ(r.kind, WaitResult::EventSignalled);
}

TEST(Event, WakesAWaiterOnAnotherThread)
{
    Event event(ResetMode::Auto);
    std::atomic<bool> setterRan{false};
    std::thread setter([&] {
        std::this_thread::sleep_for(20ms);
        setterRan = true;
        event.Set();
    });
    // Nothing else signals the event: a wait that returns true waited for the setter.
    EXPECT_TRUE(event.Wait(-1ms));
    EXPECT_TRUE(setterRan.load());
    setter.join();
}
