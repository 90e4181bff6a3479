#include "support/Crc16Dnp.h"

#include <array>

namespace support {

namespace {

constexpr std::uint16_t kReflectedPolynomial = 0xA6BC;

constexpr std::array<std::uint16_t, 256> MakeTable()
{
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = i;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? (crc >> 1) ^ kReflectedPolynomial : crc >> 1;
        table[i] = static_cast<std::uint16_t>(crc);
    }
    return table;
}

constexpr std::array<std::uint16_t, 256> kTable = MakeTable();

}  // namespace

std::uint16_t Crc16Dnp(const std::uint8_t* data, std::size_t count)
{
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < count; ++i)
        crc = static_cast<std::uint16_t>(kTable[(crc ^ data[i]) & 0xFF] ^ (crc >> 8));
    return static_cast<std::uint16_t>(~crc);
}

std::optional<std::uint16_t> AppendCrc16(std::uint8_t* buffer, std::size_t total)
{
    if (total < 2 || total - 2 > kMaxCrcBlock)
        return std::nullopt;
    const std::size_t count = total - 2;
    const std::uint16_t crc = Crc16Dnp(buffer, count);
    buffer[count] = static_cast<std::uint8_t>(crc & 0xFF);
    buffer[count + 1] = static_cast<std::uint8_t>(crc >> 8);
    return crc;
}

}  // namespace support
