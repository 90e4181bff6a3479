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
    EXPECT_EQ(text.ColorRunEnd(0), 4u);
    EXPECT_EQ(text.ColorRunEnd(4), 6u);
    EXPECT_EQ(text.ColorRunEnd(6), 8u);
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
    EXPECT_TRUE(text.Colors().empty());
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

// A plain copy of the text and each unit's colour, for comparison.
struct Reference {
    std::u16string units;
    std::vector<std::uint32_t> colors;
};

void ExpectSameAsReference(const TerminalText& text, const Reference& ref, const std::string& where)
{
    ASSERT_EQ(All(text), ref.units) << where;
    for (std::size_t i = 0; i < ref.colors.size(); ++i)
        ASSERT_EQ(text.ColorAt(i), ref.colors[i]) << where << " offset " << i;
    // Runs cover the text in order, each of one colour.
    for (std::uint64_t at = 0; at < ref.units.size();) {
        const std::uint64_t end = text.ColorRunEnd(at);
        ASSERT_TRUE(end > at && end <= ref.units.size()) << where << " run at " << at;
        for (std::uint64_t k = at; k < end; ++k)
            ASSERT_EQ(ref.colors[k], ref.colors[at]) << where << " run at " << at;
        at = end;
    }
    std::size_t line = 0;
    ASSERT_EQ(text.LineStart(0), 0u);
    for (std::size_t i = 0; i < ref.units.size(); ++i)
        if (ref.units[i] == u'\n') {
            ++line;
            ASSERT_LT(line, text.LineCount()) << where;
            ASSERT_EQ(text.LineStart(line), i + 1) << where;
        }
    ASSERT_EQ(text.LineCount(), line + 1) << where;
    const auto expected = ExpectedRows(ref.units, text.WrapColumns());
    ASSERT_EQ(text.RowCount(), expected.size()) << where;
    for (std::size_t row = 0; row < expected.size(); ++row) {
        ASSERT_EQ(text.RowPosition(row), expected[row]) << where << " row " << row;
        const std::uint64_t offset = text.LineStart(expected[row].first) + expected[row].second;
        ASSERT_EQ(text.RowOfOffset(offset), row) << where << " row " << row;
    }
}

TEST(TerminalText, EraseAtTheEndAndInTheMiddleMatchesAPlainText)
{
    // Random pieces in three colours, cut at the end (as Backspace does), in
    // the middle and right through lines, with a change of width now and
    // then; after every step the model holds what a plain string holds.
    std::mt19937 random(4321);
    const std::u16string pieces[] = {u"x", u"hello ", u"\n", u"한글", u"가", u"\U0001F600",
                                     u"\U0001D400", u"漢字 ", u"0123456789", u"a\nb"};
    const std::uint32_t colors[] = {0x0000FF, 0xFF0000, 0x00FF00};
    TerminalText text;
    Reference ref;
    text.SetWrapColumns(7);
    for (int step = 0; step < 1500; ++step) {
        const auto action = static_cast<unsigned>(random() % 10);
        std::string what;
        if (action < 5 || ref.units.empty()) {
            const std::u16string& piece = pieces[random() % std::size(pieces)];
            const std::uint32_t color = colors[random() % std::size(colors)];
            text.Append(piece.data(), piece.size(), color);
            ref.units += piece;
            ref.colors.insert(ref.colors.end(), piece.size(), color);
            what = "append";
        } else if (action < 8) {
            const std::size_t n = std::min<std::size_t>(1 + random() % 3, ref.units.size());
            const std::size_t at = ref.units.size() - n;
            text.Erase(at, n);
            ref.units.erase(at, n);
            ref.colors.erase(ref.colors.begin() + static_cast<long>(at), ref.colors.end());
            what = "erase at end";
        } else if (action < 9) {
            const std::size_t at = random() % ref.units.size();
            const std::size_t n = std::min<std::size_t>(random() % 30, ref.units.size() - at);
            text.Erase(at, n);
            ref.units.erase(at, n);
            ref.colors.erase(ref.colors.begin() + static_cast<long>(at),
                             ref.colors.begin() + static_cast<long>(at + n));
            what = "erase in the middle";
        } else {
            text.SetWrapColumns(1 + static_cast<int>(random() % 12));
            what = "wrap";
        }
        ExpectSameAsReference(text, ref, "step " + std::to_string(step) + " (" + what + ")");
        if (::testing::Test::HasFatalFailure())
            return;
        // Keep the text small enough to check in full every step.
        if (ref.units.size() > 600) {
            text.Truncate(200);
            ref.units.resize(200);
            ref.colors.resize(200);
        }
    }
}

TEST(TerminalText, EraseEverythingAndStartAgain)
{
    TerminalText text;
    text.SetWrapColumns(3);
    Append(text, u"가나다\nabc", 5);
    text.Erase(0, text.Size());
    EXPECT_EQ(text.Size(), 0u);
    EXPECT_EQ(text.LineCount(), 1u);
    EXPECT_EQ(text.RowCount(), 1u);
    EXPECT_TRUE(text.Colors().empty());
    Append(text, u"라마", 6);
    EXPECT_EQ(All(text), u"라마");
    EXPECT_EQ(text.RowCount(), 2u);  // two wide characters on three columns
    EXPECT_EQ(text.ColorAt(0), 6u);
}

TEST(TerminalText, EraseReopensAClosedLineOfWideCharacters)
{
    // "가나" fits four columns exactly, so its closed line keeps no row table;
    // cutting its line break makes it the open line again, and what comes
    // next must know its two characters take four cells.
    TerminalText text;
    text.SetWrapColumns(4);
    Append(text, u"가나\n");
    text.Erase(text.Size() - 1, 1);
    Append(text, u"a");
    EXPECT_EQ(text.RowCount(), 2u);
    EXPECT_EQ(text.RowPosition(1), std::make_pair(std::size_t(0), std::uint64_t(2)));
}

TEST(TerminalText, EraseAcrossChunks)
{
    TerminalText text;
    const std::size_t n = TerminalText::kChunkUnits + 10;
    std::u16string big(n, u'q');
    Append(text, big, 1);
    Append(text, u"tail", 2);
    text.Erase(5, TerminalText::kChunkUnits);
    EXPECT_EQ(All(text), std::u16string(10, u'q') + u"tail");
    EXPECT_EQ(text.ColorAt(10), 2u);
    text.Erase(text.Size() - 4, 4);
    EXPECT_EQ(All(text), std::u16string(10, u'q'));
    Append(text, big, 3);
    EXPECT_EQ(text.Size(), 10 + n);
    EXPECT_EQ(text.At(text.Size() - 1), u'q');
}

}  // namespace
