#pragma once
// A UART's modem lines, interrupt counters and queue counts, set by the test:
// what a pseudo-terminal does not have. Shared with the engine through the
// line-control seam; every call is guarded because two engine threads ask.

#include "comm/TtyLineControl.h"

#include <memory>
#include <mutex>

namespace commtest {

struct FakeUartState {
    std::mutex mutex;
    int lines = kLineCts | kLineDsr;
    LineCounters counters;
    std::uint32_t inQueue = 0;
    std::uint32_t outQueue = 0;
    int raisedByEngine = 0;
    int loweredByEngine = 0;
    int modemReads = 0;
};

class FakeUart final : public TtyLineControl {
public:
    explicit FakeUart(std::shared_ptr<FakeUartState> state) : m_state(std::move(state)) {}

    LineResult GetModemLines(int& lines) override
    {
        std::lock_guard lock(m_state->mutex);
        ++m_state->modemReads;
        lines = m_state->lines;
        return LineResult::Ok;
    }
    LineResult SetModemLines(int raise, int lower) override
    {
        std::lock_guard lock(m_state->mutex);
        m_state->raisedByEngine |= raise;
        m_state->loweredByEngine |= lower;
        m_state->lines = (m_state->lines | raise) & ~lower;
        return LineResult::Ok;
    }
    LineResult GetCounters(LineCounters& counters) override
    {
        std::lock_guard lock(m_state->mutex);
        counters = m_state->counters;
        return LineResult::Ok;
    }
    LineResult GetInputQueued(std::uint32_t& count) override
    {
        std::lock_guard lock(m_state->mutex);
        count = m_state->inQueue;
        return LineResult::Ok;
    }
    LineResult GetOutputQueued(std::uint32_t& count) override
    {
        std::lock_guard lock(m_state->mutex);
        count = m_state->outQueue;
        return LineResult::Ok;
    }

private:
    std::shared_ptr<FakeUartState> m_state;
};

}  // namespace commtest
