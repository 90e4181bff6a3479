#pragma once
// The device behaviour on the master side of the pty: one poll loop that
// reads what the terminal sends, answers it (echo, fixed replies, pattern
// check) and produces output of its own (numbered lines or the flood).

#include "tools/devsim/FloodPattern.h"
#include "tools/devsim/Options.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace devsim {

class Simulator {
public:
    // `masterFd` stays owned by the caller; `signalFd` delivers SIGTERM,
    // SIGINT, SIGHUP (end) and SIGUSR1 (report); `report` receives the check lines.
    Simulator(const Options& options, int masterFd, int signalFd, std::FILE* report);

    // Runs until a terminating signal or the time limit; returns the exit status.
    int Run();

private:
    using Clock = std::chrono::steady_clock;

    void ReadInput();
    void TakeInput(const std::uint8_t* data, std::size_t count);
    void FinishBlock();
    void ProduceLines(Clock::time_point now);
    void ProduceFlood(Clock::time_point now);
    void WriteOutput();
    bool HandleSignals();  // false: time to stop
    void Report();
    void MarkHungUp(Clock::time_point now);
    bool OutputHasRoom() const;
    Clock::time_point NextWake(Clock::time_point now) const;

    const Options& m_options;
    int m_master;
    int m_signals;
    std::FILE* m_report;

    Clock::time_point m_start;
    std::vector<std::uint8_t> m_output;     // bytes waiting for the master
    std::size_t m_outputSent = 0;           // how much of m_output is written

    std::vector<std::uint8_t> m_block;      // request being gathered for --reply
    Clock::time_point m_blockQuietAt{};     // when it counts as complete

    std::uint64_t m_nextLine = 1;

    FloodGenerator m_generator;
    double m_floodCredit = 0;               // bytes the rate allows now
    Clock::time_point m_floodLast{};

    FloodChecker m_checker;

    bool m_hungUp = false;                  // nobody holds the far end
    Clock::time_point m_retryAt{};
};

}  // namespace devsim
