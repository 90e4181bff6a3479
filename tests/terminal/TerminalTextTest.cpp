#include "terminal/TerminalText.h"

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
