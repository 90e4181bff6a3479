#pragma once
// CRC-16/DNP (reflected polynomial 0xA6BC, initial value 0, final complement;
// check value 0xEA82 for the ASCII text 123456789), table-driven, and the
// append that sends it low byte first after the data.

#include <cstddef>
#include <cstdint>
#include <optional>

namespace support {

// The longest block a CRC is appended to: its count travels in 16 bits.
inline constexpr std::size_t kMaxCrcBlock = 65535;

// The CRC of `count` bytes (0xFFFF for none).
std::uint16_t Crc16Dnp(const std::uint8_t* data, std::size_t count);

// Computes the CRC of the first total - 2 bytes of buffer and stores it at
// positions total - 2 (low byte) and total - 1 (high byte). Nothing is
// written, and nullopt returned, when total is below 2 or the data is longer
// than kMaxCrcBlock.
std::optional<std::uint16_t> AppendCrc16(std::uint8_t* buffer, std::size_t total);

}  // namespace support
