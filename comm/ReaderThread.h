#pragma once
// The reader/status thread's side of the engine: it reads received blocks
// into the ring, samples the modem lines and counters into events, and posts
// the status texts. What it alone touches is here; the rest is PortShared.

#include "comm/CommEvents.h"
#include "comm/PortShared.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

class ReaderThread {
public:
    explicit ReaderThread(PortShared& shared) : m_shared(shared) {}
    ReaderThread(const ReaderThread&) = delete;
    ReaderThread& operator=(const ReaderThread&) = delete;

    // The thread's body: returns once the exit event is set.
    void Run();

private:
    std::uint32_t ReadBlock(ReceivePacket* packet);  // bytes delivered
    void DeliverPacket(std::uint32_t length);
    void HandleDeviceGone();
    void PostStatusMessages();
    void ReportCommEvent(std::uint32_t eventWord);
    void ReportLineErrors();
    void ClearLineErrors();
    void PollModemStatus();
    void SampleLineState(bool raiseEvents);
    // False when the port could not be asked; `failure` then says why (empty
    // when no line control is there to ask).
    bool ReadComStat(std::uint32_t& errors, ComStat& status, std::string& failure);
    bool WatchingLines() const;

    bool HasReadAhead() const { return m_nAheadAt < m_nAheadEnd; }

    PortShared& m_shared;
    // One read takes what the tty has, up to this much; packets are filled
    // from it. Reading a packet's worth at a time costs the tty a refill
    // (and a thread switch in the kernel) for every 512 bytes under a flood.
    static constexpr std::size_t kReadAhead = 16384;
    std::array<std::uint8_t, kReadAhead> m_ahead{};
    std::size_t m_nAheadAt = 0;
    std::size_t m_nAheadEnd = 0;
    std::int64_t m_nAheadReadNs = 0;  // when the bytes read ahead came
    bool m_bReadFailureShown = false;
    LineCounters m_errorBaseline{};
    LineCounters m_eventBaseline{};
    int m_nLastModemLines = 0;
    bool m_bModemLinesKnown = false;
    bool m_bModemLinesSupported = true;
    bool m_bCountersSupported = true;
    bool m_bEventBaselineKnown = false;
    bool m_bErrorBaselineKnown = false;
};
