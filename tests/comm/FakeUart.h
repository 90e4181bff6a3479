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
    std::uint32_t inQueue = 0, outQueue = 0;
    int loweredByEngine = 0, modemReads = 0, callsAfterGone = 0;
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

    LineResult GetModemLines(int& lines) override { return Call([&](auto& s) { lines = s.lines; }, true); }
    LineResult SetModemLines(int raise, int lower) override
    {
        return Call([&](auto& s) { s.lines = (s.lines | raise) & ~lower, s.loweredByEngine |= lower; });
    }
    LineResult GetCounters(LineCounters& counters) override { return Call([&](auto& s) { counters = s.counters; }); }
    LineResult GetInputQueued(std::uint32_t& count) override { return Call([&](auto& s) { count = s.inQueue; }); }
    LineResult GetOutputQueued(std::uint32_t& count) override { return Call([&](auto& s) { count = s.outQueue; }); }

private:
    // One driver call under the lock: it may be held (modem reads), and it
    // fails with EIO once the device is gone.
    template <typename Body>
    LineResult Call(Body body, bool isModemRead = false)
    {
        std::unique_lock lock(m_state->mutex);
        if (isModemRead) {
            if (m_state->holdModemReads) {
                ++m_state->callsHeld;
                m_state->changed.notify_all();
                m_state->changed.wait(lock, [&] { return !m_state->holdModemReads; });
                --m_state->callsHeld;
            }
            ++m_state->modemReads;
        }
        if (m_state->gone) {
            ++m_state->callsAfterGone;
            errno = EIO;
            return LineResult::Failed;
        }
        body(*m_state);
        return LineResult::Ok;
    }

    std::shared_ptr<FakeUartState> m_state;
};

}  // namespace commtest
