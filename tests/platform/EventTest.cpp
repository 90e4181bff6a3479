// Events and the waits the engine's threads sleep in.

#include "platform/Event.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <thread>

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
