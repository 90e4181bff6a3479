#pragma once
// After a width change, counts the exact rows of pieces on disk on a thread
// of its own: reading and decoding them there keeps the window responsive,
// while the text model shows estimates until the counts come in. The model
// takes the results on its own thread; `notify` is called on the pass's
// thread whenever some are waiting. Results stay right for their piece and
// width however late they come, since a piece's text never changes.

#include "text/LatestJobThread.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class TextSnapshot;

class RowCountPass {
public:
    struct Result {
        std::uint64_t id;  // the piece
        int columns;
        std::uint64_t rows;  // without the empty row after a final line break
    };

    explicit RowCountPass(std::function<void()> notify);

    // Counts the rows of every piece of `pieces` at `columns`, the newest
    // first; a pass still running gives up.
    void Start(std::shared_ptr<const TextSnapshot> pieces, int columns);
    void Stop();
    std::vector<Result> TakeResults();

private:
    std::function<void()> m_notify;
    std::mutex m_mutex;
    std::vector<Result> m_results;
    LatestJobThread m_thread;  // last: stops before the rest goes
};
