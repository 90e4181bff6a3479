#pragma once
// A plain string with each unit's colour, to hold the terminal text model
// against: its text, colour runs, lines and wrapped rows must be the ones the
// plain string gives.

#include "text/TerminalText.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace testtext {

struct Reference {
    std::u16string units;
    std::vector<std::uint32_t> colors;
};

// Appends `s` in `color` to the text and to its reference alike.
inline void Append(TerminalText& text, Reference& ref, const std::u16string& s, std::uint32_t color = 1)
{
    text.Append(s.data(), s.size(), color);
    ref.units += s;
    ref.colors.insert(ref.colors.end(), s.size(), color);
}

inline std::u16string All(const TerminalText& text)
{
    std::u16string out(static_cast<std::size_t>(text.Size()), u'\0');
    text.Copy(0, out.size(), out.data());
    return out;
}

// Rows by the plain rule (greedy cells, one row at least per line), each as
// its line and its offset in the line.
inline std::vector<std::pair<std::size_t, std::uint64_t>> ExpectedRows(const std::u16string& all, int columns)
{
    std::vector<std::pair<std::size_t, std::uint64_t>> rows{{0, 0}};
    std::size_t line = 0;
    std::uint64_t inLine = 0;
    int cells = 0;
    for (char16_t u : all) {
        if (u == u'\n') {
            rows.emplace_back(++line, inLine = 0);
            cells = 0;
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

// The text, every unit's colour, the colour runs, the lines and the rows at
// the text's width, from both ends of each mapping.
inline void ExpectSame(const TerminalText& text, const Reference& ref, const std::string& where)
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
    std::uint64_t lineStart = 0;
    for (std::size_t i = 0; i <= ref.units.size(); ++i) {
        ASSERT_EQ(text.LineOfOffset(i), line) << where << " offset " << i;
        if (i < ref.units.size() && ref.units[i] != u'\n')
            continue;
        ASSERT_TRUE(line < text.LineCount() && text.LineStart(line) == lineStart && text.LineLength(line) == i - lineStart)
            << where << " line " << line;
        ++line;
        lineStart = i + 1;
    }
    ASSERT_EQ(text.LineCount(), line) << where;
    const auto expected = ExpectedRows(ref.units, text.WrapColumns());
    ASSERT_EQ(text.RowCount(), expected.size()) << where;
    for (std::size_t row = 0; row < expected.size(); ++row) {
        const std::uint64_t offset = text.LineStart(expected[row].first) + expected[row].second;
        ASSERT_TRUE(text.RowPosition(row) == expected[row] && text.RowStart(row) == offset) << where << " row " << row;
        ASSERT_EQ(text.RowOfOffset(offset), row) << where << " row " << row;
    }
}

}  // namespace testtext
