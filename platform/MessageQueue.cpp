#include "platform/MessageQueue.h"

namespace platform {

bool MessageQueue::PostMessage(unsigned message, WPARAM wParam, LPARAM lParam)
{
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back({message, wParam, lParam});
    }
    m_ready.notify_one();
    return true;
}

std::optional<PostedMessage> MessageQueue::Take(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    if (!m_ready.wait_for(lock, timeout, [this] { return !m_queue.empty(); }))
        return std::nullopt;
    PostedMessage message = m_queue.front();
    m_queue.pop_front();
    return message;
}

std::size_t MessageQueue::Pending() const
{
    std::lock_guard lock(m_mutex);
    return m_queue.size();
}

}  // namespace platform
