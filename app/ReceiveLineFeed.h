#pragma once
// The receive-LF option: a line feed goes in directly after the first carriage
// return of a received block, in place.

#include <cstddef>
#include <cstdint>

// `data` holds `length` received bytes in a buffer of `capacity` bytes. Only
// the first CR among the received bytes is expanded; a zero byte does not end
// the search (binary data may contain one). Returns true when a line feed was
// inserted; false when there is no CR or no room, leaving the block unchanged.
bool InsertLineFeedAfterFirstCR(std::uint8_t* data, std::uint32_t& length, std::size_t capacity);
