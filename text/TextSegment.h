#pragma once
// A stretch of the terminal's text held in memory: UTF-16 code units in
// fixed-size chunks (no reallocation as it grows), the start of every
// logical line, the colour runs, and for every line the first visual row when
// wrapped at a fixed column count. Appending is amortised O(length); finding
// the line and column of any visual row is a binary search. TerminalText
// strings these together and moves the older ones to disk.
// '\n' is the only line break stored.
//
// Rows are filled in display cells: East Asian wide characters take two, so
// a row of Hangul holds half as many characters, and a surrogate pair is
// never split between rows. Lines made only of one-cell units (nearly all of
// them) keep no per-row table: their rows follow from their length.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

class TextSegment {
public:
    struct ColorRun {
        std::uint64_t start;  // offset of the run's first code unit
        std::uint32_t color;  // COLORREF
    };

    TextSegment();

    void Clear();
    // Appends n code units in the given colour.
    void Append(const char16_t* text, std::size_t n, std::uint32_t color);
    // Removes n code units at offset (the range within Size()); what follows
    // moves up and keeps its colours. Costs the length of what follows, plus
    // the line the range starts in when that line holds wide characters.
    void Erase(std::uint64_t offset, std::uint64_t n);
    // Removes everything from offset on.
    void Truncate(std::uint64_t offset);

    std::uint64_t Size() const { return m_size; }
    bool Empty() const { return m_size == 0; }
    char16_t At(std::uint64_t offset) const;
    // Copies n code units from offset (both within Size()).
    void Copy(std::uint64_t offset, std::size_t n, char16_t* out) const;

    std::size_t LineCount() const { return m_lineStart.size(); }
    std::uint64_t LineStart(std::size_t line) const { return m_lineStart[line]; }
    // Without the line's '\n'.
    std::uint64_t LineLength(std::size_t line) const;
    std::size_t LineOfOffset(std::uint64_t offset) const;

    const std::vector<ColorRun>& Runs() const { return m_runs; }
    // Index of the run holding offset (the last run for offset == Size()).
    std::size_t RunAt(std::uint64_t offset) const;
    std::uint32_t ColorAt(std::uint64_t offset) const;

    // Display cells of one code unit: 2 for a wide character (a surrogate
    // pair counts on its high half), 0 for a low surrogate, 1 otherwise.
    static int CellWidth(char16_t unit);

    // Wrapping: every logical line takes at least one row; a unit that would
    // run past `columns` cells starts the next row.
    void SetWrapColumns(int columns);
    int WrapColumns() const { return m_columns; }
    std::uint64_t RowCount() const;
    // The line a visual row belongs to, and the offset within that line where
    // the row starts. row must be < RowCount().
    std::pair<std::size_t, std::uint64_t> RowPosition(std::uint64_t row) const;
    // Code units in a visual row. row must be < RowCount().
    std::uint64_t RowLength(std::uint64_t row) const;
    std::uint64_t RowOfOffset(std::uint64_t offset) const;

    // Bytes the model has allocated (chunks and tables).
    std::size_t CapacityBytes() const;

    // The lengths of the first `lines` lines, enough to count their rows at
    // any width without the text: lines of one-cell units by length (exact),
    // the others by their cells (a close estimate).
    struct Shape {
        std::vector<std::pair<std::uint32_t, std::uint32_t>> narrow;  // length, count
        std::vector<std::pair<std::uint32_t, std::uint32_t>> wide;    // cells, count
    };
    Shape ShapeOf(std::size_t lines) const;
    static std::uint64_t RowsOfShape(const Shape& shape, int columns);
    // The exact rows of n units at `columns`, as a segment holding just them
    // would count them (every line one row at least, the last one too).
    static std::uint64_t RowsOfUnits(const char16_t* units, std::size_t n, int columns);

    static constexpr std::size_t kChunkUnits = std::size_t(1) << 18;
    // Chunks come from slabs of their own (ChunkPages.h): the memory of a
    // piece that goes to disk returns to the system instead of fragmenting
    // the heap.
    struct ChunkUnmap {
        void operator()(char16_t* chunk) const;
    };

private:
    // Where the rows of a line start (offsets within the line, the first 0),
    // kept for the lines whose rows the length alone does not give.
    struct RowBreaks {
        std::size_t line;
        std::vector<std::uint64_t> rowStarts;
    };

    std::uint64_t RowsOf(std::uint64_t length) const;
    std::uint64_t RowsOfLine(std::size_t line, std::uint64_t length) const;
    const RowBreaks* BreaksOf(std::size_t line) const;
    // Adds units of the last line (at `offsetInLine` within it).
    void ExtendLastLine(const char16_t* first, const char16_t* last, std::uint64_t offsetInLine);
    bool FollowsFromLength(const RowBreaks& breaks, std::uint64_t length) const;
    // Drops the last line's table when its rows follow from its length.
    void CloseLastLine(std::uint64_t length);
    void FillRows(RowBreaks& breaks, std::uint32_t& cells, const char16_t* first,
                  const char16_t* last, std::uint64_t offsetInLine) const;
    void RebuildBreaks(std::size_t line);
    // Drops the rows of the last line's table past its (shortened) length.
    void TrimLastLineBreaks(RowBreaks& breaks, std::uint64_t length);

    std::vector<std::unique_ptr<char16_t[], ChunkUnmap>> m_chunks;
    std::uint64_t m_size = 0;
    std::vector<std::uint64_t> m_lineStart;  // always holds line 0
    std::vector<std::uint64_t> m_rowStart;   // first visual row of each line
    std::vector<ColorRun> m_runs;
    std::vector<std::size_t> m_specialLines;  // lines holding units of width != 1
    std::vector<RowBreaks> m_breaks;          // ordered by line
    std::vector<std::uint64_t> m_spareRowStarts;
    std::uint32_t m_lastRowCells = 0;         // cells used in the last row of a tabled last line
    int m_columns = 80;
};
