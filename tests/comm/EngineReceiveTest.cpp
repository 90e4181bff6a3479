#include "CommTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace commtest;

namespace {

class EngineReceive : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.ok());
        MapSlotToPty(port, pty);
        ASSERT_TRUE(port.OpenPort());
    }
    void TearDown() override { port.ClosePort(); }

    PtyPair pty;
    CCommPort2 port;
    TestOwner owner{port};
};

}  // namespace

TEST_F(EngineReceive, SingleByteIsOnePacketFollowedByZeros)
{
    ASSERT_TRUE(pty.Write("A"));
    ASSERT_TRUE(owner.WaitBytes(1));
    ASSERT_EQ(owner.packetLengths.size(), 1u);
    EXPECT_EQ(owner.packetLengths[0], 1u);
    EXPECT_EQ(owner.bytes[0], 'A');
    EXPECT_TRUE(owner.zerosAfterData);
}

TEST_F(EngineReceive, ReplySentInOneGoArrivesAsOneBlock)
{
    const auto reply = Pattern(300);
    ASSERT_TRUE(pty.Write(reply.data(), reply.size()));
    ASSERT_TRUE(owner.WaitBytes(reply.size()));
    EXPECT_EQ(owner.packetLengths.size(), 1u);
    EXPECT_EQ(owner.bytes, reply);
}

TEST_F(EngineReceive, BurstOf2000BytesArrivesInOrderInPacketsOfAtMost512)
{
    const auto burst = Pattern(2000, 1);
    ASSERT_TRUE(pty.Write(burst.data(), burst.size()));
    ASSERT_TRUE(owner.WaitBytes(burst.size()));
    EXPECT_EQ(owner.bytes, burst);
    EXPECT_GE(owner.packetLengths.size(), 4u);
    for (std::uint32_t length : owner.packetLengths) {
        EXPECT_GE(length, 1u);
        EXPECT_LE(length, 512u);
    }
    EXPECT_TRUE(owner.zerosAfterData);
}

TEST_F(EngineReceive, SlowOwnerLosesNothing)
{
    // The owner keeps every packet: the engine must stop at 15 and leave the
    // rest in the kernel until packets come back.
    owner.holdPackets = true;
    const auto data = Pattern(40000, 2);
    std::atomic<bool> written{false};
    std::thread writer([&] { written = pty.Write(data.data(), data.size(), 20000ms); });
    owner.PumpUntil([&] { return owner.held.size() >= 15; });
    owner.PumpFor(200ms);
    EXPECT_EQ(owner.held.size(), 15u);  // nothing more until a packet is back
    owner.holdPackets = false;
    owner.ReleaseHeld();
    EXPECT_TRUE(owner.WaitBytes(data.size(), 20000ms));
    writer.join();
    EXPECT_TRUE(written);
    EXPECT_EQ(owner.bytes, data);
}

TEST(EngineNoOwner, BytesGoThroughTheRingWithoutPosts)
{
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    CCommPort2 port;
    MapSlotToPty(port, pty);
    ASSERT_TRUE(port.OpenPort());
    // More than the ring holds: with nobody to post to, the ring turns by itself.
    for (int i = 0; i < 20; ++i) {
        const auto chunk = Pattern(100, static_cast<std::uint32_t>(i));
        ASSERT_TRUE(pty.Write(chunk.data(), chunk.size()));
        std::this_thread::sleep_for(3ms);
    }
    std::this_thread::sleep_for(100ms);
    TestOwner owner(port);
    EXPECT_TRUE(owner.queue().Pending() == 0);
    ASSERT_TRUE(pty.Write("Z"));
    ASSERT_TRUE(owner.WaitBytes(1));
    EXPECT_EQ(owner.bytes.back(), 'Z');
    EXPECT_TRUE(port.ClosePort());
}
