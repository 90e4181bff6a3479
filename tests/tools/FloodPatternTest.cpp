#include "tools/devsim/FloodPattern.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

using devsim::FloodByte;
using devsim::FloodChecker;
using devsim::FloodGenerator;

TEST(FloodPattern, EveryValueOccursNeighboursDifferAndChunksJoinUp)
{
    std::set<std::uint8_t> seen;
    for (std::uint64_t i = 0; i < 65536; ++i) {
        seen.insert(FloodByte(i));
        ASSERT_NE(FloodByte(i), FloodByte(i + 1)) << i;  // a repeated byte shows
    }
    EXPECT_EQ(seen.size(), 256u);
    FloodGenerator generator;
    std::vector<std::uint8_t> data(70000);
    generator.Fill(data.data(), 1);
    generator.Fill(data.data() + 1, 999);
    generator.Fill(data.data() + 1000, data.size() - 1000);
    EXPECT_EQ(generator.Position(), data.size());
    for (std::size_t i = 0; i < data.size(); ++i)
        ASSERT_EQ(data[i], FloodByte(i)) << i;
}

TEST(FloodPattern, TheCheckerAcceptsThePatternAndFindsTheFirstChangedOrLostByte)
{
    FloodGenerator generator;
    std::vector<std::uint8_t> data(10000);
    generator.Fill(data.data(), data.size());
    FloodChecker intact;
    intact.Feed(data.data(), 4093);
    intact.Feed(data.data() + 4093, data.size() - 4093);
    EXPECT_EQ(intact.Bytes(), data.size());
    EXPECT_EQ(intact.Errors(), 0u);

    std::vector<std::uint8_t> changed = data;
    changed[1234] ^= 0x01;
    FloodChecker one;
    one.Feed(changed.data(), changed.size());
    EXPECT_EQ(one.Errors(), 1u);
    EXPECT_EQ(one.FirstError(), 1234u);

    std::vector<std::uint8_t> lost = data;
    lost.erase(lost.begin() + 500);
    FloodChecker gap;
    gap.Feed(lost.data(), lost.size());
    EXPECT_GT(gap.Errors(), 0u);
    EXPECT_EQ(gap.FirstError(), 500u);
}
