#pragma once
// The thread that moves sealed pieces of terminal text to the history file:
// it encodes and compresses each piece handed to it, appends the blob and
// reports where it went. The file is made on the first piece. Its owner
// (the text model) takes the results on its own thread; `notify` is called
// on the writer's thread whenever results are waiting.

#include "text/HistoryFile.h"
#include "text/PieceCodec.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class HistoryWriter {
public:
    struct Result {
        std::uint64_t id = 0;
        bool ok = false;
        std::uint64_t fileSerial = 0;  // which history file (a new one after Restart)
        std::uint64_t offset = 0;
        std::uint32_t bytes = 0;
        std::string why;  // when not ok
        bool newFile = false;          // this piece made the file
        std::uint64_t freeAtStart = 0; // then: the free space beside it
    };

    explicit HistoryWriter(std::function<void()> notify);
    ~HistoryWriter();  // finishes nothing more; joins
    HistoryWriter(const HistoryWriter&) = delete;
    HistoryWriter& operator=(const HistoryWriter&) = delete;

    void Spill(std::uint64_t id, std::vector<char16_t> units, std::vector<PieceRun> runs);
    // Gives a written range's space back.
    void Discard(std::uint64_t fileSerial, std::uint64_t offset, std::uint32_t bytes);
    // The next piece goes to a new file; the current one is closed.
    void Restart();
    void SetNotify(std::function<void()> notify);

    std::vector<Result> TakeResults();
    // Reads a blob written to file `fileSerial`; false with `why` otherwise.
    bool Read(std::uint64_t fileSerial, std::uint64_t offset, std::uint32_t bytes, std::string& out,
              std::string& why) const;
    // History file `fileSerial` while it is the current one (null after a
    // Restart); a reader on another thread keeps it open with this.
    std::shared_ptr<const HistoryFile> File(std::uint64_t fileSerial) const;
    // Bytes written to the current file, and its descriptor (-1 without one).
    std::uint64_t FileBytes() const;
    int FileDescriptor() const;

private:
    struct Job {
        enum class Kind { Spill, Discard, Restart };
        explicit Job(Kind k) : kind(k) {}
        Kind kind;
        std::uint64_t id = 0;
        std::vector<char16_t> units;
        std::vector<PieceRun> runs;
        std::uint64_t fileSerial = 0, offset = 0;
        std::uint32_t bytes = 0;
    };
    void Run();
    void Push(Job job);

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Job> m_jobs;
    std::vector<Result> m_results;
    std::function<void()> m_notify;
    std::shared_ptr<HistoryFile> m_file;  // replaced only under m_mutex
    std::uint64_t m_fileSerial = 0;
    bool m_stop = false;
    std::thread m_thread;  // last: starts when everything above is ready
};
