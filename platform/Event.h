#pragma once
// Events a thread can wait on together with a file descriptor and a time-out.
// Each event is an eventfd: "signalled" means the counter is non-zero.
// A manual-reset event stays signalled until Reset(); an auto-reset event is
// cleared by the one wait that takes it.

#include "platform/UniqueFd.h"

#include <poll.h>

#include <chrono>
#include <initializer_list>

namespace platform {

enum class ResetMode { Manual, Auto };

class Event {
public:
    explicit Event(ResetMode mode, bool initiallySignalled = false);
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    bool valid() const { return m_fd.valid(); }
    bool Set();
    bool Reset();
    // True when signalled; an auto-reset event is cleared by a true result.
    bool TryWait();
    // Waits at most `timeout` (negative: no limit). Same clearing rule as TryWait.
    bool Wait(std::chrono::milliseconds timeout);
    int fd() const { return m_fd.get(); }
    ResetMode mode() const { return m_mode; }

private:
    UniqueFd m_fd;
    ResetMode m_mode;
};

// What WaitForEvents saw. Events are tested in the order given, so an earlier
// event wins when several are signalled together (as with Windows' wait).
struct WaitResult {
    enum Kind { EventSignalled, FdReady, Timeout, Failed } kind;
    int index = -1;    // which event, for EventSignalled
    short revents = 0; // poll() bits of the descriptor, for FdReady
};

struct FdWait {
    int fd = -1;        // -1: no descriptor
    short events = 0;   // poll() events to wait for
};

// Waits for the first of `events` to be signalled or `fdWait` to be ready.
// The descriptor is looked at only when no event is signalled. A negative
// time-out waits without limit.
WaitResult WaitForEvents(std::initializer_list<Event*> events, FdWait fdWait,
                         std::chrono::milliseconds timeout);

}  // namespace platform
