#include "tools/devsim/Simulator.h"

#include "platform/PosixIo.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <string>

namespace devsim {
namespace {

using namespace std::chrono_literals;

// Output kept in hand beyond what the kernel buffers; past this the simulator
// stops reading input and stops producing, like a device whose line is held.
constexpr std::size_t kOutputRoom = 64 * 1024;
// A --reply request ends when the line has been quiet this long.
constexpr auto kRequestQuiet = 2ms;
// With the far end closed by everyone, look again this often (no busy loop).
constexpr auto kHangupRetry = 50ms;
// Flood bytes the rate may save up, in seconds of rate: no burst after a stall.
constexpr double kFloodCreditSeconds = 0.05;

}  // namespace

Simulator::Simulator(const Options& options, int masterFd, int signalFd, std::FILE* report)
    : m_options(options), m_master(masterFd), m_signals(signalFd), m_report(report)
{
    m_output.reserve(kOutputRoom + 4096);
}

int Simulator::Run()
{
    m_start = Clock::now();
    m_floodLast = m_start;
    const auto deadline =
        m_options.timeLimit
            ? m_start + std::chrono::duration_cast<Clock::duration>(
                            std::chrono::duration<double>(*m_options.timeLimit))
            : Clock::time_point::max();

    for (;;) {
        auto now = Clock::now();
        if (now >= deadline)
            break;
        if (m_hungUp && now >= m_retryAt)
            m_hungUp = false;
        if (!m_block.empty() && now >= m_blockQuietAt)
            FinishBlock();
        if (m_options.lines)
            ProduceLines(now);
        if (m_options.flood)
            ProduceFlood(now);

        pollfd fds[2] = {{m_signals, POLLIN, 0}, {-1, 0, 0}};
        if (!m_hungUp) {
            fds[1].fd = m_master;
            if (OutputHasRoom())
                fds[1].events |= POLLIN;
            if (m_outputSent < m_output.size())
                fds[1].events |= POLLOUT;
        }
        const auto wake = std::min(NextWake(now), deadline);
        const auto wait = std::max(wake - now, Clock::duration::zero());
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(wait);
        const timespec timeout{static_cast<time_t>(seconds.count()),
                               static_cast<long>((wait - seconds).count())};
        const timespec* timeoutPtr = wake == Clock::time_point::max() ? nullptr : &timeout;
        const int ready = ppoll(fds, 2, timeoutPtr, nullptr);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            std::perror("kestrana-devsim: ppoll");
            return 1;
        }
        if (fds[0].revents & POLLIN) {
            if (!HandleSignals())
                break;
        }
        if (fds[1].fd >= 0 && fds[1].revents != 0) {
            if (fds[1].revents & POLLIN)
                ReadInput();
            if (!m_hungUp && (fds[1].revents & POLLOUT))
                WriteOutput();
            // Hangup with nothing left to read: nobody holds the far end.
            if (!m_hungUp && (fds[1].revents & (POLLHUP | POLLERR)) && !(fds[1].revents & POLLIN))
                MarkHungUp(Clock::now());
        }
    }
    if (m_options.check)
        Report();
    return 0;
}

Simulator::Clock::time_point Simulator::NextWake(Clock::time_point now) const
{
    auto wake = Clock::time_point::max();
    if (m_hungUp)
        wake = std::min(wake, m_retryAt);
    if (!m_block.empty())
        wake = std::min(wake, m_blockQuietAt);
    if (m_options.lines && OutputHasRoom()) {
        const auto due = m_start + std::chrono::duration_cast<Clock::duration>(
                                       std::chrono::duration<double>(
                                           static_cast<double>(m_nextLine - 1) / m_options.lineRate));
        wake = std::min(wake, due);
    }
    const bool floodLeft = !m_options.floodBytes || m_generator.Position() < *m_options.floodBytes;
    if (m_options.flood && floodLeft && OutputHasRoom()) {
        if (m_options.floodRate == 0) {
            wake = now;
        } else {
            // Wake when a worthwhile chunk is allowed, not for every byte.
            const double rate = static_cast<double>(m_options.floodRate);
            const double chunk = std::clamp(rate / 100.0, 1.0, 512.0);
            const double missing = std::max(chunk - m_floodCredit, 0.0);
            wake = std::min(wake, now + std::chrono::duration_cast<Clock::duration>(
                                            std::chrono::duration<double>(missing / rate)));
        }
    }
    return wake;
}

