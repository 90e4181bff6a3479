#pragma once
// A fixed ring of buffers lent to the owner window one at a time, in order.
// A buffer is not filled again until the owner has handed it back, so a slow
// owner makes the producer wait instead of losing what it has not read yet.

#include "platform/Event.h"

#include <array>
#include <atomic>
#include <cstddef>

template <typename Buffer, std::size_t N>
class OwnerRing {
public:
    static constexpr std::size_t kSize = N;

    std::array<Buffer, N>& Buffers() { return m_buffers; }
    Buffer* Current() { return &m_buffers[m_current]; }
    std::size_t CurrentIndex() const { return m_current; }

    // Producer thread only. True when the buffer to fill next is back from the owner.
    bool CurrentFree() const { return !m_held[m_current].load(std::memory_order_acquire); }

    // Producer thread only: lends the current buffer and moves on to the next.
    Buffer* Lend()
    {
        Buffer* buffer = &m_buffers[m_current];
        m_held[m_current].store(true, std::memory_order_release);
        m_current = (m_current + 1) % N;
        return buffer;
    }

    // Producer thread only: announces that it will sleep until a buffer comes
    // back. Returns true when one already has (no need to sleep).
    bool PrepareToWait()
    {
        m_producerWaiting.store(true);
        if (CurrentFree()) {
            m_producerWaiting.store(false);
            return true;
        }
        return false;
    }

    // Any thread. False for a pointer that is not one of this ring's buffers.
    // `wake` is set when the producer is waiting for this buffer.
    bool Release(const Buffer* buffer, platform::Event& wake)
    {
        if (buffer < m_buffers.data() || buffer >= m_buffers.data() + N)
            return false;
        const auto index = static_cast<std::size_t>(buffer - m_buffers.data());
        m_held[index].store(false);
        if (m_producerWaiting.exchange(false))
            wake.Set();
        return true;
    }

    // Only while no producer runs: every buffer counts as returned.
    void ReleaseAll()
    {
        for (auto& held : m_held)
            held.store(false);
    }

    std::size_t HeldCount() const
    {
        std::size_t count = 0;
        for (const auto& held : m_held)
            count += held.load() ? 1 : 0;
        return count;
    }

private:
    std::array<Buffer, N> m_buffers{};
    std::array<std::atomic<bool>, N> m_held{};
    std::atomic<bool> m_producerWaiting{false};
    std::size_t m_current = 0;
};
