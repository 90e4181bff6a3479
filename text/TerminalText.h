#pragma once
// The terminal's whole text, however long the session: nothing is trimmed.
// It is a row of pieces of about a million UTF-16 units each. The newest
// piece always stays in memory, where appending and removal at the end
// happen; sealed older pieces move to the history file (HistoryWriter's
// thread compresses and writes them) once the text held in memory passes a
// budget, and come back, decoded into a small cache, when something reads
// them. A piece on disk keeps only a descriptor in memory: its sizes, where
// its blob is, its colours and the lengths of its lines (to count its rows
// at any width without the text).
//
// Pieces end after a line break, so lines do not straddle them; only a line
// longer than a piece is cut, and its rows start afresh at the cut.
//
// When the history file cannot be written or read (disk full, no temporary
// folder, a file that vanished), or would grow past its disk budget, the
// oldest text is dropped and the text starts with one marker line that says
// how much and why; receiving goes on.
//
// Rows are filled in display cells (see TextSegment). After a width change
// the rows of pieces on disk that hold wide characters are estimated at
// first; a worker thread (RowCountPass) counts them exactly and Poll takes
// the counts in. Reading a piece makes its count exact at once.
// Everything runs on the owner's thread; the worker threads only see copies
// of sealed pieces, or the pieces themselves, whose characters never change.

#include "text/TextSegment.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class HistoryWriter;
class PieceDecoder;
class RowCountPass;
class TextSnapshot;

class TerminalText {
public:
    TerminalText();
    ~TerminalText();
    // Moving keeps the target's budget and notifier.
    TerminalText(TerminalText&& other) noexcept;
    TerminalText& operator=(TerminalText&& other) noexcept;

    // Empties the text and drops the history file.
    void Clear();
    // Appends n code units in the given colour.
    void Append(const char16_t* text, std::size_t n, std::uint32_t color);
    // Removes n code units at offset; what follows moves up and keeps its
    // colours. Cheap at the end of the text (Backspace); further back the
    // pieces from there on are brought into memory.
    void Erase(std::uint64_t offset, std::uint64_t n);
    void Truncate(std::uint64_t offset);

    std::uint64_t Size() const { return m_tailBase + m_tail.Size(); }
    bool Empty() const { return Size() == 0; }
    char16_t At(std::uint64_t offset) const;
    void Copy(std::uint64_t offset, std::size_t n, char16_t* out) const;

    std::size_t LineCount() const;
    std::uint64_t LineStart(std::size_t line) const;
    std::uint64_t LineLength(std::size_t line) const;
    std::size_t LineOfOffset(std::uint64_t offset) const;

    std::uint32_t ColorAt(std::uint64_t offset) const;
    // Where the colour run holding offset ends (at most the end of its piece).
    std::uint64_t ColorRunEnd(std::uint64_t offset) const;
    // Every colour used, in order of first use.
    std::vector<std::uint32_t> Colors() const;

    static int CellWidth(char16_t unit) { return TextSegment::CellWidth(unit); }

    void SetWrapColumns(int columns);
    int WrapColumns() const { return m_columns; }
    std::uint64_t RowCount() const;
    std::pair<std::size_t, std::uint64_t> RowPosition(std::uint64_t row) const;
    // The offset of a row's first unit.
    std::uint64_t RowStart(std::uint64_t row) const;
    std::uint64_t RowLength(std::uint64_t row) const;
    std::uint64_t RowOfOffset(std::uint64_t offset) const;
    // True when every row count is exact at the current width (no estimate
    // waits for the background count).
    bool RowsExact() const;

    // Text bytes held in memory (pieces and cache), and the budget for them.
    std::size_t MemoryBytes() const;
    void SetMemoryBudget(std::size_t bytes);
    std::size_t MemoryBudget() const { return m_budget; }
    static constexpr std::size_t kDefaultBudget = std::size_t(64) << 20;
    // The most disk space the history file may take; 0 (the default) means
    // the smaller of kDiskBudgetCap and a quarter of the free space of its
    // file system when the file is made.
    void SetDiskBudget(std::uint64_t bytes);
    static constexpr std::uint64_t kDiskBudgetCap = std::uint64_t(1) << 30;

    // The history file: its length, the disk space of the text it holds now
    // (dropped text gives its space back), pieces on disk, its descriptor (-1
    // without one; for tests).
    std::uint64_t HistoryFileBytes() const;
    std::uint64_t HistoryDiskBytes() const;
    std::size_t PiecesOnDisk() const;
    int HistoryFileDescriptor() const;

