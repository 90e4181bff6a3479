// Closing never waits past its time-out: a thread held in a call that does
// not return is reported by name, the port is closed regardless, and nothing
// the late thread may still touch is freed or reused under it.

#include "CommTestSupport.h"
#include "FakeUart.h"

#include <sys/file.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>

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
        std::unique_lock lock(m_mutex);
        ++m_held;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_released; });
        return true;
    }
    bool WaitHeld()
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(10), [this] { return m_held > 0; });
    }
    void Release()
    {
        {
            std::lock_guard lock(m_mutex);
            m_released = true;
        }
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_held = 0;
    bool m_released = false;
};

class EngineBoundedClose : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.ok());
        MapSlotToPty(port, pty);
        port.SetLineControlFactory([this](int) { return std::make_unique<FakeUart>(uart); });
        ASSERT_TRUE(port.OpenPort());
        ASSERT_TRUE(owner.WaitText("Status message go here:\r\n"));
    }
    void TearDown() override
    {
        uart->ReleaseHolds();
        window.Release();
        port.ClosePort();
    }

    // Diagnostic texts from `first` on, in order.
    std::vector<std::string> DiagnosticsFrom(const std::string& first)
    {
        const std::vector<std::string> all = diagnostics.texts();
        const auto at = std::find(all.begin(), all.end(), first);
        return {at, all.end()};
    }

    // The engine opens again once the late thread has ended (bounded wait).
    bool ReopensAfterTheLateThread()
    {
        for (int i = 0; i < 1000; ++i) {
            if (port.OpenPort())
                return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }

    bool HasWaitText() const
    {
        for (const std::string& text : diagnostics.texts())
            if (text.rfind("Waiting for the ", 0) == 0)
                return true;
        return false;
    }

    // Another program can open and lock the device: the engine let it go.
    bool DeviceIsFree()
    {
        platform::UniqueFd other(::open(pty.path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
        return other && ::flock(other.get(), LOCK_EX | LOCK_NB) == 0;
    }

    DiagnosticCapture diagnostics;
    PtyPair pty;
    std::shared_ptr<FakeUartState> uart = std::make_shared<FakeUartState>();
    HoldingWindow window;
    CCommPort2 port;
    TestOwner owner{port};
};

}  // namespace

TEST_F(EngineBoundedClose, ReaderHeldInADriverCall)
{
    {
        std::lock_guard lock(uart->mutex);
        uart->holdModemReads = true;  // the reader samples the lines every few ms
    }
    ASSERT_TRUE(uart->WaitHeld(1));

    port.SetCloseTimeout(kHeldCloseTimeout);
    EXPECT_TRUE(port.ClosePort());
    EXPECT_EQ(port.m_bConnected, 0);
    const std::vector<std::string> tail = DiagnosticsFrom("Reader/Status Thread didn't exit.\n\r");
    ASSERT_GE(tail.size(), 2u);
    EXPECT_EQ(tail[1], "Error closing port.\n");
    EXPECT_FALSE(diagnostics.Has("Writer Thread didn't exit.\n\r"));
    {
        std::lock_guard lock(uart->mutex);
        EXPECT_TRUE(uart->loweredByEngine & kLineDtr);  // the rest of the close still ran
    }
    EXPECT_TRUE(DeviceIsFree());

    // While that thread lives, its rings are not handed to new threads.
    EXPECT_FALSE(port.OpenPort());
    EXPECT_EQ(port.LastOpenError(),
              "Cannot open " + pty.path() + ": the reader/status thread of the last connection has not ended");
    const std::uint8_t byte = 1;
    EXPECT_FALSE(port.SendBytes(&byte, 1));

    uart->ReleaseHolds();
    ASSERT_TRUE(ReopensAfterTheLateThread());
    ASSERT_TRUE(pty.Write("again"));
    owner.bytes.clear();
    ASSERT_TRUE(owner.WaitBytes(5));
    EXPECT_EQ(std::string(owner.bytes.begin(), owner.bytes.end()), "again");
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
    ASSERT_TRUE(window.WaitHeld());  // the writer is inside the file block's notice

    port.SetCloseTimeout(kHeldCloseTimeout);
    EXPECT_TRUE(port.ClosePort());
    const std::vector<std::string> tail = DiagnosticsFrom("Writer Thread didn't exit.\n\r");
    ASSERT_GE(tail.size(), 2u);
    EXPECT_EQ(tail[1], "Error closing port.\n");
    EXPECT_FALSE(diagnostics.Has("Reader/Status Thread didn't exit.\n\r"));
    EXPECT_TRUE(DeviceIsFree());
    EXPECT_EQ(port.LastOpenError(), "");
    EXPECT_FALSE(port.OpenPort());
    EXPECT_EQ(port.LastOpenError(),
              "Cannot open " + pty.path() + ": the writer thread of the last connection has not ended");

    // Released, the writer finishes with the request it holds (its buffer was
    // not freed under it) and ends; what it writes now goes nowhere.
    window.Release();
    ASSERT_TRUE(ReopensAfterTheLateThread());
    const std::uint8_t next[] = {'n', 'e', 'w'};
    ASSERT_TRUE(port.SendBytes(next, 3));
    // "abc" went out before the close; "de" was still queued and never reaches
    // the device; the new connection's queue starts empty.
    const auto got = pty.Read(6);
    EXPECT_EQ(std::string(got.begin(), got.end()), "abcnew");
    EXPECT_TRUE(port.ClosePort());
}

TEST_F(EngineBoundedClose, DestroyingTheEngineWaitsForTheLateThread)
{
    auto engine = std::make_unique<CCommPort2>();
    MapSlotToPty(*engine, pty, 2);
    auto heldUart = std::make_shared<FakeUartState>();
    engine->SetLineControlFactory([heldUart](int) { return std::make_unique<FakeUart>(heldUart); });
    engine->SetCloseTimeout(kHeldCloseTimeout);
    ASSERT_TRUE(port.ClosePort());
    ASSERT_TRUE(engine->OpenPort());
    {
        std::lock_guard lock(heldUart->mutex);
        heldUart->holdModemReads = true;
    }
    ASSERT_TRUE(heldUart->WaitHeld(1));
    // The thread is let go only once the destructor waits for it: the engine
    // must not be freed before then.
    bool sawWait = false;
    std::thread releaser([&] {
        const auto end = Clock::now() + 10s;
        while (!(sawWait = HasWaitText()) && Clock::now() < end)
            std::this_thread::sleep_for(5ms);
        heldUart->ReleaseHolds();
    });
    engine.reset();
    releaser.join();
    EXPECT_TRUE(sawWait);
    EXPECT_TRUE(diagnostics.Has("Reader/Status Thread didn't exit.\n\r"));
}
