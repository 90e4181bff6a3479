#include "tools/devsim/FloodPattern.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

using devsim::FloodByte;
using devsim::FloodChecker;
using devsim::FloodGenerator;

TEST(FloodPattern, GeneratorMatchesTheFormulaAcrossChunks)
{
    FloodGenerator generator;
    std::vector<std::uint8_t> data(70000);
    generator.Fill(data.data(), 1);
    generator.Fill(data.data() + 1, 999);
    generator.Fill(data.data() + 1000, data.size() - 1000);
    EXPECT_EQ(generator.Position(), data.size());
    for (std::size_t i = 0; i < data.size(); ++i)
        ASSERT_EQ(data[i], static_cast<std::uint8_t>((i * 7 + (i >> 8)) & 0xFF)) << i;
}

TEST(FloodPattern, EveryByteValueOccursAndNeighboursDiffer)
{
    std::set<std::uint8_t> seen;
    for (std::uint64_t i = 0; i < 65536; ++i) {
        seen.insert(FloodByte(i));
        ASSERT_NE(FloodByte(i), FloodByte(i + 1)) << i;  // a repeated byte shows
    }
    EXPECT_EQ(seen.size(), 256u);
}

TEST(FloodPattern, CheckerAcceptsThePattern)
{
    FloodGenerator generator;
    FloodChecker checker;
    std::vector<std::uint8_t> chunk(4093);
    for (int i = 0; i < 100; ++i) {
        generator.Fill(chunk.data(), chunk.size());
        checker.Feed(chunk.data(), chunk.size());
    }
    EXPECT_EQ(checker.Bytes(), 409300u);
    EXPECT_EQ(checker.Errors(), 0u);
}

TEST(FloodPattern, CheckerCountsACorruptedByte)
{
    FloodGenerator generator;
    std::vector<std::uint8_t> data(10000);
    generator.Fill(data.data(), data.size());
    data[1234] ^= 0x01;
    FloodChecker checker;
    checker.Feed(data.data(), data.size());
    EXPECT_EQ(checker.Errors(), 1u);
    EXPECT_EQ(checker.FirstError(), 1234u);
}

TEST(FloodPattern, CheckerShowsALostByte)
{
    FloodGenerator generator;
    std::vector<std::uint8_t> data(10000);
    generator.Fill(data.data(), data.size());
    data.erase(data.begin() + 500);
    FloodChecker checker;
    checker.Feed(data.data(), data.size());
    EXPECT_GT(checker.Errors(), 0u);
    EXPECT_EQ(checker.FirstError(), 500u);
    EXPECT_EQ(checker.Bytes(), 9999u);
}
