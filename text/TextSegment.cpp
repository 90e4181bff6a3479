#include "text/TextSegment.h"

#include "text/ChunkPages.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <new>
#include <numeric>


namespace {

int ComputeCellWidth(char16_t u)
{
    if (u < 0x1100)
        return 1;
    if (u >= 0xDC00 && u <= 0xDFFF)
        return 0;  // low surrogate: its high half carries the width
    if (u >= 0xD800 && u <= 0xDBFF)
        // Pictographs (U+1F000..1FBFF) and the ideographs of planes 2 and 3.
        return (u >= 0xD83C && u <= 0xD83E) || (u >= 0xD840 && u <= 0xD8BF) ? 2 : 1;
    const bool wide = u <= 0x115F ||                     // Hangul leading consonants
                      (u >= 0x2E80 && u <= 0x303E) ||    // CJK radicals, punctuation
                      (u >= 0x3041 && u <= 0x33FF) ||    // kana, compatibility forms
                      (u >= 0x3400 && u <= 0x4DBF) ||    // CJK extension A
                      (u >= 0x4E00 && u <= 0x9FFF) ||    // CJK ideographs
                      (u >= 0xA000 && u <= 0xA4CF) ||    // Yi
                      (u >= 0xAC00 && u <= 0xD7A3) ||    // Hangul syllables
                      (u >= 0xF900 && u <= 0xFAFF) ||    // CJK compatibility ideographs
                      (u >= 0xFE30 && u <= 0xFE4F) ||    // CJK compatibility forms
                      (u >= 0xFF00 && u <= 0xFF60) ||    // full-width forms
                      (u >= 0xFFE0 && u <= 0xFFE6);
    return wide ? 2 : 1;
}

// Every unit's width, looked up on the receive path for each character.
const std::array<std::uint8_t, 0x10000>& CellWidths()
{
    static const auto table = [] {
        std::array<std::uint8_t, 0x10000> widths{};
        for (std::size_t u = 0; u < widths.size(); ++u)
            widths[u] = static_cast<std::uint8_t>(ComputeCellWidth(static_cast<char16_t>(u)));
        return widths;
    }();
    return table;
}

bool HasUnitsOfOtherWidth(const char16_t* first, const char16_t* last)
{
    // A cheap pass first, four units at a time: almost all terminal text
    // stays below U+1000, where every unit takes one cell.
    const char16_t* p = first;
    bool candidate = false;
    for (; !candidate && last - p >= 4; p += 4) {
        std::uint64_t four;
        std::memcpy(&four, p, sizeof four);
        candidate = (four & 0xF000F000F000F000ull) != 0;
    }
    for (; !candidate && p < last; ++p)
        candidate = *p >= 0x1000;
    if (!candidate)
        return false;
    const auto& widths = CellWidths();
    return std::any_of(first, last, [&widths](char16_t u) { return widths[u] != 1; });
}

}  // namespace

namespace {

std::unique_ptr<char16_t[], TextSegment::ChunkUnmap> MapChunk()
{
    static_assert(chunkpages::kChunkBytes == TextSegment::kChunkUnits * sizeof(char16_t));
    return std::unique_ptr<char16_t[], TextSegment::ChunkUnmap>(chunkpages::Take());
}

}  // namespace

void TextSegment::ChunkUnmap::operator()(char16_t* chunk) const
{
    chunkpages::Give(chunk);
}

int TextSegment::CellWidth(char16_t u)
{
    return CellWidths()[u];
}

TextSegment::TextSegment()
{
    Clear();
}

void TextSegment::Clear()
{
    m_chunks.clear();
    m_size = 0;
    m_lineStart.assign(1, 0);
    m_rowStart.assign(1, 0);
    m_runs.clear();
    m_specialLines.clear();
    m_breaks.clear();
    m_lastRowCells = 0;
    // Give the memory of a large text back, not only its contents.
    m_lineStart.shrink_to_fit();
    m_rowStart.shrink_to_fit();
    m_runs.shrink_to_fit();
    m_specialLines.shrink_to_fit();
    m_breaks.shrink_to_fit();
}

