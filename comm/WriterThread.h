#pragma once
// The writer thread's side of the engine: it drains the write-request queue
// to the line in order. What it alone touches is here; the rest is PortShared.

#include "comm/PortShared.h"

#include <sys/uio.h>

#include <cstddef>
#include <cstdint>
#include <vector>

class WriterThread {
public:
    explicit WriterThread(PortShared& shared) : m_shared(shared) {}
    WriterThread(const WriterThread&) = delete;
    WriterThread& operator=(const WriterThread&) = delete;

    // The thread's body: returns once the exit event is set.
    void Run();

private:
    void ProcessWriteRequests();
    void WriterGeneric(const std::uint8_t* buffer, std::uint32_t count);
    void WriterGather(iovec* pieces, int count);
    void CheckOutputDrained();
    void RecordWritten(const iovec* pieces, int count, std::size_t put, std::int64_t startNs);

    PortShared& m_shared;
    bool m_bWriteFailureShown = false;
    std::vector<std::uint8_t> m_written;  // a gathered write, joined for the traffic log
};
