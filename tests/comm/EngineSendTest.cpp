#include "CommTestSupport.h"

#include <gtest/gtest.h>

using namespace commtest;

namespace {

class EngineSend : public ::testing::Test {
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
};

}  // namespace

TEST_F(EngineSend, ZeroThen1024Then5000BytesInOrder)
{
    const auto a = Pattern(1024, 3);
    const auto b = Pattern(5000, 4);
    EXPECT_TRUE(port.SendBytes(nullptr, 0));
    EXPECT_TRUE(port.SendBytes(a.data(), a.size()));
    EXPECT_TRUE(port.SendBytes(b.data(), b.size()));
    std::vector<std::uint8_t> expected = a;
    expected.insert(expected.end(), b.begin(), b.end());
    EXPECT_EQ(pty.Read(expected.size()), expected);
    EXPECT_TRUE(pty.Read(1, 50ms).empty());  // nothing more
}

TEST_F(EngineSend, HundredCallsInARowOverwriteNothing)
{
    std::vector<std::uint8_t> expected;
    for (int i = 0; i < 100; ++i) {
        const auto block = Pattern(static_cast<std::size_t>(1 + (i * 37) % 1024), static_cast<std::uint32_t>(i));
        ASSERT_TRUE(port.SendBytes(block.data(), block.size()));
        expected.insert(expected.end(), block.begin(), block.end());
    }
    EXPECT_EQ(pty.Read(expected.size()), expected);
}

TEST_F(EngineSend, StalledLineTakesPartialWritesInOrder)
{
    // More than the pty holds, in pieces of odd sizes, with blocks of other
    // kinds between them: the writer has to stop on a full line and go on
    // mid-block without losing or repeating a byte.
    std::vector<std::uint8_t> expected;
    std::uint32_t seed = 7;
    while (expected.size() < 400000) {
        const auto block = Pattern(700 + (seed * 131) % 3000, seed);
        ASSERT_TRUE(port.SendBytes(block.data(), block.size()));
        expected.insert(expected.end(), block.begin(), block.end());
        if (seed % 5 == 0) {
            ASSERT_TRUE(port.QueueWriteRequest(SingleChar, 0, 'x', nullptr, nullptr));
            expected.push_back('x');
        }
        ++seed;
    }
    std::this_thread::sleep_for(100ms);  // let the line fill up before reading
    EXPECT_EQ(pty.Read(expected.size()), expected);
    EXPECT_TRUE(pty.Read(1, 50ms).empty());
}

TEST_F(EngineSend, OtherRequestKinds)
{
    EXPECT_TRUE(port.QueueWriteRequest(SingleChar, 0, 'Q', nullptr, nullptr));
    EXPECT_TRUE(port.QueueWriteRequest(FileStart, 3, 0, nullptr, nullptr));
    auto buffer = std::make_unique<std::uint8_t[]>(3);
    buffer[0] = 'a';
    buffer[1] = 'b';
    buffer[2] = 'c';
    platform::MessageQueue window;
    EXPECT_TRUE(port.QueueWriteRequest(FileBlock, 3, 0, std::move(buffer), &window));
    EXPECT_TRUE(port.QueueWriteRequest(FileEnd, 0, 0, nullptr, nullptr));
    const auto got = pty.Read(4);
    EXPECT_EQ(std::string(got.begin(), got.end()), "Qabc");
    EXPECT_TRUE(port.WaitTransferDone(5000ms));
    auto notice = window.Take(5000ms);
    ASSERT_TRUE(notice.has_value());
    EXPECT_EQ(notice->message, WM_FILEBLOCKDONE);
}

TEST(EngineSendClosed, RefusedWhileClosedAndSaysSo)
{
    DiagnosticCapture diagnostics;
    CCommPort2 port;
    const std::uint8_t bytes[3] = {1, 2, 3};
    EXPECT_FALSE(port.SendBytes(bytes, 3));
    EXPECT_FALSE(port.QueueWriteRequest(SingleChar, 0, 'x', nullptr, nullptr));
    const std::vector<std::string> expected = {"SendBytes: the port is closed, 3 bytes not sent",
                                               "QueueWriteRequest: the port is closed, request not queued"};
    EXPECT_EQ(diagnostics.texts(), expected);
}
