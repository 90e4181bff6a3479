#pragma once
// Where the serial engine reports the bytes that crossed the line, both ways,
// with the monotonic time of each block (platform/StampClock.h).

#include <cstddef>
#include <cstdint>

namespace support {

enum class TrafficDirection : std::uint8_t { Received, Sent };

class TrafficRecorder {
public:
    virtual ~TrafficRecorder() = default;
    // Called on the engine's reader and writer threads: must not block on I/O.
    // `firstNs` is when the block's first byte was read or written, `lastNs`
    // its last.
    virtual void Record(TrafficDirection direction, std::int64_t firstNs, std::int64_t lastNs,
                        const std::uint8_t* bytes, std::size_t n) = 0;
};

}  // namespace support
