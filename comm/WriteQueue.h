#pragma once
// The write-request queue between the callers of SendBytes and the writer
// thread. Each request owns its bytes, so a queued block can never be
// overwritten by a later call. The queue is bounded in bytes and in requests
// (each request holds a block of its own, however few bytes it carries): past
// either limit a request is refused rather than memory growing without end
// behind a stalled line.

#include "platform/Event.h"
#include "platform/WindowMessage.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

enum WriteRequestKind : std::uint32_t {
    SingleChar = 1,  // write `character`
    FileBlock = 2,   // write an owned buffer, then notify `window` and free it
    FileStart = 3,   // nothing
    FileEnd = 4,     // signal the transfer-done event
    Abort = 5,       // drop every request queued after this one
    Block = 6,       // write the request's copy of the caller's bytes
};

inline constexpr std::size_t kSendBlockSize = 1024;

struct WriteRequest {
    std::uint32_t kind = Block;
    std::uint32_t size = 0;
    std::uint8_t character = 0;
    std::unique_ptr<std::uint8_t[]> fileBuffer;  // FileBlock only
    platform::MessageTarget* window = nullptr;   // FileBlock only
    std::uint8_t block[kSendBlockSize];          // Block only

    const std::uint8_t* Bytes() const { return kind == FileBlock ? fileBuffer.get() : block; }
};

class WriteQueue {
public:
    // Bytes queued at most before requests are refused.
    static constexpr std::size_t kMaxQueuedBytes = 1u << 20;
    // Requests queued at most: small sends repeated on a stalled line (a
    // periodic poll) stop here, at a few megabytes, not at a million requests.
    static constexpr std::size_t kMaxQueuedRequests = 4096;

    // Accepts requests from now on (the port is open).
    void Open();
    // Refuses new requests and drops what is queued (the port is closed).
    // True when that fired the room watch.
    bool Close();
    // Refuses new requests but keeps what is queued: a writer that has not
    // ended may still hold some of it. Close() follows once it has. True
    // when that fired the room watch: nothing more fits from now on.
    bool Refuse();
    bool IsOpen() const;

    // Room for `requests` requests holding `bytes` bytes in all?
    // Both checks and the appends happen under one lock via Append.
    struct Item {
        std::uint32_t kind;
        std::uint32_t size;
        std::uint8_t character;
        const std::uint8_t* data;                    // copied for Block
        std::unique_ptr<std::uint8_t[]> fileBuffer;  // FileBlock
        platform::MessageTarget* window;
    };
    // Appends all items or none. Signals `wake` when the writer may be idle.
    bool Append(std::vector<Item>& items, platform::Event& wake);

    // Writer thread: the oldest request, still in the queue; null when empty.
    WriteRequest* Front();
    // Writer thread: up to `max` plain blocks from the front, oldest first,
    // stopping at the first request of another kind; returns how many.
    std::size_t FrontBlocks(WriteRequest** out, std::size_t max);
    // Writer thread: removes the `count` oldest requests. True when that
    // fired the room watch.
    bool PopFront(std::size_t count = 1);
    // Writer thread: removes every request after the oldest one; returns how many.
    int DiscardAfterFront();
    std::size_t Size() const;

    // A producer that found the queue too full asks to hear once when at
    // most `requests` are left (or the queue is closed). False when that is
    // already so: nothing is armed then, and the caller goes on at once.
    bool WatchRoom(std::size_t requests);

private:
    static constexpr std::size_t kNoWatch = static_cast<std::size_t>(-1);
    bool TakeWatchLocked();

    std::unique_ptr<WriteRequest> NewRequest();

    mutable std::mutex m_csWriteQueue;
    std::deque<std::unique_ptr<WriteRequest>> m_queue;
    std::vector<std::unique_ptr<WriteRequest>> m_spare;  // reused to spare allocations
    std::size_t m_queuedBytes = 0;
    bool m_open = false;
    std::size_t m_roomWatch = kNoWatch;  // requests left at which the watch fires
};
