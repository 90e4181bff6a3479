#include "support/TrafficLog.h"

#include "platform/StampClock.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>

namespace support {
namespace {

constexpr std::int64_t kNsPerMs = 1'000'000;

}  // namespace

TrafficLog::TrafficLog(const std::string& fileName, int joinGapMs)
    : m_file(std::make_unique<CLogFile>(fileName)),
      m_joinGapNs(std::int64_t(std::max(joinGapMs, 0)) * kNsPerMs)
{
    m_thread = std::jthread([this](std::stop_token stop) { Run(stop); });
}

TrafficLog::~TrafficLog()
{
    m_thread.request_stop();
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void TrafficLog::Record(TrafficDirection direction, std::int64_t firstNs, std::int64_t lastNs,
                        const std::uint8_t* bytes, std::size_t n)
{
    if (n == 0 || !m_file->HasFile())
        return;
    {
        std::lock_guard lock(m_mutex);
        if (m_queuedBytes + n > kMaxQueuedBytes) {
            m_lostBytes += n;
            m_lostUntold += n;
            return;
        }
        m_queue.push_back({direction, firstNs, lastNs, m_joinGapNs.load(),
                           std::vector<std::uint8_t>(bytes, bytes + n)});
        m_queuedBytes += n;
    }
    m_wake.notify_one();
}

void TrafficLog::SetJoinGapMs(int joinGapMs)
{
    m_joinGapNs.store(std::int64_t(std::max(joinGapMs, 0)) * kNsPerMs);
}

void TrafficLog::Drain()
{
    std::unique_lock lock(m_mutex);
    const std::uint64_t target = m_drainsDone + 1;
    m_drainAsked = true;
    m_wake.notify_all();
    m_drained.wait(lock, [&] { return m_drainsDone >= target || !m_thread.joinable(); });
}

std::uint64_t TrafficLog::LostBytes() const
{
    std::lock_guard lock(m_mutex);
    return m_lostBytes;
}

void TrafficLog::Run(std::stop_token stop)
{
    std::vector<Block> incoming;
    for (;;) {
        bool drain = false;
        std::uint64_t lostUntold = 0;
        {
            std::unique_lock lock(m_mutex);
            // Awake while something is held back, to write it once it is old enough.
            const auto wait = m_held.empty() && !m_frameOpen ? std::chrono::milliseconds(500)
                                                             : std::chrono::milliseconds(kReorderMs / 2);
            m_wake.wait_for(lock, stop, wait, [&] { return !m_queue.empty() || m_drainAsked; });
            incoming.swap(m_queue);
            m_queuedBytes = 0;
            drain = m_drainAsked || stop.stop_requested();
            std::swap(lostUntold, m_lostUntold);
        }
        for (Block& block : incoming)
            m_held.push_back(std::move(block));
        incoming.clear();
        // Blocks come from two threads: put them in the order they happened.
        std::stable_sort(m_held.begin(), m_held.end(),
                         [](const Block& a, const Block& b) { return a.firstNs < b.firstNs; });
        WriteUpTo(drain ? INT64_MAX : platform::MonotonicNs() - kReorderMs * kNsPerMs);
        if (lostUntold > 0) {
            char note[96];
            std::snprintf(note, sizeof note, "-- %llu bytes not logged: the log fell behind\n",
                          static_cast<unsigned long long>(lostUntold));
            m_file->WriteLines(note);
        }
        if (drain) {
            m_file->Flush();
            std::lock_guard lock(m_mutex);
            m_drainAsked = false;
            ++m_drainsDone;
            m_drained.notify_all();
        }
        if (stop.stop_requested()) {
            std::lock_guard lock(m_mutex);
            if (m_queue.empty())
                return;
        }
    }
}

void TrafficLog::WriteUpTo(std::int64_t cutoffNs)
{
    std::size_t used = 0;
    for (; used < m_held.size() && m_held[used].firstNs <= cutoffNs; ++used) {
        Block& block = m_held[used];
        const bool joins = m_frameOpen && block.direction == m_frame.direction &&
                           block.firstNs - m_frame.lastNs < block.joinGapNs;
        if (joins) {
            m_frame.bytes.insert(m_frame.bytes.end(), block.bytes.begin(), block.bytes.end());
            m_frame.lastNs = block.lastNs;
        } else {
            CloseFrame();
            m_frame = std::move(block);
            m_frameOpen = true;
        }
    }
    m_held.erase(m_held.begin(), m_held.begin() + static_cast<std::ptrdiff_t>(used));
    // No block still to come can join a frame whose gap has passed the cutoff.
    if (m_frameOpen && (cutoffNs == INT64_MAX || m_frame.lastNs + std::max(m_frame.joinGapNs, m_joinGapNs.load()) <= cutoffNs))
        CloseFrame();
}

void TrafficLog::CloseFrame()
{
    if (!m_frameOpen)
        return;
    m_frameOpen = false;
    m_line.clear();
    const std::uint8_t* bytes = m_frame.bytes.data();
    std::size_t left = m_frame.bytes.size();
    while (left > 0) {
        const std::size_t n = std::min(left, kMaxLineBytes);
        FormatLine(m_frame.direction, m_frame.firstNs, bytes, n, m_line);
        m_line += '\n';
        bytes += n;
        left -= n;
    }
    m_file->WriteLines(m_line);
    m_frame.bytes.clear();
}

void TrafficLog::FormatLine(TrafficDirection direction, std::int64_t monotonicNs,
                            const std::uint8_t* bytes, std::size_t n, std::string& out)
{
    static const char kHex[] = "0123456789ABCDEF";
    const platform::LocalTime at = platform::LocalTimeAt(monotonicNs);
    char head[32];
    std::snprintf(head, sizeof head, "%02d:%02d:%02d.%03d %s", at.hour, at.minute, at.second,
                  at.millisecond, direction == TrafficDirection::Received ? "RX" : "TX");
    out += head;
    const std::size_t hexAt = out.size();
    out.resize(hexAt + 3 * n + 2 + n);
    char* p = out.data() + hexAt;
    for (std::size_t i = 0; i < n; ++i) {
        *p++ = ' ';
        *p++ = kHex[bytes[i] >> 4];
        *p++ = kHex[bytes[i] & 0xF];
    }
    *p++ = ' ';
    *p++ = ' ';
    for (std::size_t i = 0; i < n; ++i)
        *p++ = bytes[i] >= 0x20 && bytes[i] < 0x7F ? static_cast<char>(bytes[i]) : '.';
}

}  // namespace support
