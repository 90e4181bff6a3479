#include "comm/WriteQueue.h"

#include <cstring>

void WriteQueue::Open()
{
    std::lock_guard lock(m_csWriteQueue);
    m_open = true;
}

bool WriteQueue::Close()
{
    std::lock_guard lock(m_csWriteQueue);
    m_open = false;
    while (!m_queue.empty()) {
        m_queue.front()->fileBuffer.reset();
        m_spare.push_back(std::move(m_queue.front()));
        m_queue.pop_front();
    }
    m_queuedBytes = 0;
    const bool fired = m_roomWatch != kNoWatch;
    m_roomWatch = kNoWatch;
    return fired;
}

bool WriteQueue::Refuse()
{
    std::lock_guard lock(m_csWriteQueue);
    m_open = false;
    const bool fired = m_roomWatch != kNoWatch;
    m_roomWatch = kNoWatch;
    return fired;
}

bool WriteQueue::IsOpen() const
{
    std::lock_guard lock(m_csWriteQueue);
    return m_open;
}

std::unique_ptr<WriteRequest> WriteQueue::NewRequest()
{
    if (m_spare.empty())
        return std::make_unique<WriteRequest>();
    std::unique_ptr<WriteRequest> request = std::move(m_spare.back());
    m_spare.pop_back();
    return request;
}

bool WriteQueue::Append(std::vector<Item>& items, platform::Event& wake)
{
    std::size_t bytes = 0;
    for (const Item& item : items)
        bytes += item.size;
    bool wasEmpty = false;
    {
        std::lock_guard lock(m_csWriteQueue);
        if (!m_open || m_queuedBytes + bytes > kMaxQueuedBytes ||
            m_queue.size() + items.size() > kMaxQueuedRequests)
            return false;
        wasEmpty = m_queue.empty();
        for (Item& item : items) {
            std::unique_ptr<WriteRequest> request = NewRequest();
            request->kind = item.kind;
            request->size = item.size;
            request->character = item.character;
            request->window = item.window;
            request->fileBuffer = std::move(item.fileBuffer);
            if (item.kind == Block && item.size > 0)
                std::memcpy(request->block, item.data, item.size);
            m_queue.push_back(std::move(request));
        }
        m_queuedBytes += bytes;
    }
    // The writer drains the queue before it sleeps again, so a wake-up is
    // needed only when the queue was empty.
    if (wasEmpty)
        wake.Set();
    return true;
}

WriteRequest* WriteQueue::Front()
{
    std::lock_guard lock(m_csWriteQueue);
    return m_queue.empty() ? nullptr : m_queue.front().get();
}

std::size_t WriteQueue::FrontBlocks(WriteRequest** out, std::size_t max)
{
    std::lock_guard lock(m_csWriteQueue);
    std::size_t count = 0;
    while (count < max && count < m_queue.size() && m_queue[count]->kind == Block) {
        out[count] = m_queue[count].get();
        ++count;
    }
    return count;
}

bool WriteQueue::PopFront(std::size_t count)
{
    std::lock_guard lock(m_csWriteQueue);
    for (; count > 0 && !m_queue.empty(); --count) {
        m_queuedBytes -= m_queue.front()->size;
        m_queue.front()->fileBuffer.reset();
        if (m_spare.size() < 64)
            m_spare.push_back(std::move(m_queue.front()));
        m_queue.pop_front();
    }
    return TakeWatchLocked();
}

int WriteQueue::DiscardAfterFront()
{
    std::lock_guard lock(m_csWriteQueue);
    int count = 0;
    while (m_queue.size() > 1) {
        m_queuedBytes -= m_queue.back()->size;
        m_queue.back()->fileBuffer.reset();
        m_queue.pop_back();
        ++count;
    }
    return count;
}

std::size_t WriteQueue::Size() const
{
    std::lock_guard lock(m_csWriteQueue);
    return m_queue.size();
}

bool WriteQueue::WatchRoom(std::size_t requests)
{
    std::lock_guard lock(m_csWriteQueue);
    if (!m_open || m_queue.size() <= requests) {
        m_roomWatch = kNoWatch;
        return false;
    }
    m_roomWatch = requests;
    return true;
}

bool WriteQueue::TakeWatchLocked()
{
    if (m_roomWatch == kNoWatch || m_queue.size() > m_roomWatch)
        return false;
    m_roomWatch = kNoWatch;
    return true;
}
