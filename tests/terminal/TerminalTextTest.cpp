#include "terminal/TerminalText.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

void Append(TerminalText& text, const std::u16string& s, std::uint32_t color = 1)
{
    text.Append(s.data(), s.size(), color);
}

std::u16string All(const TerminalText& text)
{
    std::u16string out(static_cast<std::size_t>(text.Size()), u'\0');
    text.Copy(0, out.size(), out.data());
    return out;
}

TEST(TerminalText, LinesAndLengths)
{
    TerminalText text;
    EXPECT_EQ(text.LineCount(), 1u);
    EXPECT_EQ(text.RowCount(), 1u);
    Append(text, u"abc\nde");
    Append(text, u"f\n\nxyz");
    EXPECT_EQ(All(text), u"abc\ndef\n\nxyz");
    ASSERT_EQ(text.LineCount(), 4u);
    EXPECT_EQ(text.LineStart(1), 4u);
    EXPECT_EQ(text.LineLength(0), 3u);
    EXPECT_EQ(text.LineLength(1), 3u);
    EXPECT_EQ(text.LineLength(2), 0u);
    EXPECT_EQ(text.LineLength(3), 3u);
    EXPECT_EQ(text.LineOfOffset(5), 1u);
    EXPECT_EQ(text.LineOfOffset(text.Size()), 3u);
}

TEST(TerminalText, WrapsByColumnsAndRewrapsOnChange)
{
    TerminalText text;
    text.SetWrapColumns(4);
    Append(text, u"0123456789\n\nab");
    // 10 chars -> 3 rows, empty line -> 1, "ab" -> 1
    EXPECT_EQ(text.RowCount(), 5u);
    EXPECT_EQ(text.RowPosition(2), std::make_pair(std::size_t(0), std::uint64_t(8)));
    EXPECT_EQ(text.RowPosition(3), std::make_pair(std::size_t(1), std::uint64_t(0)));
    EXPECT_EQ(text.RowPosition(4), std::make_pair(std::size_t(2), std::uint64_t(0)));
    EXPECT_EQ(text.RowOfOffset(5), 1u);
    EXPECT_EQ(text.RowOfOffset(13), 4u);

    text.SetWrapColumns(5);
    EXPECT_EQ(text.RowCount(), 4u);
    EXPECT_EQ(text.RowPosition(1), std::make_pair(std::size_t(0), std::uint64_t(5)));
    // The growing last line wraps too.
    Append(text, u"cdefgh");
    EXPECT_EQ(text.RowCount(), 5u);
}

TEST(TerminalText, ColourRunsMergeAndAnswerLookups)
{
    TerminalText text;
    Append(text, u"aa", 0xFF);
    Append(text, u"bb", 0xFF);
    Append(text, u"cc", 0xFF0000);
    Append(text, u"", 0x00FF00);  // nothing appended: no run
    Append(text, u"dd", 0xFF);
    ASSERT_EQ(text.Runs().size(), 3u);
    EXPECT_EQ(text.Runs()[1].start, 4u);
    EXPECT_EQ(text.ColorAt(3), 0xFFu);
    EXPECT_EQ(text.ColorAt(4), 0xFF0000u);
    EXPECT_EQ(text.ColorAt(7), 0xFFu);
}

TEST(TerminalText, CopiesAcrossChunkBoundaries)
{
    TerminalText text;
    const std::size_t n = TerminalText::kChunkUnits + 1000;
    std::u16string big(n, u'x');
    for (std::size_t i = 0; i < n; i += 97)
        big[i] = static_cast<char16_t>(u'a' + i % 26);
    Append(text, big.substr(0, 10));
    Append(text, big.substr(10));
    ASSERT_EQ(text.Size(), n);
    std::u16string middle(50, u'\0');
    const std::uint64_t at = TerminalText::kChunkUnits - 20;
    text.Copy(at, middle.size(), middle.data());
    EXPECT_EQ(middle, big.substr(at, 50));
    EXPECT_EQ(text.At(n - 1), big[n - 1]);
}

TEST(TerminalText, ClearStartsOver)
{
    TerminalText text;
    Append(text, u"a\nb\nc");
    text.Clear();
    EXPECT_EQ(text.Size(), 0u);
    EXPECT_EQ(text.LineCount(), 1u);
    EXPECT_TRUE(text.Runs().empty());
    Append(text, u"z");
    EXPECT_EQ(All(text), u"z");
}

