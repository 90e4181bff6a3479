#pragma once
// The status bar's connection text, e.g. "COM1: 9600 / N / 8 / 1".

#include <cstdint>
#include <string>

// Parity code 0..4 -> 'N', 'O', 'E', 'M', 'S'; any other code '?'.
char ParityLetter(std::uint8_t parity);

// Stop-bit code 0 -> "1", 1 -> "1.5", 2 -> "2"; any other code "?".
const char* StopBitsText(std::uint8_t stopBits);

// `port` is the slot index 0..7 (shown as COM1..COM8).
std::string ConnectionText(std::uint32_t port, std::uint32_t baudRate, std::uint8_t dataBits,
                           std::uint8_t parity, std::uint8_t stopBits);
