#include "terminal/TerminalText.h"

#include <algorithm>
#include <cstring>

TerminalText::TerminalText()
{
    Clear();
}

void TerminalText::Clear()
{
    m_chunks.clear();
    m_size = 0;
    m_lineStart.assign(1, 0);
    m_rowStart.assign(1, 0);
    m_runs.clear();
    // Give the memory of a large text back, not only its contents.
    m_lineStart.shrink_to_fit();
    m_rowStart.shrink_to_fit();
    m_runs.shrink_to_fit();
}

std::uint64_t TerminalText::RowsOf(std::uint64_t length) const
{
    const auto columns = static_cast<std::uint64_t>(m_columns);
    return length == 0 ? 1 : (length + columns - 1) / columns;
}

void TerminalText::Append(const char16_t* text, std::size_t n, std::uint32_t color)
{
    if (n == 0)
        return;
    if (m_runs.empty() || m_runs.back().color != color) {
        if (!m_runs.empty() && m_runs.back().start == m_size)
            m_runs.back().color = color;
        else
            m_runs.push_back({m_size, color});
    }

    // Line starts first: they depend only on the text.
    const char16_t* p = text;
    const char16_t* const end = text + n;
    while ((p = std::find(p, end, u'\n')) != end) {
        const std::uint64_t breakAt = m_size + static_cast<std::uint64_t>(p - text);
        const std::uint64_t length = breakAt - m_lineStart.back();
        m_rowStart.push_back(m_rowStart.back() + RowsOf(length));
        m_lineStart.push_back(breakAt + 1);
        ++p;
    }

    std::size_t done = 0;
    while (done < n) {
        const std::size_t inChunk = static_cast<std::size_t>(m_size % kChunkUnits);
        if (inChunk == 0 && m_size / kChunkUnits == m_chunks.size())
            m_chunks.push_back(std::make_unique_for_overwrite<char16_t[]>(kChunkUnits));
        const std::size_t take = std::min(n - done, kChunkUnits - inChunk);
        std::memcpy(m_chunks.back().get() + inChunk, text + done, take * sizeof(char16_t));
        done += take;
        m_size += take;
    }
}

char16_t TerminalText::At(std::uint64_t offset) const
{
    return m_chunks[offset / kChunkUnits][offset % kChunkUnits];
}

void TerminalText::Copy(std::uint64_t offset, std::size_t n, char16_t* out) const
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

std::uint64_t TerminalText::LineLength(std::size_t line) const
{
    if (line + 1 < m_lineStart.size())
        return m_lineStart[line + 1] - 1 - m_lineStart[line];
    return m_size - m_lineStart[line];
}

std::size_t TerminalText::LineOfOffset(std::uint64_t offset) const
{
    const auto it = std::upper_bound(m_lineStart.begin(), m_lineStart.end(), offset);
    return static_cast<std::size_t>(it - m_lineStart.begin()) - 1;
}

std::size_t TerminalText::RunAt(std::uint64_t offset) const
{
    const auto it = std::upper_bound(m_runs.begin(), m_runs.end(), offset,
                                     [](std::uint64_t o, const ColorRun& r) { return o < r.start; });
    return it == m_runs.begin() ? 0 : static_cast<std::size_t>(it - m_runs.begin()) - 1;
}

std::uint32_t TerminalText::ColorAt(std::uint64_t offset) const
{
    return m_runs.empty() ? 0 : m_runs[RunAt(offset)].color;
}

void TerminalText::SetWrapColumns(int columns)
{
    columns = std::max(columns, 1);
    if (columns == m_columns)
        return;
    m_columns = columns;
    for (std::size_t line = 1; line < m_lineStart.size(); ++line)
        m_rowStart[line] = m_rowStart[line - 1] + RowsOf(LineLength(line - 1));
}

std::uint64_t TerminalText::RowCount() const
{
    return m_rowStart.back() + RowsOf(LineLength(m_lineStart.size() - 1));
}

std::pair<std::size_t, std::uint64_t> TerminalText::RowPosition(std::uint64_t row) const
{
    const auto it = std::upper_bound(m_rowStart.begin(), m_rowStart.end(), row);
    const auto line = static_cast<std::size_t>(it - m_rowStart.begin()) - 1;
    return {line, (row - m_rowStart[line]) * static_cast<std::uint64_t>(m_columns)};
}

std::uint64_t TerminalText::RowOfOffset(std::uint64_t offset) const
{
    const std::size_t line = LineOfOffset(offset);
    const std::uint64_t column = offset - m_lineStart[line];
    const std::uint64_t lastRow = RowsOf(LineLength(line)) - 1;
    return m_rowStart[line] + std::min(column / static_cast<std::uint64_t>(m_columns), lastRow);
}

std::size_t TerminalText::CapacityBytes() const
{
    return m_chunks.size() * kChunkUnits * sizeof(char16_t) +
           (m_lineStart.capacity() + m_rowStart.capacity()) * sizeof(std::uint64_t) +
           m_runs.capacity() * sizeof(ColorRun);
}
