#pragma once
// A UART's modem lines, interrupt counters and queue counts, set by the test:
// what a pseudo-terminal does not have. Shared with the engine through the
// line-control seam; every call is guarded because two engine threads ask.
// It can also play a device that went away (every call fails with EIO, as a
// driver's ioctls do after a hang-up) and a driver call that does not return
// until the test releases it.

#include "comm/TtyLineControl.h"

#include <cerrno>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace commtest {

struct FakeUartState {
    std::mutex mutex;
    std::condition_variable changed;
    int lines = kLineCts | kLineDsr;
    LineCounters counters;
    std::uint32_t inQueue = 0;
    std::uint32_t outQueue = 0;
    int raisedByEngine = 0;
    int loweredByEngine = 0;
    int modemReads = 0;
    int callsAfterGone = 0;
    bool gone = false;
    // While set, reading the modem lines blocks (the lock released) until it
    // is cleared: a driver call that does not return.
    bool holdModemReads = false;
    int callsHeld = 0;  // calls blocked right now

    // Ends every hold and wakes the calls blocked in one.
    void ReleaseHolds()
    {
        {
            std::lock_guard lock(mutex);
            holdModemReads = false;
        }
        changed.notify_all();
    }
    // Waits (bounded) until `count` calls are blocked in a hold.
    bool WaitHeld(int count)
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(10), [&] { return callsHeld >= count; });
    }
};

class FakeUart final : public TtyLineControl {
public:
    explicit FakeUart(std::shared_ptr<FakeUartState> state) : m_state(std::move(state)) {}

    LineResult GetModemLines(int& lines) override
    {
        std::unique_lock lock(m_state->mutex);
        Hold(lock, m_state->holdModemReads);
        ++m_state->modemReads;
        if (m_state->gone)
            return Gone();
        lines = m_state->lines;
        return LineResult::Ok;
    }
    LineResult SetModemLines(int raise, int lower) override
    {
        std::lock_guard lock(m_state->mutex);
        if (m_state->gone)
            return Gone();
        m_state->raisedByEngine |= raise;
        m_state->loweredByEngine |= lower;
        m_state->lines = (m_state->lines | raise) & ~lower;
        return LineResult::Ok;
    }
    LineResult GetCounters(LineCounters& counters) override
    {
        std::lock_guard lock(m_state->mutex);
        if (m_state->gone)
            return Gone();
        counters = m_state->counters;
        return LineResult::Ok;
    }
    LineResult GetInputQueued(std::uint32_t& count) override
    {
        std::lock_guard lock(m_state->mutex);
        if (m_state->gone)
            return Gone();
        count = m_state->inQueue;
        return LineResult::Ok;
    }
    LineResult GetOutputQueued(std::uint32_t& count) override
    {
        std::lock_guard lock(m_state->mutex);
        if (m_state->gone)
            return Gone();
        count = m_state->outQueue;
        return LineResult::Ok;
    }

private:
    void Hold(std::unique_lock<std::mutex>& lock, const bool& hold)
    {
        if (!hold)
            return;
        ++m_state->callsHeld;
        m_state->changed.notify_all();
        m_state->changed.wait(lock, [&] { return !hold; });
        --m_state->callsHeld;
    }
    LineResult Gone()
    {
        ++m_state->callsAfterGone;
        errno = EIO;
        return LineResult::Failed;
    }

    std::shared_ptr<FakeUartState> m_state;
};

}  // namespace commtest
