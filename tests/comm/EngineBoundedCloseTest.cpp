// Closing never waits past its time-out: a thread held in a call that does
// not return is reported by name, the port is closed regardless, and nothing
// the late thread may still touch is freed or reused under it.

#include "CommTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

using namespace commtest;

namespace {

// For the close that is to give up on a held thread: long enough that the
// thread which is free to end does so even on a busy machine.
constexpr auto kHeldCloseTimeout = 2000ms;

// A window whose PostMessage does not return until released: the writer
// thread posts to it after a file block, so it holds the writer there.
class HoldingWindow final : public platform::MessageTarget {
public:
    bool PostMessage(unsigned, platform::WPARAM, platform::LPARAM) override
    {
        held.Set();
        return released.Wait(-1ms);
    }
    platform::Event held{platform::ResetMode::Manual};
    platform::Event released{platform::ResetMode::Manual};
};

class EngineBoundedClose : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        UseFakeUart();
        Open();
    }
    void TearDown() override
    {
        window.released.Set();
        EngineTest::TearDown();
    }

    // The close that gives up on `thread`, which is named, then the close's
    // own failure; the other thread ended in time.
    void CloseGivesUpOn(const std::string& thread, const std::string& other)
    {
        port.SetCloseTimeout(kHeldCloseTimeout);
        EXPECT_TRUE(port.ClosePort());
        EXPECT_FALSE(port.IsOpen());
        const std::vector<std::string> all = diagnostics.texts();
        const auto at = std::find(all.begin(), all.end(), thread + " didn't exit.\n\r");
        ASSERT_TRUE(at != all.end() && at + 1 != all.end()) << thread;
        EXPECT_EQ(at[1], "Error closing port.\n");
        EXPECT_FALSE(diagnostics.Has(other + " didn't exit.\n\r"));
        EXPECT_TRUE(DeviceIsFree(pty.SlavePath())) << "the device was let go";
    }

    // The engine opens again once the late thread has ended (bounded wait).
    bool ReopensAfterTheLateThread()
    {
        for (int i = 0; i < 1000 && !port.OpenPort(); ++i)
            std::this_thread::sleep_for(10ms);
        return port.IsOpen();
    }

    HoldingWindow window;
};

TEST_F(EngineBoundedClose, ReaderHeldInADriverCall)
{
    Uart([](FakeUartState& s) { s.holdModemReads = true; });  // the reader samples the lines every few ms
    ASSERT_TRUE(uart->WaitHeld(1));
    CloseGivesUpOn("Reader/Status Thread", "Writer Thread");
    Uart([](FakeUartState& s) { EXPECT_TRUE(s.loweredByEngine & kLineDtr) << "the rest of the close ran"; });

    // While that thread lives, its rings are not handed to new threads.
    EXPECT_FALSE(port.OpenPort());
    EXPECT_EQ(port.LastOpenError(),
              "Cannot open " + pty.SlavePath() + ": the reader/status thread of the last connection has not ended");
    const std::uint8_t byte = 1;
    EXPECT_FALSE(port.SendBytes(&byte, 1));

    uart->ReleaseHolds();
    ASSERT_TRUE(ReopensAfterTheLateThread());
    owner.bytes.clear();
    ASSERT_TRUE(pty.WriteMaster("again") && owner.WaitBytes(5));
    EXPECT_EQ(owner.bytes, "again");
    EXPECT_TRUE(port.ClosePort());
    EXPECT_FALSE(diagnostics.Has("Waiting for the reader/status thread to end"));
}

TEST_F(EngineBoundedClose, WriterHeldWhileItHoldsAQueuedRequest)
{
    auto block = std::make_unique<std::uint8_t[]>(3);
    std::copy_n("abc", 3, block.get());
    ASSERT_TRUE(port.QueueWriteRequest(FileBlock, 3, 0, std::move(block), &window));
    const std::uint8_t more[] = {'d', 'e'};
    ASSERT_TRUE(port.SendBytes(more, 2));
    ASSERT_TRUE(window.held.Wait(10s));  // the writer is inside the file block's notice

    CloseGivesUpOn("Writer Thread", "Reader/Status Thread");
    EXPECT_EQ(port.LastOpenError(), "");
    EXPECT_FALSE(port.OpenPort());
    EXPECT_EQ(port.LastOpenError(),
              "Cannot open " + pty.SlavePath() + ": the writer thread of the last connection has not ended");

    // Released, the writer finishes with the request it holds (its buffer was
    // not freed under it) and ends; what it writes now goes nowhere.
    window.released.Set();
    ASSERT_TRUE(ReopensAfterTheLateThread());
    const std::uint8_t next[] = {'n', 'e', 'w'};
    ASSERT_TRUE(port.SendBytes(next, 3));
    // "abc" went out before the close; "de" was still queued and never reaches
    // the device; the new connection's queue starts empty.
    EXPECT_EQ(pty.ReadCount(6), "abcnew");
    EXPECT_TRUE(port.ClosePort());
}

TEST_F(EngineBoundedClose, DestroyingTheEngineWaitsForTheLateThread)
{
    ASSERT_TRUE(port.ClosePort());
    auto engine = std::make_unique<CCommPort2>();
    MapSlotToPty(*engine, pty, 2);
    engine->SetLineControlFactory([this](int) { return std::make_unique<FakeUart>(uart); });
    engine->SetCloseTimeout(kHeldCloseTimeout);
    ASSERT_TRUE(engine->OpenPort());
    Uart([](FakeUartState& s) { s.holdModemReads = true; });
    ASSERT_TRUE(uart->WaitHeld(1));
    // The thread is let go only once the destructor waits for it: the engine
    // must not be freed before then.
    bool sawWait = false;
    std::thread releaser([&] {
        const auto end = Clock::now() + 10s;
        while (!(sawWait = diagnostics.Has("Waiting for the reader/status thread to end")) && Clock::now() < end)
            std::this_thread::sleep_for(5ms);
        uart->ReleaseHolds();
    });
    engine.reset();
    releaser.join();
    EXPECT_TRUE(sawWait);
    EXPECT_TRUE(diagnostics.Has("Reader/Status Thread didn't exit.\n\r"));
}

}  // namespace
