// The two hand-overs between the engine's threads. The write-request queue
// between the callers of SendBytes and the writer: order, copies that later
// calls cannot touch, the byte and request limits, and a producer that waits
// for room while the writer drains. The ring that lends buffers to the owner:
// order, a producer that stops at a buffer still lent, and a hand-back that
// wakes it.

#include "comm/OwnerRing.h"
#include "comm/WriteQueue.h"
#include "platform/MessageQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

WriteQueue::Item BlockItem(const std::uint8_t* data, std::size_t size)
{
    return {Block, static_cast<std::uint32_t>(size), 0, data, nullptr, nullptr};
}

WriteQueue::Item CharItem(std::uint8_t c) { return {SingleChar, 0, c, nullptr, nullptr, nullptr}; }

struct Slot {
    std::uint64_t value = 0;
};

using Ring = OwnerRing<Slot, 4>;

class WriteQueueTest : public ::testing::Test {
protected:
    void SetUp() override { queue.Open(); }
    bool Append(WriteQueue::Item item)
    {
        std::vector<WriteQueue::Item> items;
        items.push_back(std::move(item));
        return queue.Append(items, wake);
    }
    // Takes every request off the queue: what the writer would send.
    std::string Drain()
    {
        std::string out;
        for (WriteRequest* request; (request = queue.Front()) != nullptr; queue.PopFront())
            out += request->kind == SingleChar
                       ? std::string(1, static_cast<char>(request->character))
                       : std::string(reinterpret_cast<const char*>(request->Bytes()), request->size);
        return out;
    }

    WriteQueue queue;
    platform::Event wake{platform::ResetMode::Auto};
};

TEST_F(WriteQueueTest, FirstInFirstOutAcrossKindsWithOwnCopiesAndAWakeWhenItWasEmpty)
{
    std::uint8_t bytes[3] = {'a', 'b', 'c'};
    ASSERT_TRUE(Append(BlockItem(bytes, 3)));
    EXPECT_TRUE(wake.TryWait());
    bytes[0] = 'X';  // the caller's buffer is free again at once
    ASSERT_TRUE(Append(CharItem('d')));
    EXPECT_FALSE(wake.TryWait()) << "the writer drains everything before it sleeps";
    auto file = std::make_unique<std::uint8_t[]>(2);
    std::copy_n("ef", 2, file.get());
    std::vector<WriteQueue::Item> items;
    items.push_back({FileBlock, 2, 0, nullptr, std::move(file), nullptr});
    items.push_back(BlockItem(bytes, 1));
    ASSERT_TRUE(queue.Append(items, wake));
    EXPECT_EQ(queue.Size(), 4u);
    EXPECT_EQ(Drain(), "abcdefX");
    ASSERT_TRUE(Append(CharItem('g')));
    EXPECT_TRUE(wake.TryWait());
}

// Full by bytes, a call's blocks go all or none until there is room; many
// small sends on a stalled line (a periodic poll) stop at the request limit
// instead of holding a block each without end.
TEST_F(WriteQueueTest, TheByteAndRequestLimitsRefuseAllOrNoneUntilThereIsRoom)
{
    std::vector<std::uint8_t> block(kSendBlockSize, 0x55);
    for (std::size_t i = 0; i < WriteQueue::kMaxQueuedBytes / kSendBlockSize; ++i)
        ASSERT_TRUE(Append(BlockItem(block.data(), block.size()))) << i;
    EXPECT_FALSE(Append(BlockItem(block.data(), 1)));
    EXPECT_TRUE(Append(CharItem('c'))) << "no bytes of its own to hold";
    queue.PopFront();
    // Two blocks do not fit in the room of one: neither is queued.
    std::vector<WriteQueue::Item> two;
    two.push_back(BlockItem(block.data(), block.size()));
    two.push_back(BlockItem(block.data(), block.size()));
    const std::size_t before = queue.Size();
    EXPECT_FALSE(queue.Append(two, wake));
    EXPECT_EQ(queue.Size(), before);
    EXPECT_TRUE(Append(BlockItem(block.data(), block.size())));

    Drain();
    const std::uint8_t byte = 0x5A;
    for (std::size_t i = 0; i < WriteQueue::kMaxQueuedRequests; ++i)
        ASSERT_TRUE(Append(BlockItem(&byte, 1))) << i;
    EXPECT_FALSE(Append(BlockItem(&byte, 1)));
    EXPECT_FALSE(Append(CharItem('c')));
    queue.PopFront();
    EXPECT_TRUE(Append(BlockItem(&byte, 1)));
    EXPECT_EQ(queue.Size(), WriteQueue::kMaxQueuedRequests);
}

