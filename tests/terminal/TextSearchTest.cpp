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
        ASSERT_TRUE(match && match->from == at && !match->wrapped) << at;
        from = match->to;
    }
    const auto again = FindInText(text, u"needle", from, true);
    EXPECT_TRUE(again && again->wrapped && again->from == places[0]);
}

TEST(TextSearch, AgreesWithAPlainSearchInEitherCaseFromAnywhere)
{
    // Short texts of a few letters in both cases, so that hits, wraps and
    // misses all come up; an empty pattern never matches.
    constexpr std::size_t npos = std::u16string::npos;
    std::mt19937 random(99);
    auto letters = [&](std::size_t n) {
        std::u16string s;
        while (s.size() < n)
            s += u"abcAB"[random() % 5];
        return s;
    };
    auto lower = [](std::u16string s) {
        for (char16_t& c : s)
            c = c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
        return s;
    };
    for (int round = 0; round < 400; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const std::u16string all = letters(1 + random() % 60);
        const std::u16string pattern = letters(random() % 5);
        const bool matchCase = random() % 2 != 0;
        const std::uint64_t from = random() % (all.size() + 1);
        const std::u16string hay = matchCase ? all : lower(all);
        const std::u16string needle = matchCase ? pattern : lower(pattern);
        std::size_t expected = needle.empty() ? npos : hay.find(needle, static_cast<std::size_t>(from));
        const bool wrapped = expected == npos && !needle.empty() && hay.find(needle) != npos;
        if (wrapped)
            expected = hay.find(needle);
        const auto match = FindInText(Make(all), pattern, from, matchCase);
        ASSERT_EQ(match.has_value(), expected != npos);
        EXPECT_TRUE(!match || (match->from == expected && match->to == expected + pattern.size() && match->wrapped == wrapped));
    }
}

}  // namespace
