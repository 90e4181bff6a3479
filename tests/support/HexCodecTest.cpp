// The byte codecs of the hex mode: hex text both ways, and the CRC-16/DNP a
// hex line may carry.

#include "support/Crc16Dnp.h"
#include "support/HexCodec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace {

TEST(HexCodec, EveryByteGoesThereAndBackInEitherCase)
{
    for (unsigned b = 0; b < 256; ++b) {
        char out[3] = {'x', 'x', 'x'};
        EXPECT_EQ(support::ByteToHex(out, static_cast<std::uint8_t>(b)), out + 2);
        char expected[3];
        std::snprintf(expected, sizeof expected, "%02X", b);
        EXPECT_EQ(std::string(out, 3), std::string(expected, 2) + "x") << "two upper-case characters, no NUL";
        EXPECT_EQ(support::HexPairToByte(out), b);
        const char lower[2] = {static_cast<char>(std::tolower(out[0])), static_cast<char>(std::tolower(out[1]))};
        EXPECT_EQ(support::HexPairToByte(lower), b);
    }

    EXPECT_EQ(support::NormalizeHexText(" 0a 1B\tc "), "0A1B\tC");
}

TEST(HexCodec, HexToBytesDecodesWholePairsAndStopsAtTheEnd)
{
    const struct {
        std::string text;
        std::vector<std::uint8_t> bytes;
    } cases[] = {
        {"0", {}},
        {"ABCDE", {0xAB, 0xCD}},                // the unpaired last character gives nothing
        {std::string("12\0" "34", 5), {0x12}},  // a NUL ends the text
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> out(c.text.size() / 2 + 4, 0xEE);
        out.resize(support::HexToBytes(out.data(), c.text) + 1);
        EXPECT_EQ(out, [&] { auto e = c.bytes; e.push_back(0xEE); return e; }()) << c.text << ": nothing written past the bytes";
    }
    // An allocation of exactly the text's length, no NUL after it: an odd
    // last character must not be paired with what lies beyond (the address
    // sanitizer build catches any such read).
    auto storage = std::make_unique<char[]>(3);
    std::memcpy(storage.get(), "123", 3);
    std::uint8_t out[2] = {0, 0};
    EXPECT_EQ(support::HexToBytes(out, std::string_view(storage.get(), 3)), 1u);
    EXPECT_EQ(out[0], 0x12);
}

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
