#pragma once
// One funnel for failed system calls: the text names what was tried, on which
// device or file, and why, e.g.
//   "Cannot open /dev/ttyUSB0: Permission denied (add yourself to the dialout group)"
// Callers keep their own fixed texts for message boxes and add this one where
// a person can read it (event box, event log, standard error, detail text).

#include <string>
#include <string_view>

namespace platform {

// "<action> <object>: <strerror(error)>" plus a hint where one helps.
// `object` may be empty: then "<action>: <reason>".
std::string DescribeFailure(std::string_view action, std::string_view object, int error);

// "<action> <object>: <reason>" for a refusal that no errno names, e.g.
//   "Cannot read /dev/zero: not a regular file"
std::string DescribeFailure(std::string_view action, std::string_view object,
                            std::string_view reason);

// The same with the calling thread's errno (read before anything else runs).
std::string DescribeLastFailure(std::string_view action, std::string_view object);

// strerror(error) without the thread-safety trap of strerror().
std::string ErrorText(int error);

}  // namespace platform
