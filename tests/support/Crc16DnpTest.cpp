#include "support/Crc16Dnp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

// The textbook form, one bit at a time: the table must agree with it.
std::uint16_t BitwiseCrc16Dnp(const std::uint8_t* data, std::size_t count)
{
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < count; ++i)
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<std::uint16_t>((crc >> 1) ^ (((crc ^ (data[i] >> bit)) & 1) != 0 ? 0xA6BC : 0));
    return static_cast<std::uint16_t>(crc ^ 0xFFFF);
}

TEST(Crc16Dnp, CatalogueValueAndRandomBlocksAgreeWithTheBitwiseForm)
{
    const std::uint8_t text[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(support::Crc16Dnp(text, sizeof text), 0xEA82);
    EXPECT_EQ(support::Crc16Dnp(nullptr, 0), 0xFFFF);
    std::mt19937 random(20261205);
    for (int round = 0; round < 300; ++round) {
        std::vector<std::uint8_t> data(random() % 700);
        for (auto& b : data)
            b = static_cast<std::uint8_t>(random());
        ASSERT_EQ(support::Crc16Dnp(data.data(), data.size()), BitwiseCrc16Dnp(data.data(), data.size()))
            << "length " << data.size();
    }
}

TEST(Crc16Dnp, AppendedLowByteFirstUpToTheLongestBlockAndNeverBeyond)
{
    const struct {
        std::size_t total;  // data and the two CRC places
        bool appended;
    } cases[] = {{1, false}, {5, true}, {support::kMaxCrcBlock + 2, true}, {support::kMaxCrcBlock + 3, false}};
    for (const auto& c : cases) {
        std::vector<std::uint8_t> buffer(c.total + 1, 0x5A);
        for (std::size_t i = 0; i < std::min<std::size_t>(c.total, 3); ++i)
            buffer[i] = static_cast<std::uint8_t>(i + 1);  // 01 02 03 in the worked example
        const std::vector<std::uint8_t> before = buffer;
        const auto crc = support::AppendCrc16(buffer.data(), c.total);
        ASSERT_EQ(crc.has_value(), c.appended) << c.total;
        if (!c.appended) {
            EXPECT_EQ(buffer, before) << "nothing written for " << c.total;
            continue;
        }
        EXPECT_EQ(*crc, BitwiseCrc16Dnp(buffer.data(), c.total - 2)) << c.total;
        EXPECT_EQ(buffer[c.total - 2], *crc & 0xFF) << c.total;
        EXPECT_EQ(buffer[c.total - 1], *crc >> 8) << c.total;
        EXPECT_EQ(buffer[c.total], 0x5A) << "nothing past the CRC for " << c.total;
        if (c.total == 5) {
            EXPECT_EQ(*crc, 0xA740);
        }
    }
}

}  // namespace
