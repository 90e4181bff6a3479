#pragma once
// Hex text to bytes and back, as typed by the user and shown in the terminal:
// two characters per byte, the high nibble first, encoding in upper case.
// Plain functions on buffers, shared by the terminal, the automation windows
// and the TCP bridge.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace support {

// Writes the two upper-case hex characters of `byte` to dst[0] and dst[1]
// (no terminator) and returns dst + 2.
char* ByteToHex(char* dst, std::uint8_t byte);

// The byte of two hex characters, either case. A character that is not a hex
// digit counts as 0 in the first place and repeats the first character's
// value in the second.
std::uint8_t HexPairToByte(const char* pair);

// Decodes the pairs of `text` into dst: one byte per complete pair, stopping
// at the end of the text or at a NUL, never reading past either. An unpaired
// last character gives no byte. Returns the number of bytes written, at most
// text.size() / 2.
std::size_t HexToBytes(std::uint8_t* dst, std::string_view text);

// A typed hex string made ready for HexToBytes: spaces removed, upper-cased.
std::string NormalizeHexText(std::string_view text);

// True for 0-9, A-F and a-f.
bool IsHexDigit(char c);

}  // namespace support