// The room watch fires once, when the writer brings the queue down to its
// mark or the queue is closed or refused; never while there is room already.
TEST_F(WriteQueueTest, TheRoomWatchFiresOnceAtItsMarkOrWhenTheQueueEnds)
{
    const std::uint8_t byte = 1;
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(Append(BlockItem(&byte, 1)));
    EXPECT_FALSE(queue.WatchRoom(5)) << "room already: nothing to wait for";
    EXPECT_FALSE(queue.PopFront()) << "nothing armed";
    ASSERT_TRUE(queue.WatchRoom(2));
    EXPECT_FALSE(queue.PopFront());
    EXPECT_TRUE(queue.PopFront(2)) << "down to its mark";
    EXPECT_FALSE(queue.PopFront()) << "once only";
    for (bool (WriteQueue::*end)() : {&WriteQueue::Close, &WriteQueue::Refuse}) {
        queue.Open();
        ASSERT_TRUE(Append(BlockItem(&byte, 1)));
        ASSERT_TRUE(Append(BlockItem(&byte, 1)));
        ASSERT_TRUE(queue.WatchRoom(0));
        EXPECT_TRUE((queue.*end)());
        EXPECT_FALSE(queue.WatchRoom(0)) << "a closed queue takes nothing: no wait";
        queue.Close();
    }
}

// A producer fills the queue until it is refused and then waits for room,
// retrying; only then does the writer thread start draining, as the engine's
// writer does: sleep on the wake event, then empty the queue. Every block
// arrives once, in order, with its own bytes.
TEST_F(WriteQueueTest, ProducerWaitsForRoomWhileTheWriterDrains)
{
    constexpr std::size_t kBlocks = 3000;  // about three times what the queue holds
    constexpr std::size_t kSize = 1000;
    std::atomic<bool> refused{false};
    std::atomic<bool> producerDone{false};
    std::size_t refusals = 0;

    std::thread producer([&] {
        std::vector<std::uint8_t> block(kSize);
        for (std::size_t n = 0; n < kBlocks; ++n) {
            for (std::size_t i = 0; i < kSize; ++i)
                block[i] = static_cast<std::uint8_t>(n * 7 + i);
            std::vector<WriteQueue::Item> items;
            items.push_back(BlockItem(block.data(), kSize));
            while (!queue.Append(items, wake)) {
                ++refusals;
                refused = true;
                std::this_thread::sleep_for(100us);
            }
        }
        producerDone = true;
    });

    while (!refused)
        std::this_thread::yield();
    std::size_t next = 0;
    bool intact = true;
    std::thread writer([&] {
        while (next < kBlocks) {
            if (!wake.Wait(10000ms) && queue.Size() == 0)
                return;  // nothing came: the test fails below
            while (WriteRequest* request = queue.Front()) {
                for (std::size_t i = 0; i < request->size && intact; ++i)
                    intact = request->block[i] == static_cast<std::uint8_t>(next * 7 + i);
                intact = intact && request->size == kSize;
                ++next;
                queue.PopFront();
            }
        }
    });
    producer.join();
    writer.join();
    EXPECT_TRUE(producerDone);
    EXPECT_GT(refusals, 0u);
    EXPECT_EQ(next, kBlocks);
    EXPECT_TRUE(intact);
    EXPECT_EQ(queue.Size(), 0u);
}

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

}  // namespace
