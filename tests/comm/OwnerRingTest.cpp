// The ring that lends buffers to the owner: order, a producer that stops at a
// buffer still lent, and a hand-back that wakes it.

#include "comm/OwnerRing.h"
#include "platform/MessageQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;

struct Slot {
    std::uint64_t value = 0;
};

using Ring = OwnerRing<Slot, 4>;

}  // namespace

TEST(OwnerRing, LendsInOrderStopsAtABufferStillLentAndNeverSleepsThroughARelease)
{
    Ring ring;
    Ring other;
    platform::Event wake(platform::ResetMode::Auto);
    for (std::size_t i = 0; i < Ring::kSize; ++i)
        EXPECT_EQ(ring.Lend(), &ring.Buffers()[i]);
    EXPECT_FALSE(ring.Release(&other.Buffers()[0], wake));
    EXPECT_FALSE(ring.Release(nullptr, wake));
    EXPECT_FALSE(ring.CurrentFree());
    EXPECT_FALSE(ring.PrepareToWait());
    // Buffer 1 back first: the next to fill is still buffer 0.
    ASSERT_TRUE(ring.Release(&ring.Buffers()[1], wake));
    EXPECT_TRUE(wake.TryWait()) << "woken to look again";
    EXPECT_FALSE(ring.CurrentFree());
    EXPECT_FALSE(ring.PrepareToWait());
    // Buffer 0 back before the producer got to wait: it must not sleep.
    ASSERT_TRUE(ring.Release(&ring.Buffers()[0], wake));
    EXPECT_TRUE(ring.PrepareToWait());
    EXPECT_EQ(ring.Lend(), &ring.Buffers()[0]);
    EXPECT_EQ(ring.Lend(), &ring.Buffers()[1]);
    EXPECT_FALSE(ring.CurrentFree()) << "buffer 2 is still lent";
}

// A producer thread fills buffers with a running number and lends them to a
// consumer thread through a queue; the consumer checks each and hands it
// back. The consumer starts only once the producer has had to wait, so the
// wake-up path is always taken; every value arrives once, in order, intact.
TEST(OwnerRing, ProducerWaitsForTheOwnerAndIsWokenByItsRelease)
{
    constexpr std::uint64_t kCount = 20000;
    Ring ring;
    platform::Event wake(platform::ResetMode::Auto);
    platform::MessageQueue lent;
    std::atomic<int> waits{0};
    std::atomic<bool> timedOut{false};

    std::thread producer([&] {
        for (std::uint64_t n = 1; n <= kCount; ++n) {
            while (!ring.CurrentFree()) {
                if (ring.PrepareToWait())
                    break;
                ++waits;
                if (!wake.Wait(10000ms)) {
                    timedOut = true;
                    return;
                }
            }
            Slot* slot = ring.Current();
            slot->value = n;
            ring.Lend();
            lent.PostMessage(1, 0, reinterpret_cast<platform::LPARAM>(slot));
        }
    });

    while (waits.load() == 0 && !timedOut)
        std::this_thread::yield();
    std::uint64_t expected = 1;
    bool intact = true;
    while (expected <= kCount && !timedOut) {
        auto message = lent.Take(10000ms);
        if (!message)
            break;
        auto* slot = reinterpret_cast<Slot*>(message->lParam);
        intact = intact && slot->value == expected;
        ++expected;
        ring.Release(slot, wake);
    }
    producer.join();
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(expected, kCount + 1);
    EXPECT_TRUE(intact);
    EXPECT_GE(waits.load(), 1);
}
