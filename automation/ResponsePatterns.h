#pragma once
// The automatic responder's matching on plain buffers: a received block as
// hex text, the reply stored for exactly that block, and the first-byte table
// the frame tests every block against before it hands one to the window.

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

namespace automation {

// In pattern (trimmed, upper case) -> reply (upper case, as typed).
using ResponseStore = std::map<std::string, std::string>;

// The window has three rows; the store never holds more patterns.
inline constexpr std::size_t kMaxResponsePatterns = 3;

using FirstByteTable = std::array<std::uint8_t, kMaxResponsePatterns + 1>;

// "01 0A FF": each byte as two upper-case hex digits, single spaces between.
std::string BlockHexText(const std::uint8_t* data, std::size_t length);

// The reply stored for a block that is exactly one pattern, or null.
const std::string* FindReply(const ResponseStore& store, const std::uint8_t* data, std::size_t length);

// The byte each pattern's first two characters denote, in the store's order,
// then zero. Returns how many patterns are in the table (at most three).
std::size_t BuildFirstByteTable(const ResponseStore& store, FirstByteTable& table);

// Whether `first` is one of the first `count` bytes of the table; 0x00 is a
// byte like any other.
bool FirstByteHit(const FirstByteTable& table, std::size_t count, std::uint8_t first);

}  // namespace automation
