#include "text/LatestJobThread.h"

LatestJobThread::LatestJobThread() : m_thread([this](std::stop_token stop) { Loop(std::move(stop)); }) {}

LatestJobThread::~LatestJobThread()
{
    Stop();
    m_thread.request_stop();
    m_thread.join();
}

void LatestJobThread::Run(Job job)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_running.stop_possible())
            m_running.request_stop();
        m_next = std::move(job);
    }
    m_wake.notify_one();
}

void LatestJobThread::Stop()
{
    std::lock_guard lock(m_mutex);
    if (m_running.stop_possible())
        m_running.request_stop();
    m_next = nullptr;
}

void LatestJobThread::Loop(std::stop_token threadStop)
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (!m_wake.wait(lock, threadStop, [this] { return static_cast<bool>(m_next); }))
            return;  // the thread is asked to end
        Job job = std::move(m_next);
        m_next = nullptr;
        std::stop_source source;
        m_running = source;
        lock.unlock();
        {
            // The job also stops when the whole thread is asked to.
            std::stop_callback forward(threadStop, [&source] { source.request_stop(); });
            job(source.get_token());
            job = nullptr;  // what it holds goes now, not when the next job comes
        }
        lock.lock();
        m_running = std::stop_source(std::nostopstate);
    }
}
