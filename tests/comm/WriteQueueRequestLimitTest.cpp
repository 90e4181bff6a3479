// The write queue counts requests as well as bytes: many small sends on a
// stalled line (a periodic poll) stop at the request limit instead of
// holding a block each without end.

#include "comm/WriteQueue.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

bool AppendBytes(WriteQueue& queue, const std::uint8_t* data, std::size_t size, platform::Event& wake)
{
    std::vector<WriteQueue::Item> items;
    for (std::size_t done = 0; done < size || items.empty(); done += kSendBlockSize) {
        const std::size_t chunk = std::min(kSendBlockSize, size - done);
        items.push_back({Block, static_cast<std::uint32_t>(chunk), 0, data + done, nullptr, nullptr});
    }
    return queue.Append(items, wake);
}

TEST(WriteQueueRequestLimit, SmallRequestsStopAtTheLimitAndResumeWhenOneIsWritten)
{
    WriteQueue queue;
    queue.Open();
    platform::Event wake{platform::ResetMode::Auto};
    const std::uint8_t byte = 0x5A;
    for (std::size_t i = 0; i < WriteQueue::kMaxQueuedRequests; ++i)
        ASSERT_TRUE(AppendBytes(queue, &byte, 1, wake)) << i;
    EXPECT_FALSE(AppendBytes(queue, &byte, 1, wake));
    EXPECT_EQ(queue.Size(), WriteQueue::kMaxQueuedRequests);
    queue.PopFront();
    EXPECT_TRUE(AppendBytes(queue, &byte, 1, wake));
    // A send of several requests goes in whole or not at all.
    queue.PopFront(2);
    const std::vector<std::uint8_t> twoBlocks(kSendBlockSize + 1, 0x33);
    EXPECT_TRUE(AppendBytes(queue, twoBlocks.data(), twoBlocks.size(), wake));
    EXPECT_FALSE(AppendBytes(queue, twoBlocks.data(), twoBlocks.size(), wake));
    EXPECT_EQ(queue.Size(), WriteQueue::kMaxQueuedRequests);
}

}  // namespace
