#pragma once
// Where bytes for the serial line go: the view's typing, the automation
// windows and the TCP bridge all send through this, as the frame provides it.
// None of them knows the engine, so each can be tested alone.

#include <cstddef>
#include <cstdint>
#include <functional>

class LineSender {
public:
    virtual ~LineSender() = default;
    // True exactly while the port is open.
    virtual bool IsPortOpen() const = 0;
    // Queues the bytes as one request. False when they were not taken (the
    // port is closed or its queue is full); nothing of them is sent then.
    virtual bool SendBytes(const std::uint8_t* data, std::size_t length) = 0;
    // Write requests queued and not yet on the line.
    virtual std::size_t Backlog() const { return 0; }
    // Calls `onRoom` once, on the caller's thread, when at most `requests`
    // are queued or the port closes; a new watch replaces the last. False
    // when there is room already: `onRoom` is not called then.
    virtual bool WatchRoom(std::size_t /*requests*/, std::function<void()> /*onRoom*/) { return false; }
};
