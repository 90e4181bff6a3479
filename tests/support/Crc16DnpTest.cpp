#include "support/Crc16Dnp.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

// The textbook form, one bit at a time: the table must agree with it.
std::uint16_t BitwiseCrc16Dnp(const std::vector<std::uint8_t>& data)
{
    std::uint16_t crc = 0;
    for (std::uint8_t byte : data) {
        for (int bit = 0; bit < 8; ++bit) {
            const bool feedback = ((crc ^ (byte >> bit)) & 1) != 0;
            crc = static_cast<std::uint16_t>(crc >> 1);
            if (feedback)
                crc ^= 0xA6BC;
        }
    }
    return static_cast<std::uint16_t>(crc ^ 0xFFFF);
}

TEST(Crc16Dnp, CatalogueCheckValue)
{
    const std::uint8_t text[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(support::Crc16Dnp(text, sizeof text), 0xEA82);
}

TEST(Crc16Dnp, WorkedExampleIsAppendedLowByteFirst)
{
    std::uint8_t buffer[5] = {0x01, 0x02, 0x03, 0, 0};
    EXPECT_EQ(support::Crc16Dnp(buffer, 3), 0xA740);
    const auto crc = support::AppendCrc16(buffer, sizeof buffer);
    ASSERT_TRUE(crc.has_value());
    EXPECT_EQ(*crc, 0xA740);
    EXPECT_EQ(buffer[3], 0x40);
    EXPECT_EQ(buffer[4], 0xA7);
}

TEST(Crc16Dnp, EmptyBlock)
{
    EXPECT_EQ(support::Crc16Dnp(nullptr, 0), 0xFFFF);
}

TEST(Crc16Dnp, RandomBlocksAgreeWithTheBitwiseForm)
{
    std::mt19937 random(20261205);
    for (int round = 0; round < 300; ++round) {
        std::vector<std::uint8_t> data(random() % 700);
        for (auto& b : data)
            b = static_cast<std::uint8_t>(random());
        ASSERT_EQ(support::Crc16Dnp(data.data(), data.size()), BitwiseCrc16Dnp(data))
            << "length " << data.size();
    }
}

TEST(Crc16Dnp, LongestBlockGetsItsCrcAndOneMoreIsRefused)
{
    std::vector<std::uint8_t> buffer(support::kMaxCrcBlock + 3, 0x5A);
    // 65,535 data bytes: appended, and right.
    std::vector<std::uint8_t> data(buffer.begin(), buffer.begin() + support::kMaxCrcBlock);
    const auto crc = support::AppendCrc16(buffer.data(), support::kMaxCrcBlock + 2);
    ASSERT_TRUE(crc.has_value());
    EXPECT_EQ(*crc, BitwiseCrc16Dnp(data));

    // 65,536: refused, nothing written.
    std::vector<std::uint8_t> longer(support::kMaxCrcBlock + 3, 0x5A);
    EXPECT_FALSE(support::AppendCrc16(longer.data(), longer.size()).has_value());
    EXPECT_EQ(longer[longer.size() - 2], 0x5A);
    EXPECT_EQ(longer.back(), 0x5A);
}

TEST(Crc16Dnp, TooShortForACrc)
{
    std::uint8_t buffer[1] = {0x77};
    EXPECT_FALSE(support::AppendCrc16(buffer, 1).has_value());
    EXPECT_FALSE(support::AppendCrc16(buffer, 0).has_value());
    EXPECT_EQ(buffer[0], 0x77);
    std::uint8_t two[2] = {0, 0};
    ASSERT_TRUE(support::AppendCrc16(two, 2).has_value());  // no data: the CRC of nothing
    EXPECT_EQ(two[0], 0xFF);
    EXPECT_EQ(two[1], 0xFF);
}

}  // namespace