    // Called on any thread when Poll has something to do; Poll then runs on
    // the owner's thread. Poll returns the changes it made.
    void SetNotify(std::function<void()> notify);
    enum Change : unsigned { kNothing = 0, kRowsChanged = 1, kDropped = 2 };
    unsigned Poll();
    // Waits (bounded) until no piece is on its way to disk; for tests and
    // benchmarks. True when none is.
    bool WaitForWriter(int timeoutMs);
    // Once per text: the line for the user about dropped history.
    std::string TakeNotice();
    // Characters dropped so far.
    std::uint64_t DroppedUnits() const { return m_droppedUnits; }

    // The text as it stands now, for a worker thread to read (find,
    // re-wrapping) while this one moves on. Cheap: pieces in memory are
    // shared, only the newest one is copied.
    std::shared_ptr<const TextSnapshot> Snapshot() const;
    // Counts the edits that move or remove text already there (erasing,
    // dropping, clearing): offsets taken from a snapshot of an older
    // generation may name other text now.
    std::uint64_t Generation() const { return m_generation; }

    // A piece's size in units: text is sealed into pieces about this long.
    static constexpr std::size_t kChunkUnits = std::size_t(1) << 19;
    // Smaller pieces, so that tests move text to disk constantly.
    void SetPieceUnits(std::size_t units);
    std::size_t PieceUnits() const { return m_pieceUnits; }

private:
    struct Piece;
    struct Notifier;

    std::size_t PieceOfOffset(std::uint64_t offset) const;  // m_pieces.size() for the tail
    std::size_t PieceOfRow(std::uint64_t row) const;
    const TextSegment& Segment(std::size_t index) const;
    std::shared_ptr<TextSegment> Load(std::size_t index) const;
    std::uint64_t PieceUnits(std::size_t index) const;
    void RebuildBases(std::size_t from) const;
    void Seal();
    void SealWhileLong();
    void EnforceBudget() const;
    void EnforceDiskBudget() const;
    std::size_t EvictCopies() const;
    void DropFront(std::size_t count, const std::string& why) const;
    void DropAllOnDisk(const std::string& why) const;
    void SetMarker() const;
    HistoryWriter& Writer() const;
    void Reset();
    void ApplyResults() const;
    void ApplyRowCounts() const;
    void StartRowCounts() const;
    std::shared_ptr<const TextSnapshot> MakeSnapshot(bool estimatedOnly) const;
    std::shared_ptr<const TextSegment> SegmentAt(std::size_t index) const;
    std::pair<std::size_t, std::uint64_t> LocateRow(std::uint64_t row) const;

    mutable std::vector<Piece> m_pieces;
    // Per piece, and one past the last for the tail: first unit, line and row.
    mutable std::vector<std::uint64_t> m_unitBase, m_lineBase, m_rowBase;
    mutable std::uint64_t m_tailBase = 0;
    TextSegment m_tail;
    int m_columns = 80;
    std::size_t m_pieceUnits = kChunkUnits;
    mutable std::uint64_t m_lastSerial = 0;
    std::size_t m_budget = kDefaultBudget;
    std::uint64_t m_diskBudget = 0;
    mutable std::uint64_t m_autoDiskBudget = UINT64_MAX;  // for the current file, with m_diskBudget 0
    std::uint64_t m_nextId = 1;
    mutable std::uint64_t m_clock = 0;
    mutable std::uint64_t m_deadSerial = 0;  // results from files up to this one are void
    mutable std::unique_ptr<HistoryWriter> m_writer;
    mutable std::unique_ptr<PieceDecoder> m_decoder;
    mutable std::unique_ptr<RowCountPass> m_rowPass;
    // The last piece read straight from disk for its characters only (find,
    // save, copy): no line index is built for those.
    struct RawPiece;
    mutable std::unique_ptr<RawPiece> m_raw;
    const char16_t* RawUnits(std::size_t index) const;
    std::shared_ptr<Notifier> m_notifier;
    mutable std::string m_trouble;  // why the last write failed; empty when writing works
    mutable std::string m_pendingDropWhy;  // a read failed: drop what is on disk at the next Poll
    mutable std::uint64_t m_droppedUnits = 0;
    mutable std::string m_dropWhy;
    mutable std::string m_notice;
    mutable bool m_noticeGiven = false;
    mutable unsigned m_changes = kNothing;
    mutable std::uint64_t m_generation = 0;
};
