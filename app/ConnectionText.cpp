#include "app/ConnectionText.h"

#include <cstdio>

char ParityLetter(std::uint8_t parity)
{
    static constexpr char kLetters[] = {'N', 'O', 'E', 'M', 'S'};
    return parity < sizeof kLetters ? kLetters[parity] : '?';
}

const char* StopBitsText(std::uint8_t stopBits)
{
    // The number a user reads on the device's label, not the line code.
    switch (stopBits) {
    case 0:
        return "1";
    case 1:
        return "1.5";
    case 2:
        return "2";
    default:
        return "?";
    }
}

std::string ConnectionText(std::uint32_t port, std::uint32_t baudRate, std::uint8_t dataBits,
                           std::uint8_t parity, std::uint8_t stopBits)
{
    char text[96];
    std::snprintf(text, sizeof text, "COM%u: %u / %c / %u / %s", port + 1, baudRate,
                  ParityLetter(parity), static_cast<unsigned>(dataBits), StopBitsText(stopBits));
    return text;
}
