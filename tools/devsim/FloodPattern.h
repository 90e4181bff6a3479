#pragma once
// The flood pattern: a byte stream in which every byte can be checked on its
// own, so loss, duplication and corruption all show. Byte i of the stream is
// (i * 7 + (i >> 8)) & 0xFF; the sequence repeats only after 64 KiB.
// Header-only so benchmarks and tests can produce and check it in-process.

#include <cstddef>
#include <cstdint>

namespace devsim {

constexpr std::uint8_t FloodByte(std::uint64_t index)
{
    return static_cast<std::uint8_t>((index * 7 + (index >> 8)) & 0xFF);
}

class FloodGenerator {
public:
    void Fill(std::uint8_t* out, std::size_t count)
    {
        for (std::size_t i = 0; i < count; ++i)
            out[i] = FloodByte(m_next++);
    }
    // How many bytes have been produced.
    std::uint64_t Position() const { return m_next; }

private:
    std::uint64_t m_next = 0;
};

// Compares incoming bytes with the pattern position by position, starting at
// byte 0. A lost or extra byte shifts everything after it, so it shows as a
// run of errors rather than one.
class FloodChecker {
public:
    void Feed(const std::uint8_t* data, std::size_t count)
    {
        for (std::size_t i = 0; i < count; ++i) {
            if (data[i] != FloodByte(m_bytes)) {
                if (m_errors == 0)
                    m_firstError = m_bytes;
                ++m_errors;
            }
            ++m_bytes;
        }
    }
    std::uint64_t Bytes() const { return m_bytes; }
    std::uint64_t Errors() const { return m_errors; }
    // Index of the first wrong byte; meaningful when Errors() > 0.
    std::uint64_t FirstError() const { return m_firstError; }

private:
    std::uint64_t m_bytes = 0;
    std::uint64_t m_errors = 0;
    std::uint64_t m_firstError = 0;
};

}  // namespace devsim