bool Simulator::OutputHasRoom() const
{
    return m_output.size() - m_outputSent < kOutputRoom;
}

void Simulator::ReadInput()
{
    std::uint8_t buffer[4096];
    for (int round = 0; round < 16 && OutputHasRoom(); ++round) {
        const ssize_t n = platform::ReadRetry(m_master, buffer, sizeof buffer);
        if (n > 0) {
            TakeInput(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        MarkHungUp(Clock::now());  // EIO or end of file: the far end is closed
        return;
    }
}

void Simulator::TakeInput(const std::uint8_t* data, std::size_t count)
{
    if (m_options.check)
        m_checker.Feed(data, count);
    if (!m_options.replies.empty()) {
        m_block.insert(m_block.end(), data, data + count);
        m_blockQuietAt = Clock::now() + kRequestQuiet;
        return;
    }
    if (m_options.echo)
        m_output.insert(m_output.end(), data, data + count);
}

void Simulator::FinishBlock()
{
    const auto match = std::find_if(m_options.replies.begin(), m_options.replies.end(),
                                    [this](const Reply& r) { return r.request == m_block; });
    if (match != m_options.replies.end())
        m_output.insert(m_output.end(), match->response.begin(), match->response.end());
    else if (m_options.echo)
        m_output.insert(m_output.end(), m_block.begin(), m_block.end());
    m_block.clear();
}

void Simulator::ProduceLines(Clock::time_point now)
{
    const double elapsed = std::chrono::duration<double>(now - m_start).count();
    const auto due = static_cast<std::uint64_t>(std::floor(elapsed * m_options.lineRate)) + 1;
    while (m_nextLine <= due) {
        // A line that finds the output full is lost, as on a held line; the
        // numbering shows the gap.
        if (OutputHasRoom()) {
            const std::string line = "line " + std::to_string(m_nextLine) + "\r\n";
            m_output.insert(m_output.end(), line.begin(), line.end());
        }
        ++m_nextLine;
    }
}

void Simulator::ProduceFlood(Clock::time_point now)
{
    std::uint64_t allowed = kOutputRoom;
    if (m_options.floodRate != 0) {
        const double rate = static_cast<double>(m_options.floodRate);
        const double elapsed = std::chrono::duration<double>(now - m_floodLast).count();
        m_floodLast = now;
        m_floodCredit = std::min(m_floodCredit + elapsed * rate,
                                 std::max(rate * kFloodCreditSeconds, 4096.0));
        allowed = static_cast<std::uint64_t>(m_floodCredit);
    }
    if (m_options.floodBytes)
        allowed = std::min(allowed, *m_options.floodBytes - std::min(*m_options.floodBytes,
                                                                     m_generator.Position()));
    const std::size_t pending = m_output.size() - m_outputSent;
    const std::size_t room = pending < kOutputRoom ? kOutputRoom - pending : 0;
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(allowed, room));
    if (count == 0)
        return;
    const std::size_t at = m_output.size();
    m_output.resize(at + count);
    m_generator.Fill(m_output.data() + at, count);
    if (m_options.floodRate != 0)
        m_floodCredit -= static_cast<double>(count);
}

void Simulator::WriteOutput()
{
    while (m_outputSent < m_output.size()) {
        const ssize_t n = platform::WriteRetry(m_master, m_output.data() + m_outputSent,
                                               m_output.size() - m_outputSent);
        if (n > 0) {
            m_outputSent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        MarkHungUp(Clock::now());
        break;
    }
    if (m_outputSent == m_output.size()) {
        m_output.clear();
        m_outputSent = 0;
    } else if (m_outputSent >= kOutputRoom) {
        m_output.erase(m_output.begin(), m_output.begin() + static_cast<std::ptrdiff_t>(m_outputSent));
        m_outputSent = 0;
    }
}

bool Simulator::HandleSignals()
{
    signalfd_siginfo info{};
    bool keepRunning = true;
    while (platform::ReadRetry(m_signals, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        if (info.ssi_signo == SIGUSR1) {
            if (m_options.check)
                Report();
        } else {
            keepRunning = false;
        }
    }
    return keepRunning;
}

void Simulator::Report()
{
    std::fprintf(m_report, "check bytes=%" PRIu64 " errors=%" PRIu64 "\n", m_checker.Bytes(),
                 m_checker.Errors());
    std::fflush(m_report);
}

void Simulator::MarkHungUp(Clock::time_point now)
{
    m_hungUp = true;
    m_retryAt = now + kHangupRetry;
}

}  // namespace devsim