std::uint64_t TextSegment::RowsOf(std::uint64_t length) const
{
    const auto columns = static_cast<std::uint64_t>(m_columns);
    return length == 0 ? 1 : (length + columns - 1) / columns;
}

void TextSegment::Append(const char16_t* text, std::size_t n, std::uint32_t color)
{
    if (n == 0)
        return;
    if (m_runs.empty() || m_runs.back().color != color) {
        if (!m_runs.empty() && m_runs.back().start == m_size)
            m_runs.back().color = color;
        else
            m_runs.push_back({m_size, color});
    }

    // Line starts and rows first: they depend only on the text.
    const std::uint64_t base = m_size;
    const char16_t* p = text;
    const char16_t* const end = text + n;
    for (;;) {
        const char16_t* const lineEnd = std::find(p, end, u'\n');
        const std::uint64_t at = base + static_cast<std::uint64_t>(p - text);
        ExtendLastLine(p, lineEnd, at - m_lineStart.back());
        if (lineEnd == end)
            break;
        const std::uint64_t breakAt = base + static_cast<std::uint64_t>(lineEnd - text);
        const std::uint64_t length = breakAt - m_lineStart.back();
        m_rowStart.push_back(m_rowStart.back() + RowsOfLine(m_lineStart.size() - 1, length));
        CloseLastLine(length);
        m_lineStart.push_back(breakAt + 1);
        p = lineEnd + 1;
    }

    std::size_t done = 0;
    while (done < n) {
        const std::size_t inChunk = static_cast<std::size_t>(m_size % kChunkUnits);
        if (inChunk == 0 && m_size / kChunkUnits == m_chunks.size())
            m_chunks.push_back(MapChunk());
        const std::size_t take = std::min(n - done, kChunkUnits - inChunk);
        std::memcpy(m_chunks.back().get() + inChunk, text + done, take * sizeof(char16_t));
        done += take;
        m_size += take;
    }
}

void TextSegment::Truncate(std::uint64_t offset)
{
    if (offset >= m_size)
        return;
    const std::size_t line = LineOfOffset(offset);
    m_lineStart.resize(line + 1);
    m_rowStart.resize(line + 1);
    m_specialLines.erase(std::upper_bound(m_specialLines.begin(), m_specialLines.end(), line),
                         m_specialLines.end());
    m_breaks.erase(std::upper_bound(m_breaks.begin(), m_breaks.end(), line,
                                    [](std::size_t l, const RowBreaks& b) { return l < b.line; }),
                   m_breaks.end());
    m_runs.erase(std::lower_bound(m_runs.begin(), m_runs.end(), offset,
                                  [](const ColorRun& r, std::uint64_t o) { return r.start < o; }),
                 m_runs.end());
    m_size = offset;
    m_chunks.resize(static_cast<std::size_t>((offset + kChunkUnits - 1) / kChunkUnits));

    // The line the cut falls in is the open last line again: a line with
    // wide characters needs its row table back, right to its new end.
    m_lastRowCells = 0;
    if (!m_specialLines.empty() && m_specialLines.back() == line) {
        if (!m_breaks.empty() && m_breaks.back().line == line)
            TrimLastLineBreaks(m_breaks.back(), offset - m_lineStart[line]);
        else
            RebuildBreaks(line);
    }
}

void TextSegment::TrimLastLineBreaks(RowBreaks& breaks, std::uint64_t length)
{
    // A row exists because its first unit did not fit the row before: rows
    // whose first unit is gone are gone too.
    std::vector<std::uint64_t>& starts = breaks.rowStarts;
    while (starts.size() > 1 && starts.back() >= length)
        starts.pop_back();
    const auto& widths = CellWidths();
    const std::uint64_t lineStart = m_lineStart.back();
    std::uint32_t cells = 0;
    for (std::uint64_t k = starts.back(); k < length; ++k)
        cells += widths[At(lineStart + k)];
    m_lastRowCells = cells;
}

