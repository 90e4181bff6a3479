#pragma once
// A message target without a window: messages wait in a queue until a thread
// takes them. Serves command-line tools, benchmarks and engine tests.

#include "platform/WindowMessage.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

namespace platform {

struct PostedMessage {
    unsigned message;
    WPARAM wParam;
    LPARAM lParam;
};

class MessageQueue final : public MessageTarget {
public:
    bool PostMessage(unsigned message, WPARAM wParam, LPARAM lParam) override;
    // Waits at most `timeout` for the next message.
    std::optional<PostedMessage> Take(std::chrono::milliseconds timeout);
    std::size_t Pending() const;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<PostedMessage> m_queue;
};

}  // namespace platform
