// Bytes through the engine both ways on a pty: nothing lost, repeated or
// reordered, however the blocks fall and however slowly either end takes them.

#include "CommTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace commtest;

namespace {

bool Send(CCommPort2& port, const std::string& bytes)
{
    return port.SendBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

class EngineTransfer : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        ASSERT_TRUE(port.OpenPort());
    }
};

TEST_F(EngineTransfer, WhatTheDeviceSendsInOneGoArrivesInPacketsOfAtMost512)
{
    for (const std::size_t size : {1, 300, 2000}) {
        owner.bytes.clear();
        owner.packetLengths.clear();
        const std::string data = Pattern(size, static_cast<std::uint32_t>(size));
        ASSERT_TRUE(pty.WriteMaster(data));
        ASSERT_TRUE(owner.WaitBytes(data.size())) << size;
        EXPECT_EQ(owner.bytes, data) << size;
        EXPECT_TRUE(size > 512 || owner.packetLengths.size() == 1) << size;
        for (std::uint32_t length : owner.packetLengths)
            EXPECT_TRUE(length >= 1 && length <= 512) << length;
    }
    EXPECT_TRUE(owner.zerosAfterData) << "a packet's unused rest is zero";
}

TEST_F(EngineTransfer, ASlowOwnerLosesNothing)
{
    // The owner keeps every packet: the engine must stop at 15 and leave the
    // rest in the kernel until packets come back.
    owner.holdPackets = true;
    const std::string data = Pattern(40000, 2);
    std::atomic<bool> written{false};
    std::thread writer([&] { written = pty.WriteMaster(data); });
    owner.PumpUntil([&] { return owner.held.size() >= 15; });
    owner.PumpFor(200ms);
    EXPECT_EQ(owner.held.size(), 15u) << "nothing more until a packet is back";
    owner.holdPackets = false;
    for (ReceivePacket* packet : owner.held)
        port.ReleasePacket(packet);
    EXPECT_TRUE(owner.WaitBytes(data.size(), 20000ms));
    writer.join();
    EXPECT_TRUE(written);
    EXPECT_EQ(owner.bytes, data);
}

TEST_F(EngineTransfer, AStalledLineTakesPartialWritesInOrder)
{
    // More than the pty holds, in pieces of odd sizes, with requests of
    // other kinds between them: the writer has to stop on a full line and go
    // on mid-block without losing or repeating a byte.
    std::string expected;
    EXPECT_TRUE(port.SendBytes(nullptr, 0));
    for (std::uint32_t seed = 7; expected.size() < 400000; ++seed) {
        const std::string block = Pattern(700 + (seed * 131) % 3000, seed);
        ASSERT_TRUE(Send(port, block));
        expected += block;
        if (seed % 5 == 0) {
            ASSERT_TRUE(port.QueueWriteRequest(SingleChar, 0, 'x', nullptr, nullptr));
            expected += 'x';
        }
    }
    std::this_thread::sleep_for(100ms);  // let the line fill up before reading
    EXPECT_EQ(pty.ReadCount(expected.size()), expected);
    EXPECT_EQ(pty.ReadCount(1, 50), "") << "nothing more";
}

TEST_F(EngineTransfer, FileBlocksGoOutInOrderAndAreAnswered)
{
    EXPECT_TRUE(port.QueueWriteRequest(SingleChar, 0, 'Q', nullptr, nullptr));
    EXPECT_TRUE(port.QueueWriteRequest(FileStart, 3, 0, nullptr, nullptr));
    auto buffer = std::make_unique<std::uint8_t[]>(3);
    std::copy_n("abc", 3, buffer.get());
    platform::MessageQueue window;
    EXPECT_TRUE(port.QueueWriteRequest(FileBlock, 3, 0, std::move(buffer), &window));
    EXPECT_TRUE(port.QueueWriteRequest(FileEnd, 0, 0, nullptr, nullptr));
    EXPECT_EQ(pty.ReadCount(4), "Qabc");
    EXPECT_TRUE(port.WaitTransferDone(5000ms));
    auto notice = window.Take(5000ms);
    ASSERT_TRUE(notice.has_value());
    EXPECT_EQ(notice->message, WM_FILEBLOCKDONE);
}

TEST(EngineClosed, SendingIsRefusedAndSaysSo)
{
    DiagnosticCapture diagnostics;
    CCommPort2 port;
    const std::uint8_t bytes[3] = {1, 2, 3};
    EXPECT_FALSE(port.SendBytes(bytes, 3));
    EXPECT_EQ(diagnostics.texts(), std::vector<std::string>{"SendBytes: the port is closed, 3 bytes not sent"});
}

}  // namespace
