#include "comm/StatusQueue.h"

#include <atomic>
#include <cstdint>
#include <cstring>

namespace {
// One counter for the whole process: every engine numbers from it.
std::atomic<std::uint32_t> g_statusCounter{0};
}  // namespace

int StatusQueue::Push(std::string_view text)
{
    std::lock_guard lock(m_csStatusQueue);
    const auto number = static_cast<std::int32_t>(g_statusCounter.fetch_add(1) + 1);
    std::string numbered = std::to_string(number);
    numbered += ':';
    numbered += text;
    m_texts.push_back(std::move(numbered));
    m_size.store(m_texts.size());
    return number;
}

std::optional<std::string> StatusQueue::Front() const
{
    std::lock_guard lock(m_csStatusQueue);
    if (m_texts.empty())
        return std::nullopt;
    return m_texts.front();
}

void StatusQueue::Pop()
{
    std::lock_guard lock(m_csStatusQueue);
    if (!m_texts.empty())
        m_texts.pop_front();
    m_size.store(m_texts.size());
}

std::size_t StatusQueue::Size() const { return m_size.load(); }

void CopyStatusText(std::string_view text, char* buffer, std::size_t capacity)
{
    std::memset(buffer, 0, capacity);
    if (capacity < 3)
        return;
    if (text.size() < capacity) {
        std::memcpy(buffer, text.data(), text.size());
        return;
    }
    // Keep room for CR LF NUL, and do not split a multi-byte character.
    std::size_t keep = capacity - 3;
    while (keep > 0 && (static_cast<unsigned char>(text[keep]) & 0xC0) == 0x80)
        --keep;
    std::memcpy(buffer, text.data(), keep);
    buffer[keep] = '\r';
    buffer[keep + 1] = '\n';
}
