#pragma once
// Runs the Qt event loop of the test's thread for a bounded time.

#include <QCoreApplication>

#include <chrono>
#include <functional>
#include <thread>

namespace testqt {

// Runs the event loop until `done` holds or `timeoutMs` passes.
inline bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 5000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

inline void Pump(int ms)
{
    PumpUntil([] { return false; }, ms);
}

}  // namespace testqt
