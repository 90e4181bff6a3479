#include "support/HexCodec.h"

#include <gtest/gtest.h>

#include <cctype>
#include <memory>
#include <cstring>
#include <string>
#include <vector>

namespace {

TEST(HexCodec, ByteToHexWritesTwoUpperCaseCharacters)
{
    const struct {
        std::uint8_t byte;
        const char* text;
    } cases[] = {{0x00, "00"}, {0x0F, "0F"}, {0xF0, "F0"}, {0x9A, "9A"}, {0xFF, "FF"}, {0xAB, "AB"}};
    for (const auto& c : cases) {
        char out[3] = {'x', 'x', 'x'};
        EXPECT_EQ(support::ByteToHex(out, c.byte), out + 2);
        EXPECT_EQ(std::string(out, 2), c.text);
        EXPECT_EQ(out[2], 'x') << "no terminator is written";
    }
}

TEST(HexCodec, EveryByteGoesThereAndBack)
{
    for (unsigned b = 0; b < 256; ++b) {
        char pair[2];
        support::ByteToHex(pair, static_cast<std::uint8_t>(b));
        EXPECT_EQ(support::HexPairToByte(pair), b);
        const char lower[2] = {static_cast<char>(std::tolower(pair[0])),
                               static_cast<char>(std::tolower(pair[1]))};
        EXPECT_EQ(support::HexPairToByte(lower), b);
    }
}

TEST(HexCodec, NonDigitsInAPair)
{
    const struct {
        const char* pair;
        std::uint8_t byte;
    } cases[] = {
        {"7G", 0x77},  // second place repeats the first
        {"A ", 0xAA},
        {"G7", 0x07},  // first place counts as 0
        {"GG", 0x00},
    };
    for (const auto& c : cases)
        EXPECT_EQ(support::HexPairToByte(c.pair), c.byte) << c.pair;
}

TEST(HexCodec, HexToBytesDecodesPairsAndStopsAtTheEnd)
{
    const struct {
        std::string text;
        std::vector<std::uint8_t> bytes;
    } cases[] = {
        {"", {}},
        {"0", {}},
        {"010203", {0x01, 0x02, 0x03}},
        {"ABCDE", {0xAB, 0xCD}},           // the unpaired last character gives nothing
        {std::string("12\0" "34", 5), {0x12}},  // a NUL ends the text
        {"abef", {0xAB, 0xEF}},
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> out(c.text.size() / 2 + 4, 0xEE);
        const std::size_t n = support::HexToBytes(out.data(), c.text);
        ASSERT_EQ(n, c.bytes.size()) << c.text;
        EXPECT_EQ(std::vector<std::uint8_t>(out.begin(), out.begin() + static_cast<long>(n)), c.bytes);
        EXPECT_EQ(out[n], 0xEE) << "nothing written past the decoded bytes";
    }
}

TEST(HexCodec, HexToBytesNeverReadsPastItsText)
{
    // An allocation of exactly the text's length, no NUL after it: an odd
    // last character must not be paired with what lies beyond (the address
    // sanitizer build catches any such read).
    auto storage = std::make_unique<char[]>(3);
    std::memcpy(storage.get(), "123", 3);
    std::uint8_t out[2] = {0, 0};
    EXPECT_EQ(support::HexToBytes(out, std::string_view(storage.get(), 3)), 1u);
    EXPECT_EQ(out[0], 0x12);
    EXPECT_EQ(out[1], 0);
}

TEST(HexCodec, NormalizeRemovesSpacesAndUpperCases)
{
    EXPECT_EQ(support::NormalizeHexText(" 0a 1B\tc "), "0A1B\tC");
    EXPECT_EQ(support::NormalizeHexText(""), "");
}

TEST(HexCodec, HexDigitClass)
{
    std::string digits;
    for (int c = 0; c < 256; ++c)
        if (support::IsHexDigit(static_cast<char>(c)))
            digits += static_cast<char>(c);
    EXPECT_EQ(digits, "0123456789ABCDEFabcdef");
}

}  // namespace
