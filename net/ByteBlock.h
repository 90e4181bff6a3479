#pragma once
// A counted block of bytes with a fixed room, owned by whoever holds it: the
// socket layer's receive buffers and the copies queued for sending. Memory
// that cannot be had gives a null block, never an exception.

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

namespace net {

class ByteBlock {
public:
    ByteBlock() = default;

    // Room for `capacity` bytes, none used yet; null when memory is short.
    static ByteBlock Allocate(std::uint32_t capacity)
    {
        ByteBlock block;
        block.m_data.reset(new (std::nothrow) std::uint8_t[capacity == 0 ? 1 : capacity]);
        if (block.m_data)
            block.m_capacity = capacity;
        return block;
    }

    // A copy of `count` bytes; null when memory is short.
    static ByteBlock Copy(const void* data, std::uint32_t count)
    {
        ByteBlock block = Allocate(count);
        if (!block.IsNull() && count > 0) {
            std::memcpy(block.m_data.get(), data, count);
            block.m_count = count;
        }
        return block;
    }

    bool IsNull() const { return !m_data; }
    std::uint8_t* Data() { return m_data.get(); }
    const std::uint8_t* Data() const { return m_data.get(); }
    std::uint32_t Count() const { return m_count; }
    std::uint32_t Capacity() const { return m_capacity; }
    // Clamped to the room.
    void SetCount(std::uint32_t count) { m_count = count < m_capacity ? count : m_capacity; }

private:
    std::unique_ptr<std::uint8_t[]> m_data;
    std::uint32_t m_count = 0;
    std::uint32_t m_capacity = 0;
};

}  // namespace net
