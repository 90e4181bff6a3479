#pragma once
// Where typed bytes go: the serial line as the frame provides it. The view
// knows only this, never the engine, so the terminal can be tested alone.

#include <cstddef>
#include <cstdint>

class LineSender {
public:
    virtual ~LineSender() = default;
    // True exactly while the port is open.
    virtual bool IsPortOpen() const = 0;
    // Queues the bytes as one request. False when they were not taken (the
    // port is closed or its queue is full); nothing of them is sent then.
    virtual bool SendBytes(const std::uint8_t* data, std::size_t length) = 0;
};
