#pragma once
// Numbered status texts waiting for delivery to the owner. Any thread may add;
// one thread delivers. The number comes from one process-wide counter, taken
// under this queue's lock so a queue's texts are always in number order.

#include <atomic>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

class StatusQueue {
public:
    // Adds "<n>:<text>" and returns n.
    int Push(std::string_view text);
    // The oldest text not yet delivered.
    std::optional<std::string> Front() const;
    void Pop();
    std::size_t Size() const;

private:
    mutable std::mutex m_csStatusQueue;
    std::deque<std::string> m_texts;
    std::atomic<std::size_t> m_size{0};  // asked on every pass of the reader: no lock
};

// Copies a numbered text into a post buffer of `capacity` bytes. A text too
// long for it is cut so that it still ends in CR LF and a NUL; the rest of
// the buffer is zero.
void CopyStatusText(std::string_view text, char* buffer, std::size_t capacity);
