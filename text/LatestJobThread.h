#pragma once
// A thread that runs the latest job handed to it. Handing over a new job
// asks the running one to stop (through its stop token) and drops one still
// waiting, without waiting for either: the caller's thread never blocks on
// the work. The destructor stops the running job and joins.

#include <condition_variable>
#include <functional>
#include <mutex>
#include <stop_token>
#include <thread>

class LatestJobThread {
public:
    using Job = std::function<void(std::stop_token)>;

    LatestJobThread();
    ~LatestJobThread();
    LatestJobThread(const LatestJobThread&) = delete;
    LatestJobThread& operator=(const LatestJobThread&) = delete;

    void Run(Job job);
    // Asks the running job to stop and drops a waiting one.
    void Stop();

private:
    void Loop(std::stop_token threadStop);

    std::mutex m_mutex;
    std::condition_variable_any m_wake;
    Job m_next;
    std::stop_source m_running{std::nostopstate};
    std::jthread m_thread;  // last: starts when everything above is ready
};
