#include "terminal/TextSearch.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

TerminalText Make(const std::u16string& s)
{
    TerminalText text;
    text.Append(s.data(), s.size(), 1);
    return text;
}

TEST(TextSearch, ForwardWrappingAndCase)
{
    const TerminalText text = Make(u"alpha beta ALPHA gamma alpha");
    const struct {
        std::u16string pattern;
        std::uint64_t from;
        bool matchCase;
        std::int64_t at;  // -1: none
        bool wrapped;
    } cases[] = {
        {u"alpha", 1, false, 11, false},
        {u"alpha", 1, true, 23, false},
        {u"ALPHA", 12, true, 11, true},
        {u"delta", 0, false, -1, false},
        {u"", 0, false, -1, false},
        {u"alpha beta ALPHA gamma alpha!", 0, false, -1, false},
        {u"a", 28, false, 0, true},  // from the very end
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("case " + std::to_string(&c - cases));
        const auto match = FindInText(text, c.pattern, c.from, c.matchCase);
        ASSERT_EQ(match.has_value(), c.at >= 0);
        if (!match)
            continue;
        EXPECT_EQ(match->from, static_cast<std::uint64_t>(c.at));
        EXPECT_EQ(match->to, static_cast<std::uint64_t>(c.at) + c.pattern.size());
        EXPECT_EQ(match->wrapped, c.wrapped);
    }
}

TEST(TextSearch, MatchesAcrossTheReadingWindowsAndChunks)
{
    // A text longer than a chunk, with the pattern at places that straddle
    // the search's windows and the text's chunks.
    std::u16string all(TerminalText::kChunkUnits + 300000, u'.');
    const std::u16string pattern = u"needle";
    const std::uint64_t places[] = {65533, 131070, TerminalText::kChunkUnits - 3, all.size() - pattern.size()};
    for (std::uint64_t at : places)
        all.replace(static_cast<std::size_t>(at), pattern.size(), pattern);
    const TerminalText text = Make(all);
    std::uint64_t from = 0;
    for (std::uint64_t at : places) {
        const auto match = FindInText(text, u"NEEDLE", from, false);
        ASSERT_TRUE(match.has_value());
        EXPECT_EQ(match->from, at);
        EXPECT_FALSE(match->wrapped);
        from = match->to;
    }
    const auto again = FindInText(text, u"needle", from, true);
    ASSERT_TRUE(again.has_value());
    EXPECT_TRUE(again->wrapped);
    EXPECT_EQ(again->from, places[0]);
}

TEST(TextSearch, AgreesWithAPlainSearch)
{
    std::mt19937 random(99);
    std::u16string all;
    for (int i = 0; i < 5000; ++i)
        all += static_cast<char16_t>(u'a' + random() % 3);
    const TerminalText text = Make(all);
    for (int round = 0; round < 200; ++round) {
        std::u16string pattern;
        for (unsigned k = 0; k < 1 + random() % 6; ++k)
            pattern += static_cast<char16_t>(u'a' + random() % 3);
        const std::uint64_t from = random() % (all.size() + 1);
        std::size_t expected = all.find(pattern, static_cast<std::size_t>(from));
        bool wrapped = false;
        if (expected == std::u16string::npos) {
            expected = all.find(pattern);
            wrapped = true;
        }
        const auto match = FindInText(text, pattern, from, true);
        if (expected == std::u16string::npos) {
            EXPECT_FALSE(match.has_value());
            continue;
        }
        ASSERT_TRUE(match.has_value());
        EXPECT_EQ(match->from, expected);
        EXPECT_EQ(match->wrapped, wrapped);
    }
}

}  // namespace
