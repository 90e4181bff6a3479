// The ring that lends buffers to the owner: order, a producer that stops at a
// buffer still lent, and a hand-back that wakes it (the threads themselves:
// EngineTransferTest's slow owner).

#include "comm/OwnerRing.h"
#include "platform/Event.h"

#include <gtest/gtest.h>


namespace {

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
