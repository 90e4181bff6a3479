#pragma once
// The traffic log, trafficMMDD.log: one line per frame in both directions, in
// the order the frames crossed the line:
//   "12:34:56.789 RX 01 03 00 00 00 0A  ......"
// (time of day with milliseconds, direction, the bytes in hex, then the
// printable ones with dots for the rest). A frame is one block the engine
// read or wrote; blocks of one direction less than the join gap apart make
// one frame. Lines longer than kMaxLineBytes go on under the same time.
//
// Record only queues a copy; a thread of its own orders, joins, formats and
// hands the lines to a CLogFile (which keeps the daily naming and never
// destroys an earlier file). Records are held back kReorderMs before they are
// written, so a block read just before one was written still comes first.
// When the log falls more than kMaxQueuedBytes behind, records are dropped
// and counted, never the data, and a line in the log says how much is missing.

#include "support/LogFile.h"
#include "support/TrafficRecorder.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

namespace support {

class TrafficLog : public TrafficRecorder {
public:
    static constexpr int kReorderMs = 50;
    static constexpr std::size_t kMaxQueuedBytes = std::size_t(32) << 20;
    static constexpr std::size_t kMaxLineBytes = 4096;

    // Opens `fileName` as CLogFile does; `joinGapMs` 0 keeps every block a frame.
    TrafficLog(const std::string& fileName, int joinGapMs);
    ~TrafficLog() override;  // writes everything still held

    void Record(TrafficDirection direction, std::int64_t firstNs, std::int64_t lastNs,
                const std::uint8_t* bytes, std::size_t n) override;

    void SetJoinGapMs(int joinGapMs);
    CLogFile& File() { return *m_file; }
    // Writes out everything recorded so far, however recent (tests, closing).
    void Drain();
    // Bytes dropped because the log fell behind.
    std::uint64_t LostBytes() const;

    // One frame line (without its line end), as the log writes it.
    static void FormatLine(TrafficDirection direction, std::int64_t monotonicNs,
                           const std::uint8_t* bytes, std::size_t n, std::string& out);

private:
    struct Block {
        TrafficDirection direction;
        std::int64_t firstNs;
        std::int64_t lastNs;
        std::int64_t joinGapNs;  // the gap in force when it was recorded
        std::vector<std::uint8_t> bytes;
    };

    void Run(std::stop_token stop);
    // Joins and writes the held blocks that started before `cutoffNs`.
    void WriteUpTo(std::int64_t cutoffNs);
    void CloseFrame();

    std::unique_ptr<CLogFile> m_file;
    std::atomic<std::int64_t> m_joinGapNs;

    mutable std::mutex m_mutex;
    std::condition_variable_any m_wake;
    std::vector<Block> m_queue;        // under m_mutex
    std::size_t m_queuedBytes = 0;     // under m_mutex
    std::uint64_t m_lostBytes = 0;     // under m_mutex
    std::uint64_t m_lostUntold = 0;    // under m_mutex: not yet said in the log
    bool m_drainAsked = false;         // under m_mutex
    std::uint64_t m_drainsDone = 0;    // under m_mutex
    std::condition_variable m_drained;

    // The writing thread's own.
    std::vector<Block> m_held;
    bool m_frameOpen = false;
    Block m_frame;
    std::string m_line;

    std::jthread m_thread;  // last: stopped first
};

}  // namespace support
