#pragma once
// The bytes a typed hex string stands for, as the automation windows send
// them: spaces removed, upper-cased, two characters per byte; a last single
// character gives no byte. Plain C++ on a text buffer.

#include <cstdint>
#include <string_view>
#include <vector>

namespace automation {

std::vector<std::uint8_t> HexTextBytes(std::string_view text);

}  // namespace automation