void TextSegment::Erase(std::uint64_t offset, std::uint64_t n)
{
    if (n == 0 || offset >= m_size)
        return;
    n = std::min(n, m_size - offset);
    const std::uint64_t tailStart = offset + n;
    if (tailStart == m_size) {
        Truncate(offset);
        return;
    }
    // What follows is cut off and appended again, run by run, so lines,
    // rows and colours are built by the one path that builds them anyway.
    const auto tailLength = static_cast<std::size_t>(m_size - tailStart);
    std::vector<char16_t> tail(tailLength);
    Copy(tailStart, tailLength, tail.data());
    std::vector<ColorRun> tailRuns;
    for (std::size_t r = RunAt(tailStart); r < m_runs.size(); ++r)
        tailRuns.push_back({m_runs[r].start > tailStart ? m_runs[r].start - tailStart : 0, m_runs[r].color});
    Truncate(offset);
    for (std::size_t r = 0; r < tailRuns.size(); ++r) {
        const auto from = static_cast<std::size_t>(tailRuns[r].start);
        const auto to = r + 1 < tailRuns.size() ? static_cast<std::size_t>(tailRuns[r + 1].start) : tailLength;
        Append(tail.data() + from, to - from, tailRuns[r].color);
    }
}

char16_t TextSegment::At(std::uint64_t offset) const
{
    return m_chunks[offset / kChunkUnits][offset % kChunkUnits];
}

void TextSegment::Copy(std::uint64_t offset, std::size_t n, char16_t* out) const
{
    while (n > 0) {
        const std::size_t inChunk = static_cast<std::size_t>(offset % kChunkUnits);
        const std::size_t take = std::min(n, kChunkUnits - inChunk);
        std::memcpy(out, m_chunks[offset / kChunkUnits].get() + inChunk, take * sizeof(char16_t));
        out += take;
        offset += take;
        n -= take;
    }
}

std::uint64_t TextSegment::LineLength(std::size_t line) const
{
    if (line + 1 < m_lineStart.size())
        return m_lineStart[line + 1] - 1 - m_lineStart[line];
    return m_size - m_lineStart[line];
}

std::size_t TextSegment::LineOfOffset(std::uint64_t offset) const
{
    const auto it = std::upper_bound(m_lineStart.begin(), m_lineStart.end(), offset);
    return static_cast<std::size_t>(it - m_lineStart.begin()) - 1;
}

std::size_t TextSegment::RunAt(std::uint64_t offset) const
{
    const auto it = std::upper_bound(m_runs.begin(), m_runs.end(), offset,
                                     [](std::uint64_t o, const ColorRun& r) { return o < r.start; });
    return it == m_runs.begin() ? 0 : static_cast<std::size_t>(it - m_runs.begin()) - 1;
}

std::uint32_t TextSegment::ColorAt(std::uint64_t offset) const
{
    return m_runs.empty() ? 0 : m_runs[RunAt(offset)].color;
}

std::uint64_t TextSegment::RowsOfLine(std::size_t line, std::uint64_t length) const
{
    const RowBreaks* breaks = BreaksOf(line);
    return breaks != nullptr ? breaks->rowStarts.size() : RowsOf(length);
}

const TextSegment::RowBreaks* TextSegment::BreaksOf(std::size_t line) const
{
    // Appending asks about the last line: answer that without a search.
    if (m_breaks.empty() || m_breaks.back().line < line)
        return nullptr;
    if (m_breaks.back().line == line)
        return &m_breaks.back();
    const auto it = std::lower_bound(m_breaks.begin(), m_breaks.end(), line,
                                     [](const RowBreaks& b, std::size_t l) { return b.line < l; });
    return it != m_breaks.end() && it->line == line ? &*it : nullptr;
}

void TextSegment::FillRows(RowBreaks& breaks, std::uint32_t& cells, const char16_t* first,
                            const char16_t* last, std::uint64_t offsetInLine) const
{
    const auto columns = static_cast<std::uint32_t>(m_columns);
    const auto& widths = CellWidths();
    std::uint64_t offset = offsetInLine;
    for (const char16_t* p = first; p < last; ++p, ++offset) {
        const std::uint32_t width = widths[*p];
        // A row takes at least one character, however narrow the window.
        if (width > 0 && cells > 0 && cells + width > columns) {
            breaks.rowStarts.push_back(offset);
            cells = 0;
        }
        cells += width;
    }
}

