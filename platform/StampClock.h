#pragma once
// One clock for every stamp: CLOCK_MONOTONIC in nanoseconds, read where a
// block is read or written. Stamps shown as a time of day map it to the wall
// clock through one anchor taken at the first such mapping, so a wall-clock
// step (NTP, the user) never makes stamps of one run go backwards.

#include "platform/LocalTime.h"

#include <cstdint>

namespace platform {

// Nanoseconds since an arbitrary start; never goes back. Any thread.
std::int64_t MonotonicNs();

// The local date and time of day of a monotonic instant. Any thread.
LocalTime LocalTimeAt(std::int64_t monotonicNs);

}  // namespace platform
