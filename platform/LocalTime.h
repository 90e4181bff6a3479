#pragma once
// The local wall-clock time, broken down as a calendar date and time of day.

#include <functional>

namespace platform {

struct LocalTime {
    int year;         // e.g. 2026
    int month;        // 1..12
    int day;          // 1..31
    int hour;         // 0..23
    int minute;       // 0..59
    int second;       // 0..60
    int millisecond;  // 0..999
};

LocalTime GetLocalTime();

// Replaces the clock (tests pin the time); an empty function restores it.
void SetLocalTimeSource(std::function<LocalTime()> source);

}  // namespace platform
