#pragma once
// The writer thread's side of the engine: it drains the write-request queue
// to the line in order. What it alone touches is here; the rest is PortShared.

#include "comm/PortShared.h"

#include <sys/uio.h>

#include <cstdint>

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

    PortShared& m_shared;
    bool m_bWriteFailureShown = false;
};
