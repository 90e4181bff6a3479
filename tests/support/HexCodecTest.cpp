#include "support/HexCodec.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
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

}  // namespace
