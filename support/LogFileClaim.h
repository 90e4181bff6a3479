#pragma once
// Picks the file a log writes for this run, so that no start ever destroys a
// log and two running programs never share one:
//  - The requested file is opened without emptying it and locked (flock,
//    exclusive, for as long as the descriptor lives).
//  - Held by another running program: that file is left alone and this run
//    takes the next numbered name that does not exist yet ("event1206.1.log",
//    ".2.log", ...), created exclusively.
//  - Not held and not empty (an earlier run's log): it is renamed to the next
//    free numbered name and a fresh, empty file takes its place.
// Only the holder of the lock on the file at the requested name moves it, and
// every rename refuses to replace an existing name, so two starting programs
// cannot pick the same file or empty each other's.

#include "platform/UniqueFd.h"

#include <optional>
#include <string>

namespace support {

struct ClaimedLog {
    platform::UniqueFd fd;      // open for appending, locked
    std::string path;           // the file actually used
    std::string setAsidePath;   // where an earlier run's file went; "" when none moved
    // Why the requested name is not used ("" when it is); says which file
    // holds it, e.g. "event1206.log is in use by another Kestrana".
    std::string otherNameReason;
};

// Empty with `failure` describing the cause (file and reason) when no file
// could be had.
std::optional<ClaimedLog> ClaimLogFile(const std::string& path, std::string& failure);

}  // namespace support