void TextSegment::ExtendLastLine(const char16_t* first, const char16_t* last,
                                  std::uint64_t offsetInLine)
{
    if (first == last)
        return;
    const std::size_t line = m_lineStart.size() - 1;
    if (m_breaks.empty() || m_breaks.back().line != line) {
        if (!HasUnitsOfOtherWidth(first, last))
            return;
        m_specialLines.push_back(line);
        // Up to here every unit took one cell.
        const auto columns = static_cast<std::uint64_t>(m_columns);
        const std::uint64_t rows = RowsOf(offsetInLine);
        RowBreaks breaks{line, std::move(m_spareRowStarts)};
        breaks.rowStarts.clear();
        breaks.rowStarts.reserve(static_cast<std::size_t>(rows) + 1);
        for (std::uint64_t k = 0; k < rows; ++k)
            breaks.rowStarts.push_back(k * columns);
        m_lastRowCells =
            static_cast<std::uint32_t>(offsetInLine == 0 ? 0 : offsetInLine - (rows - 1) * columns);
        m_breaks.push_back(std::move(breaks));
    }
    FillRows(m_breaks.back(), m_lastRowCells, first, last, offsetInLine);
}

bool TextSegment::FollowsFromLength(const RowBreaks& breaks, std::uint64_t length) const
{
    const auto columns = static_cast<std::uint64_t>(m_columns);
    if (breaks.rowStarts.size() != RowsOf(length))
        return false;
    for (std::size_t k = 0; k < breaks.rowStarts.size(); ++k)
        if (breaks.rowStarts[k] != k * columns)
            return false;
    return true;
}

void TextSegment::CloseLastLine(std::uint64_t length)
{
    const std::size_t line = m_lineStart.size() - 1;
    if (!m_breaks.empty() && m_breaks.back().line == line && FollowsFromLength(m_breaks.back(), length)) {
        // Most such lines are short: their table's memory serves the next one.
        m_spareRowStarts = std::move(m_breaks.back().rowStarts);
        m_breaks.pop_back();
    }
    m_lastRowCells = 0;
}

void TextSegment::RebuildBreaks(std::size_t line)
{
    const std::uint64_t start = m_lineStart[line];
    const std::uint64_t length = LineLength(line);
    RowBreaks breaks{line, {0}};
    std::uint32_t cells = 0;
    char16_t buffer[4096];
    for (std::uint64_t done = 0; done < length;) {
        const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(std::size(buffer), length - done));
        Copy(start + done, take, buffer);
        FillRows(breaks, cells, buffer, buffer + take, done);
        done += take;
    }
    // The open last line keeps its table: it goes on growing row by row.
    if (line + 1 == m_lineStart.size())
        m_lastRowCells = cells;
    else if (FollowsFromLength(breaks, length))
        return;
    m_breaks.push_back(std::move(breaks));
}

void TextSegment::SetWrapColumns(int columns)
{
    columns = std::max(columns, 1);
    if (columns == m_columns)
        return;
    m_columns = columns;
    m_breaks.clear();
    for (std::size_t line : m_specialLines)
        RebuildBreaks(line);
    for (std::size_t line = 1; line < m_lineStart.size(); ++line)
        m_rowStart[line] = m_rowStart[line - 1] + RowsOfLine(line - 1, LineLength(line - 1));
}

std::uint64_t TextSegment::RowCount() const
{
    const std::size_t last = m_lineStart.size() - 1;
    return m_rowStart.back() + RowsOfLine(last, LineLength(last));
}

std::pair<std::size_t, std::uint64_t> TextSegment::RowPosition(std::uint64_t row) const
{
    const auto it = std::upper_bound(m_rowStart.begin(), m_rowStart.end(), row);
    const auto line = static_cast<std::size_t>(it - m_rowStart.begin()) - 1;
    const std::uint64_t k = row - m_rowStart[line];
    if (const RowBreaks* breaks = BreaksOf(line))
        return {line, breaks->rowStarts[static_cast<std::size_t>(k)]};
    return {line, k * static_cast<std::uint64_t>(m_columns)};
}