TEST(TerminalText, WideCharactersTakeTwoCells)
{
    TerminalText text;
    text.SetWrapColumns(4);
    Append(text, u"가나다라마\na가나\nabc가");
    // "가나|다라|마", "a가|나", "abc|가": a wide character does not go on a
    // row with one cell left.
    ASSERT_EQ(text.RowCount(), 7u);
    EXPECT_EQ(text.RowPosition(1), std::make_pair(std::size_t(0), std::uint64_t(2)));
    EXPECT_EQ(text.RowLength(2), 1u);
    EXPECT_EQ(text.RowPosition(4), std::make_pair(std::size_t(1), std::uint64_t(2)));
    EXPECT_EQ(text.RowLength(5), 3u);
    EXPECT_EQ(text.RowPosition(6), std::make_pair(std::size_t(2), std::uint64_t(3)));
    EXPECT_EQ(text.RowOfOffset(3), 1u);
    EXPECT_EQ(text.RowOfOffset(text.Size()), 6u);

    // Wider rows hold a whole line again; narrower ones split it further.
    text.SetWrapColumns(10);
    EXPECT_EQ(text.RowCount(), 3u);
    text.SetWrapColumns(2);
    EXPECT_EQ(text.RowCount(), 5u + 3u + 3u);
}

TEST(TerminalText, SurrogatePairsStayOnOneRow)
{
    TerminalText text;
    text.SetWrapColumns(2);
    // a, U+1D400 (one cell, two units), b: the pair is not cut after "a\xD835".
    Append(text, u"a\U0001D400b");
    ASSERT_EQ(text.RowCount(), 2u);
    EXPECT_EQ(text.RowPosition(1), std::make_pair(std::size_t(0), std::uint64_t(3)));
    // U+1F600 takes two cells: alone on its row.
    text.Clear();
    Append(text, u"ab\U0001F600c");
    ASSERT_EQ(text.RowCount(), 3u);
    EXPECT_EQ(text.RowPosition(1), std::make_pair(std::size_t(0), std::uint64_t(2)));
    EXPECT_EQ(text.RowLength(1), 2u);
    EXPECT_EQ(TerminalText::CellWidth(0xDE00), 0);
}

// Rows by the plain rule, for comparison: greedy cells, one row at least.
std::vector<std::pair<std::size_t, std::uint64_t>> ExpectedRows(const std::u16string& all, int columns)
{
    std::vector<std::pair<std::size_t, std::uint64_t>> rows;
    std::size_t line = 0;
    std::uint64_t inLine = 0;
    int cells = 0;
    rows.emplace_back(0, 0);
    for (char16_t u : all) {
        if (u == u'\n') {
            ++line;
            inLine = 0;
            cells = 0;
            rows.emplace_back(line, 0);
            continue;
        }
        const int width = TerminalText::CellWidth(u);
        if (width > 0 && cells > 0 && cells + width > columns) {
            rows.emplace_back(line, inLine);
            cells = 0;
        }
        cells += width;
        ++inLine;
    }
    return rows;
}

TEST(TerminalText, RowsAgreeHoweverTheTextArrives)
{
    // Mixed text in pieces of random size, some appended before and some
    // after a change of width: every path gives the rows of the plain rule.
    std::mt19937 random(1234);
    const std::u16string pieces[] = {u"x", u"hello ", u"\n", u"한글", u"가", u"\U0001F600",
                                     u"\U0001D400", u"漢字 ", u"0123456789"};
    std::u16string all;
    for (int i = 0; i < 3000; ++i)
        all += pieces[random() % std::size(pieces)];

    for (int columns : {1, 3, 8, 17}) {
        TerminalText text;
        text.SetWrapColumns(columns == 8 ? 5 : columns);
        std::size_t at = 0;
        while (at < all.size()) {
            const std::size_t n = std::min<std::size_t>(1 + random() % 40, all.size() - at);
            Append(text, all.substr(at, n));
            at += n;
            if (columns == 8 && at > all.size() / 2 && text.WrapColumns() == 5)
                text.SetWrapColumns(8);
        }
        const auto expected = ExpectedRows(all, columns);
        ASSERT_EQ(text.RowCount(), expected.size()) << "columns " << columns;
        for (std::size_t row = 0; row < expected.size(); ++row) {
            ASSERT_EQ(text.RowPosition(row), expected[row]) << "columns " << columns << " row " << row;
            const std::uint64_t offset = text.LineStart(expected[row].first) + expected[row].second;
            ASSERT_EQ(text.RowOfOffset(offset), row) << "columns " << columns << " row " << row;
        }
    }
}

}  // namespace