std::uint64_t TextSegment::RowLength(std::uint64_t row) const
{
    const auto [line, start] = RowPosition(row);
    const std::uint64_t length = LineLength(line);
    if (const RowBreaks* breaks = BreaksOf(line)) {
        const auto next = static_cast<std::size_t>(row - m_rowStart[line]) + 1;
        return (next < breaks->rowStarts.size() ? breaks->rowStarts[next] : length) - start;
    }
    return std::min(start + static_cast<std::uint64_t>(m_columns), length) - start;
}

std::uint64_t TextSegment::RowOfOffset(std::uint64_t offset) const
{
    const std::size_t line = LineOfOffset(offset);
    const std::uint64_t column = offset - m_lineStart[line];
    if (const RowBreaks* breaks = BreaksOf(line)) {
        const auto it = std::upper_bound(breaks->rowStarts.begin(), breaks->rowStarts.end(), column);
        return m_rowStart[line] + static_cast<std::uint64_t>(it - breaks->rowStarts.begin()) - 1;
    }
    const std::uint64_t lastRow = RowsOf(LineLength(line)) - 1;
    return m_rowStart[line] + std::min(column / static_cast<std::uint64_t>(m_columns), lastRow);
}

std::size_t TextSegment::CapacityBytes() const
{
    return m_chunks.size() * kChunkUnits * sizeof(char16_t) +
           (m_lineStart.capacity() + m_rowStart.capacity()) * sizeof(std::uint64_t) +
           m_runs.capacity() * sizeof(ColorRun) + m_specialLines.capacity() * sizeof(std::size_t) +
           std::accumulate(m_breaks.begin(), m_breaks.end(), m_breaks.capacity() * sizeof(RowBreaks),
                           [](std::size_t sum, const RowBreaks& b) {
                               return sum + b.rowStarts.capacity() * sizeof(std::uint64_t);
                           });
}

TextSegment::Shape TextSegment::ShapeOf(std::size_t lines) const
{
    std::vector<std::uint32_t> narrow, wide;
    std::size_t special = 0;
    const auto& widths = CellWidths();
    for (std::size_t line = 0; line < lines; ++line) {
        const auto length = static_cast<std::uint32_t>(LineLength(line));
        while (special < m_specialLines.size() && m_specialLines[special] < line)
            ++special;
        if (special < m_specialLines.size() && m_specialLines[special] == line) {
            std::uint32_t cells = 0;
            for (std::uint64_t k = 0; k < length; ++k)
                cells += widths[At(m_lineStart[line] + k)];
            wide.push_back(cells);
        } else {
            narrow.push_back(length);
        }
    }
    auto count = [](std::vector<std::uint32_t>& values) {
        std::sort(values.begin(), values.end());
        std::vector<std::pair<std::uint32_t, std::uint32_t>> counted;
        for (std::uint32_t v : values) {
            if (counted.empty() || counted.back().first != v)
                counted.emplace_back(v, 0);
            ++counted.back().second;
        }
        return counted;
    };
    return {count(narrow), count(wide)};
}

std::uint64_t TextSegment::RowsOfUnits(const char16_t* units, std::size_t n, int columns)
{
    const auto c = static_cast<std::uint32_t>(std::max(columns, 1));
    const auto& widths = CellWidths();
    std::uint64_t rows = 1;
    std::uint32_t cells = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (units[i] == u'\n') {
            ++rows;
            cells = 0;
            continue;
        }
        // The same rule as FillRows.
        const std::uint32_t width = widths[units[i]];
        if (width > 0 && cells > 0 && cells + width > c) {
            ++rows;
            cells = 0;
        }
        cells += width;
    }
    return rows;
}

std::uint64_t TextSegment::RowsOfShape(const Shape& shape, int columns)
{
    const auto c = static_cast<std::uint64_t>(std::max(columns, 1));
    std::uint64_t rows = 0;
    for (const auto& [length, count] : shape.narrow)
        rows += count * (length == 0 ? 1 : (length + c - 1) / c);
    for (const auto& [cells, count] : shape.wide)
        rows += count * (cells == 0 ? 1 : (cells + c - 1) / c);
    return rows;
}
