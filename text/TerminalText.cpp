#include "text/TerminalText.h"

#include "text/HistoryWriter.h"
#include "text/PieceCodec.h"
#include "text/RowCountPass.h"
#include "text/TextSnapshot.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <mutex>
#include <thread>

namespace {

constexpr std::uint32_t kMarkerColor = 0x00808080;  // grey
// Appends go to the newest piece in slices, so a piece is sealed soon after
// it is full however large one append is.
constexpr std::size_t kSliceUnits = std::size_t(1) << 16;
// Memory that is not yet on its way to disk is kept under this share of
// the budget; the rest is room for pieces being written and read back.
constexpr std::size_t kQueueShare = 4;  // of 4 ... 3/4

bool IsHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }

// Copies [from, to) of one segment with its colours to the end of another.
void CopyRange(const TextSegment& from, std::uint64_t begin, std::uint64_t end, TextSegment& to)
{
    const auto& runs = from.Runs();
    std::vector<char16_t> buffer;
    std::size_t run = from.RunAt(begin);
    for (std::uint64_t at = begin; at < end; ++run) {
        const std::uint64_t runEnd = run + 1 < runs.size() ? std::min(runs[run + 1].start, end) : end;
        buffer.resize(static_cast<std::size_t>(runEnd - at));
        from.Copy(at, buffer.size(), buffer.data());
        to.Append(buffer.data(), buffer.size(), runs[run].color);
        at = runEnd;
    }
}

std::string Grouped(std::uint64_t n)
{
    std::string digits = std::to_string(n);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<std::size_t>(at), ",");
    return digits;
}

// "64 KiB", "1 GiB", "2.3 GiB".
std::string SizeText(std::uint64_t bytes)
{
    static const char* const kUnits[] = {"KiB", "MiB", "GiB", "TiB"};
    if (bytes < 1024)
        return Grouped(bytes) + " bytes";
    double value = static_cast<double>(bytes);
    std::size_t unit = 0;
    for (value /= 1024; value >= 1024 && unit + 1 < std::size(kUnits); value /= 1024)
        ++unit;
    char text[32];
    std::snprintf(text, sizeof text, value == std::floor(value) ? "%.0f %s" : "%.1f %s", value, kUnits[unit]);
    return text;
}

// The first colour run of a decoded piece that starts after `local`; the run
// holding `local` is the one before it.
std::vector<PieceRun>::const_iterator RunAfter(const std::vector<PieceRun>& runs, std::uint64_t local)
{
    return std::upper_bound(runs.begin(), runs.end(), local,
                            [](std::uint64_t o, const PieceRun& r) { return o < r.start; });
}

}  // namespace

struct TerminalText::Piece {
    std::uint64_t id = 0;
    std::uint64_t units = 0;
    std::uint64_t newlines = 0;
    bool endsWithBreak = false;
    std::uint64_t rows = 0;
    int rowsColumns = 0;  // the width `rows` is exact for; 0 while an estimate
    TextSegment::Shape shape;
    std::vector<std::uint32_t> colors;
    std::shared_ptr<TextSegment> text;  // null while only on disk
    bool onDisk = false;
    bool queued = false;  // on its way to disk
    bool failed = false;  // its write failed; tried again once a write works
    bool marker = false;  // the line about dropped text
    std::uint64_t fileSerial = 0;
    std::uint64_t offset = 0;
    std::uint32_t bytes = 0;
    std::uint64_t lastUse = 0;
};

struct TerminalText::Notifier {
    std::mutex mutex;
    std::function<void()> notify;
    void Call()
    {
        std::lock_guard lock(mutex);
        if (notify)
            notify();
    }
};

struct TerminalText::RawPiece {
    std::uint64_t id = 0;
    DecodedPiece decoded;
};

TerminalText::TerminalText() : m_notifier(std::make_shared<Notifier>())
{
    Reset();
}

TerminalText::~TerminalText() = default;

TerminalText::TerminalText(TerminalText&& other) noexcept : TerminalText()
{
    *this = std::move(other);
}

TerminalText& TerminalText::operator=(TerminalText&& other) noexcept
{
    if (this == &other)
        return *this;
    m_rowPass.reset();
    m_writer.reset();
    m_raw.reset();
    m_pieces = std::move(other.m_pieces);
    m_unitBase = std::move(other.m_unitBase);
    m_lineBase = std::move(other.m_lineBase);
    m_rowBase = std::move(other.m_rowBase);
    m_tailBase = other.m_tailBase;
    m_tail = std::move(other.m_tail);
    m_columns = other.m_columns;
    m_pieceUnits = other.m_pieceUnits;
    m_nextId = other.m_nextId;
    m_clock = other.m_clock;
    m_deadSerial = other.m_deadSerial;
    m_lastSerial = other.m_lastSerial;
    m_autoDiskBudget = other.m_autoDiskBudget;
    m_writer = std::move(other.m_writer);
    if (m_writer)
        m_writer->SetNotify([notifier = m_notifier] { notifier->Call(); });
    m_trouble = std::move(other.m_trouble);
    m_pendingDropWhy = std::move(other.m_pendingDropWhy);
    m_droppedUnits = other.m_droppedUnits;
    m_dropWhy = std::move(other.m_dropWhy);
    m_notice = std::move(other.m_notice);
    m_noticeGiven = other.m_noticeGiven;
    m_changes = other.m_changes;
    m_generation = std::max(m_generation, other.m_generation) + 1;
    other.Reset();
    EnforceBudget();
    StartRowCounts();
    return *this;
}

void TerminalText::Reset()
{
    ++m_generation;
    m_rowPass.reset();  // stops and joins: it reads the pieces going now
    m_raw.reset();
    m_writer.reset();  // joins its thread and closes the history file
    m_pieces.clear();
    m_pieces.shrink_to_fit();
    m_tail.Clear();
    m_tail.SetWrapColumns(m_columns);
    m_tailBase = 0;
    m_deadSerial = m_lastSerial = 0;
    m_autoDiskBudget = UINT64_MAX;
    m_trouble.clear();
    m_pendingDropWhy.clear();
    m_droppedUnits = 0;
    m_dropWhy.clear();
    m_notice.clear();
    m_noticeGiven = false;
    RebuildBases(0);
}

void TerminalText::Clear()
{
    Reset();
}

void TerminalText::SetPieceUnits(std::size_t units)
{
    m_pieceUnits = std::max<std::size_t>(units, 16);
}

void TerminalText::SetMemoryBudget(std::size_t bytes)
{
    m_budget = bytes;
    EnforceBudget();
}

void TerminalText::SetDiskBudget(std::uint64_t bytes)
{
    m_diskBudget = bytes;
    EnforceBudget();
}

void TerminalText::SetNotify(std::function<void()> notify)
{
    std::lock_guard lock(m_notifier->mutex);
    m_notifier->notify = std::move(notify);
}

HistoryWriter& TerminalText::Writer() const
{
    if (!m_writer)
        m_writer = std::make_unique<HistoryWriter>([notifier = m_notifier] { notifier->Call(); });
    return *m_writer;
}

std::uint64_t TerminalText::PieceUnits(std::size_t index) const
{
    return index < m_pieces.size() ? m_pieces[index].units : m_tail.Size();
}

void TerminalText::RebuildBases(std::size_t) const
{
    const std::size_t n = m_pieces.size();
    m_unitBase.resize(n + 1);
    m_lineBase.resize(n + 1);
    m_rowBase.resize(n + 1);
    m_unitBase[0] = m_lineBase[0] = m_rowBase[0] = 0;
    for (std::size_t i = 0; i < n; ++i) {
        m_unitBase[i + 1] = m_unitBase[i] + m_pieces[i].units;
        m_lineBase[i + 1] = m_lineBase[i] + m_pieces[i].newlines;
        m_rowBase[i + 1] = m_rowBase[i] + m_pieces[i].rows;
    }
    m_tailBase = m_unitBase[n];
}

std::size_t TerminalText::PieceOfOffset(std::uint64_t offset) const
{
    if (offset >= m_tailBase)
        return m_pieces.size();
    return static_cast<std::size_t>(std::upper_bound(m_unitBase.begin(), m_unitBase.end(), offset) -
                                    m_unitBase.begin()) - 1;
}

std::size_t TerminalText::PieceOfRow(std::uint64_t row) const
{
    if (row >= m_rowBase.back())
        return m_pieces.size();
    return static_cast<std::size_t>(std::upper_bound(m_rowBase.begin(), m_rowBase.end(), row) -
                                    m_rowBase.begin()) - 1;
}

std::shared_ptr<TextSegment> TerminalText::Load(std::size_t index) const
{
    Piece& piece = m_pieces[index];
    piece.lastUse = ++m_clock;
    if (!piece.text) {
        EvictCopies();  // room for it: the least used copies leave first
        std::string blob, why;
        DecodedPiece decoded;
        if (!m_decoder)
            m_decoder = std::make_unique<PieceDecoder>();
        bool ok = Writer().Read(piece.fileSerial, piece.offset, piece.bytes, blob, why) &&
                  m_decoder->Decode(blob.data(), blob.size(), decoded, why);
        if (ok && decoded.units.size() != piece.units) {
            why = "The history file holds something else than was written";
            ok = false;
        }
        auto text = std::make_shared<TextSegment>();
        text->SetWrapColumns(m_columns);
        if (ok) {
            for (std::size_t r = 0; r < decoded.runs.size(); ++r) {
                const std::size_t from = decoded.runs[r].start;
                const std::size_t to = r + 1 < decoded.runs.size() ? decoded.runs[r + 1].start : decoded.units.size();
                text->Append(decoded.units.data() + from, to - from, decoded.runs[r].color);
            }
        } else {
            // Blank text of the same length and lines stands in until the
            // next Poll drops everything on disk with a marker.
            std::vector<char16_t> blank(static_cast<std::size_t>(piece.units), u' ');
            std::fill(blank.end() - static_cast<std::ptrdiff_t>(piece.newlines), blank.end(), u'\n');
            text->Append(blank.data(), blank.size(), kMarkerColor);
            if (m_pendingDropWhy.empty())
                m_pendingDropWhy = why;
            m_notifier->Call();
        }
        piece.text = std::move(text);
    }
    if (piece.text->WrapColumns() != m_columns)
        piece.text->SetWrapColumns(m_columns);
    const std::uint64_t rows = piece.text->RowCount() - (piece.endsWithBreak ? 1 : 0);
    if (piece.rowsColumns != m_columns || rows != piece.rows) {
        const bool changed = rows != piece.rows;
        piece.rows = rows;
        piece.rowsColumns = m_columns;
        if (changed) {
            RebuildBases(index + 1);
            m_changes |= kRowsChanged;
        }
    }
    return piece.text;
}

std::shared_ptr<const TextSegment> TerminalText::SegmentAt(std::size_t index) const
{
    if (index >= m_pieces.size())
        return std::shared_ptr<const TextSegment>(std::shared_ptr<void>(), &m_tail);
    return Load(index);
}

const TextSegment& TerminalText::Segment(std::size_t index) const
{
    return *SegmentAt(index);
}

void TerminalText::Append(const char16_t* text, std::size_t n, std::uint32_t color)
{
    while (n > 0) {
        const std::size_t take = std::min({n, kSliceUnits, m_pieceUnits});
        m_tail.Append(text, take, color);
        text += take;
        n -= take;
        if (m_tail.Size() >= m_pieceUnits)
            SealWhileLong();
    }
}

void TerminalText::SealWhileLong()
{
    while (m_tail.Size() >= m_pieceUnits)
        Seal();
    EnforceBudget();
}

void TerminalText::Seal()
{
    const std::uint64_t size = m_tail.Size();
    const std::size_t lastLine = m_tail.LineCount() - 1;
    const std::uint64_t lastStart = m_tail.LineStart(lastLine);
    std::uint64_t cut = 0;
    if (lastLine > 0 && lastStart >= m_pieceUnits / 2 && lastStart <= m_pieceUnits + kSliceUnits) {
        cut = lastStart;  // right after a line break
    } else {
        // A line longer than a piece is cut, never inside a surrogate pair.
        cut = std::min<std::uint64_t>(size, m_pieceUnits);
        if (cut < size && IsHighSurrogate(m_tail.At(cut - 1)))
            --cut;
    }
    TextSegment rest;
    rest.SetWrapColumns(m_columns);
    CopyRange(m_tail, cut, size, rest);
    m_tail.Truncate(cut);
    auto sealed = std::make_shared<TextSegment>(std::move(m_tail));
    m_tail = std::move(rest);

    Piece piece;
    piece.id = m_nextId++;
    piece.units = cut;
    piece.newlines = sealed->LineCount() - 1;
    piece.endsWithBreak = sealed->At(cut - 1) == u'\n';
    piece.rows = sealed->RowCount() - (piece.endsWithBreak ? 1 : 0);
    piece.rowsColumns = m_columns;
    piece.shape = sealed->ShapeOf(sealed->LineCount() - (piece.endsWithBreak ? 1 : 0));
    for (const auto& run : sealed->Runs())
        if (std::find(piece.colors.begin(), piece.colors.end(), run.color) == piece.colors.end())
            piece.colors.push_back(run.color);
    piece.text = std::move(sealed);
    piece.lastUse = ++m_clock;
    m_pieces.push_back(std::move(piece));
    RebuildBases(m_pieces.size() - 1);
}

void TerminalText::ApplyResults() const
{
    if (!m_writer)
        return;
    for (HistoryWriter::Result& result : m_writer->TakeResults()) {
        m_lastSerial = std::max(m_lastSerial, result.fileSerial);
        if (result.newFile)
            m_autoDiskBudget = std::min(kDiskBudgetCap, result.freeAtStart / 4);
        const auto it = std::lower_bound(m_pieces.begin(), m_pieces.end(), result.id,
                                         [](const Piece& p, std::uint64_t id) { return p.id < id; });
        const bool stale = result.fileSerial <= m_deadSerial;
        if (it == m_pieces.end() || it->id != result.id) {
            if (result.ok && !stale)  // dropped or changed meanwhile: its space comes back
                m_writer->Discard(result.fileSerial, result.offset, result.bytes);
            continue;
        }
        Piece& piece = *it;
        piece.queued = false;
        if (result.ok && !stale) {
            piece.onDisk = true;
            piece.fileSerial = result.fileSerial;
            piece.offset = result.offset;
            piece.bytes = result.bytes;
            if (!m_trouble.empty()) {
                m_trouble.clear();
                for (Piece& p : m_pieces)
                    p.failed = false;
            }
        } else if (!result.ok) {
            piece.failed = true;
            m_trouble = result.why;
        }
    }
}

std::size_t TerminalText::EvictCopies() const
{
    // Copies of what is on disk go first, the least used first. Nothing else
    // changes here, so readers may call it while they hold piece indexes.
    std::size_t resident = MemoryBytes();
    while (resident > m_budget) {
        Piece* oldest = nullptr;
        for (Piece& p : m_pieces)
            if (p.text && p.onDisk && !p.marker && (oldest == nullptr || p.lastUse < oldest->lastUse))
                oldest = &p;
        if (oldest == nullptr || oldest->lastUse == m_clock)
            break;  // never the piece just asked for
        resident -= oldest->text->CapacityBytes();
        oldest->text.reset();
    }
    return resident;
}

void TerminalText::EnforceBudget() const
{
    ApplyResults();
    ApplyRowCounts();
    if (!m_pendingDropWhy.empty()) {
        const std::string why = std::move(m_pendingDropWhy);
        m_pendingDropWhy.clear();
        DropAllOnDisk(why);
    }
    EnforceDiskBudget();
    std::size_t resident = EvictCopies();
    // Then the oldest pieces only in memory start their way to disk.
    std::size_t leaving = 0;
    for (const Piece& p : m_pieces)
        if (p.queued && p.text)
            leaving += p.text->CapacityBytes();
    for (Piece& p : m_pieces) {
        if (resident - std::min(resident, leaving) <= m_budget / kQueueShare * 3)
            break;
        if (!p.text || p.onDisk || p.queued || p.failed || p.marker)
            continue;
        std::vector<char16_t> units(static_cast<std::size_t>(p.units));
        p.text->Copy(0, units.size(), units.data());
        std::vector<PieceRun> runs;
        for (const auto& run : p.text->Runs())
            runs.push_back({static_cast<std::uint32_t>(run.start), run.color});
        Writer().Spill(p.id, std::move(units), std::move(runs));
        p.queued = true;
        leaving += p.text->CapacityBytes();
    }
    // Without a working history file the oldest text makes room; a piece on
    // its way to disk is waited for, it may get there.
    if (!m_trouble.empty()) {
        while (resident - std::min(resident, leaving) > m_budget) {
            const std::size_t first = !m_pieces.empty() && m_pieces[0].marker ? 1 : 0;
            if (first >= m_pieces.size() || m_pieces[first].queued)
                break;
            const std::size_t freed = m_pieces[first].text ? m_pieces[first].text->CapacityBytes() : 0;
            DropFront(1, m_trouble);
            resident -= std::min(resident, freed);
        }
    }
}

void TerminalText::EnforceDiskBudget() const
{
    // Pieces on their way to disk are counted once their results are in;
    // until then the file may pass the budget by what is in flight.
    const std::uint64_t budget = m_diskBudget != 0 ? m_diskBudget : m_autoDiskBudget;
    std::uint64_t used = HistoryDiskBytes();
    if (used <= budget)
        return;
    const std::size_t first = !m_pieces.empty() && m_pieces[0].marker ? 1 : 0;
    std::size_t count = 0;
    for (std::size_t i = first; i < m_pieces.size() && used > budget && !m_pieces[i].queued; ++i, ++count)
        if (m_pieces[i].onDisk && m_pieces[i].fileSerial > m_deadSerial)
            used -= std::min(used, HistoryFile::Footprint(m_pieces[i].bytes));
    DropFront(count, "the history file is limited to " + SizeText(budget));
}

void TerminalText::DropFront(std::size_t count, const std::string& why) const
{
    const std::size_t first = !m_pieces.empty() && m_pieces[0].marker ? 1 : 0;
    const std::size_t last = std::min(m_pieces.size(), first + count);
    if (first >= last)
        return;
    for (std::size_t i = first; i < last; ++i) {
        const Piece& p = m_pieces[i];
        m_droppedUnits += p.units;
        if (p.onDisk && p.fileSerial > m_deadSerial)
            Writer().Discard(p.fileSerial, p.offset, p.bytes);
    }
    m_pieces.erase(m_pieces.begin() + static_cast<std::ptrdiff_t>(first),
                   m_pieces.begin() + static_cast<std::ptrdiff_t>(last));
    m_dropWhy = why;
    ++m_generation;
    SetMarker();
    m_changes |= kDropped;
    if (!m_noticeGiven && m_notice.empty())
        m_notice = "Terminal history: the oldest text was dropped (" + why + ")";
    m_notifier->Call();
}

void TerminalText::DropAllOnDisk(const std::string& why) const
{
    std::size_t last = 0;
    bool any = false;
    for (std::size_t i = 0; i < m_pieces.size(); ++i)
        if (m_pieces[i].onDisk && m_pieces[i].fileSerial > m_deadSerial) {
            last = i;
            any = true;
        }
    m_deadSerial = m_lastSerial;
    if (m_writer)
        m_writer->Restart();
    for (Piece& p : m_pieces)
        if (p.onDisk) {
            p.onDisk = false;  // what stays needs writing again
            p.failed = false;
        }
    if (any)
        DropFront(last + 1 - (m_pieces[0].marker ? 1 : 0), why);
}

void TerminalText::SetMarker() const
{
    const std::string line = "[" + Grouped(m_droppedUnits) + " characters of the oldest text were dropped: " +
                             m_dropWhy + "]\n";
    std::vector<char16_t> units;
    if (!FromUtf8(line.data(), line.size(), units))
        units.assign(line.begin(), line.end());
    auto text = std::make_shared<TextSegment>();
    text->SetWrapColumns(m_columns);
    text->Append(units.data(), units.size(), kMarkerColor);
    if (m_pieces.empty() || !m_pieces[0].marker) {
        Piece marker;
        marker.marker = true;
        m_pieces.insert(m_pieces.begin(), std::move(marker));
    }
    Piece& marker = m_pieces[0];
    marker.units = text->Size();
    marker.newlines = 1;
    marker.endsWithBreak = true;
    marker.rows = text->RowCount() - 1;
    marker.rowsColumns = m_columns;
    marker.shape = text->ShapeOf(1);
    marker.colors = {kMarkerColor};
    marker.text = std::move(text);
    RebuildBases(0);
}

unsigned TerminalText::Poll()
{
    EnforceBudget();
    return std::exchange(m_changes, kNothing);
}

bool TerminalText::WaitForWriter(int timeoutMs)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        EnforceBudget();
        const bool busy = std::any_of(m_pieces.begin(), m_pieces.end(), [](const Piece& p) { return p.queued; });
        if (!busy)
            return true;
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

std::string TerminalText::TakeNotice()
{
    if (m_notice.empty())
        return {};
    m_noticeGiven = true;
    return std::exchange(m_notice, {});
}

void TerminalText::Erase(std::uint64_t offset, std::uint64_t n)
{
    const std::uint64_t size = Size();
    if (n == 0 || offset >= size)
        return;
    n = std::min(n, size - offset);
    ++m_generation;
    if (offset >= m_tailBase) {
        m_tail.Erase(offset - m_tailBase, n);
        return;
    }
    // The marker line stays.
    if (!m_pieces.empty() && m_pieces[0].marker && offset < m_pieces[0].units) {
        const std::uint64_t skip = m_pieces[0].units - offset;
        if (n <= skip)
            return;
        offset += skip;
        n -= skip;
    }
    // The pieces from there on become the newest piece again.
    const std::size_t first = PieceOfOffset(offset);
    TextSegment merged;
    merged.SetWrapColumns(m_columns);
    for (std::size_t i = first; i < m_pieces.size(); ++i) {
        const auto text = Load(i);
        CopyRange(*text, 0, text->Size(), merged);
        if (m_pieces[i].onDisk && m_pieces[i].fileSerial > m_deadSerial)
            Writer().Discard(m_pieces[i].fileSerial, m_pieces[i].offset, m_pieces[i].bytes);
    }
    CopyRange(m_tail, 0, m_tail.Size(), merged);
    const std::uint64_t base = m_unitBase[first];
    m_pieces.erase(m_pieces.begin() + static_cast<std::ptrdiff_t>(first), m_pieces.end());
    m_tail = std::move(merged);
    RebuildBases(first);
    m_tail.Erase(offset - base, n);
    SealWhileLong();
}

void TerminalText::Truncate(std::uint64_t offset)
{
    if (offset < Size())
        Erase(offset, Size() - offset);
}

const char16_t* TerminalText::RawUnits(std::size_t index) const
{
    if (index >= m_pieces.size() || m_pieces[index].text)
        return nullptr;
    const Piece& piece = m_pieces[index];
    if (!m_raw)
        m_raw = std::make_unique<RawPiece>();
    if (m_raw->id != piece.id) {
        m_raw->id = 0;
        if (!m_decoder)
            m_decoder = std::make_unique<PieceDecoder>();
        std::string blob, why;
        if (!Writer().Read(piece.fileSerial, piece.offset, piece.bytes, blob, why) ||
            !m_decoder->Decode(blob.data(), blob.size(), m_raw->decoded, why) ||
            m_raw->decoded.units.size() != piece.units)
            return nullptr;  // Load reports it
        m_raw->id = piece.id;
    }
    return m_raw->decoded.units.data();
}

char16_t TerminalText::At(std::uint64_t offset) const
{
    const std::size_t i = PieceOfOffset(offset);
    if (const char16_t* raw = RawUnits(i))
        return raw[offset - m_unitBase[i]];
    return SegmentAt(i)->At(offset - m_unitBase[i]);
}

void TerminalText::Copy(std::uint64_t offset, std::size_t n, char16_t* out) const
{
    while (n > 0) {
        const std::size_t i = PieceOfOffset(offset);
        const std::uint64_t local = offset - m_unitBase[i];
        const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(n, PieceUnits(i) - local));
        if (const char16_t* raw = RawUnits(i))
            std::copy_n(raw + local, take, out);
        else
            SegmentAt(i)->Copy(local, take, out);
        out += take;
        offset += take;
        n -= take;
    }
}

std::size_t TerminalText::LineCount() const
{
    return static_cast<std::size_t>(m_lineBase.back()) + m_tail.LineCount();
}

std::uint64_t TerminalText::LineStart(std::size_t line) const
{
    if (line == 0)
        return 0;
    const auto i = static_cast<std::size_t>(
        std::upper_bound(m_lineBase.begin(), m_lineBase.end(), static_cast<std::uint64_t>(line - 1)) -
        m_lineBase.begin()) - 1;
    return m_unitBase[i] + SegmentAt(i)->LineStart(static_cast<std::size_t>(line - m_lineBase[i]));
}

std::uint64_t TerminalText::LineLength(std::size_t line) const
{
    const std::uint64_t end = line + 1 < LineCount() ? LineStart(line + 1) - 1 : Size();
    return end - LineStart(line);
}

std::size_t TerminalText::LineOfOffset(std::uint64_t offset) const
{
    const std::size_t i = PieceOfOffset(offset);
    return static_cast<std::size_t>(m_lineBase[i]) + SegmentAt(i)->LineOfOffset(offset - m_unitBase[i]);
}

std::uint32_t TerminalText::ColorAt(std::uint64_t offset) const
{
    const std::size_t i = PieceOfOffset(offset);
    if (RawUnits(i) != nullptr) {
        const auto it = RunAfter(m_raw->decoded.runs, offset - m_unitBase[i]);
        return std::prev(it)->color;
    }
    return SegmentAt(i)->ColorAt(offset - m_unitBase[i]);
}

std::uint64_t TerminalText::ColorRunEnd(std::uint64_t offset) const
{
    const std::size_t i = PieceOfOffset(offset);
    if (RawUnits(i) != nullptr) {
        const auto& runs = m_raw->decoded.runs;
        const auto it = RunAfter(runs, offset - m_unitBase[i]);
        return m_unitBase[i] + (it == runs.end() ? m_pieces[i].units : it->start);
    }
    const auto text = SegmentAt(i);
    const auto& runs = text->Runs();
    const std::size_t run = text->RunAt(offset - m_unitBase[i]);
    const std::uint64_t end = run + 1 < runs.size() ? runs[run + 1].start : text->Size();
    return m_unitBase[i] + end;
}

std::vector<std::uint32_t> TerminalText::Colors() const
{
    std::vector<std::uint32_t> colors;
    auto add = [&colors](std::uint32_t c) {
        if (std::find(colors.begin(), colors.end(), c) == colors.end())
            colors.push_back(c);
    };
    for (const Piece& p : m_pieces)
        for (std::uint32_t c : p.colors)
            add(c);
    for (const auto& run : m_tail.Runs())
        add(run.color);
    return colors;
}

void TerminalText::SetWrapColumns(int columns)
{
    columns = std::max(columns, 1);
    if (columns == m_columns)
        return;
    m_columns = columns;
    m_tail.SetWrapColumns(columns);
    for (Piece& p : m_pieces) {
        if (p.text) {
            p.text->SetWrapColumns(columns);
            p.rows = p.text->RowCount() - (p.endsWithBreak ? 1 : 0);
            p.rowsColumns = columns;
        } else {
            p.rows = TextSegment::RowsOfShape(p.shape, columns);
            p.rowsColumns = p.shape.wide.empty() ? columns : 0;
        }
    }
    RebuildBases(0);
    StartRowCounts();
}

void TerminalText::StartRowCounts() const
{
    const bool estimated =
        std::any_of(m_pieces.begin(), m_pieces.end(), [this](const Piece& p) { return p.rowsColumns != m_columns; });
    if (!estimated) {
        if (m_rowPass)
            m_rowPass->Stop();
        return;
    }
    if (!m_rowPass)
        m_rowPass = std::make_unique<RowCountPass>([notifier = m_notifier] { notifier->Call(); });
    m_rowPass->Start(MakeSnapshot(true), m_columns);
}

void TerminalText::ApplyRowCounts() const
{
    if (!m_rowPass)
        return;
    bool changed = false;
    for (const RowCountPass::Result& result : m_rowPass->TakeResults()) {
        if (result.columns != m_columns)
            continue;  // counted for a width since left
        const auto it = std::lower_bound(m_pieces.begin(), m_pieces.end(), result.id,
                                         [](const Piece& p, std::uint64_t id) { return p.id < id; });
        if (it == m_pieces.end() || it->id != result.id || it->rowsColumns == m_columns)
            continue;
        changed = changed || it->rows != result.rows;
        it->rows = result.rows;
        it->rowsColumns = m_columns;
    }
    if (changed) {
        RebuildBases(0);
        m_changes |= kRowsChanged;
    }
}

bool TerminalText::RowsExact() const
{
    return std::all_of(m_pieces.begin(), m_pieces.end(), [this](const Piece& p) { return p.rowsColumns == m_columns; });
}

std::uint64_t TerminalText::RowCount() const
{
    return m_rowBase.back() + m_tail.RowCount();
}

std::pair<std::size_t, std::uint64_t> TerminalText::LocateRow(std::uint64_t row) const
{
    // Reading a piece makes its row count exact, which can move the rows
    // after it: look again until the row lies in the piece found.
    for (;;) {
        const std::size_t i = PieceOfRow(row);
        if (i >= m_pieces.size())
            return {i, std::min(row - m_rowBase.back(), m_tail.RowCount() - 1)};
        Load(i);
        if (row < m_rowBase[i] + m_pieces[i].rows)
            return {i, row - m_rowBase[i]};
        if (row >= RowCount())
            row = RowCount() - 1;
    }
}

std::pair<std::size_t, std::uint64_t> TerminalText::RowPosition(std::uint64_t row) const
{
    const auto [i, local] = LocateRow(row);
    const auto [line, column] = SegmentAt(i)->RowPosition(local);
    const auto global = static_cast<std::size_t>(m_lineBase[i]) + line;
    if (line == 0 && i > 0 && !m_pieces[i - 1].endsWithBreak)
        return {global, m_unitBase[i] + column - LineStart(global)};
    return {global, column};
}

std::uint64_t TerminalText::RowStart(std::uint64_t row) const
{
    const auto [i, local] = LocateRow(row);
    const auto text = SegmentAt(i);
    const auto [line, column] = text->RowPosition(local);
    return m_unitBase[i] + text->LineStart(line) + column;
}

std::uint64_t TerminalText::RowLength(std::uint64_t row) const
{
    const auto [i, local] = LocateRow(row);
    return SegmentAt(i)->RowLength(local);
}

std::uint64_t TerminalText::RowOfOffset(std::uint64_t offset) const
{
    const std::size_t i = PieceOfOffset(offset);
    const auto text = SegmentAt(i);
    return m_rowBase[i] + text->RowOfOffset(offset - m_unitBase[i]);
}

std::size_t TerminalText::MemoryBytes() const
{
    std::size_t bytes = m_tail.CapacityBytes();
    for (const Piece& p : m_pieces)
        if (p.text)
            bytes += p.text->CapacityBytes();
    return bytes;
}

std::shared_ptr<const TextSnapshot> TerminalText::Snapshot() const
{
    return MakeSnapshot(false);
}

std::shared_ptr<const TextSnapshot> TerminalText::MakeSnapshot(bool estimatedOnly) const
{
    std::vector<TextSnapshot::Piece> pieces;
    pieces.reserve(estimatedOnly ? 0 : m_pieces.size() + 1);
    for (std::size_t i = 0; i < m_pieces.size(); ++i) {
        const Piece& p = m_pieces[i];
        if (estimatedOnly && p.rowsColumns == m_columns)
            continue;
        TextSnapshot::Piece piece;
        piece.base = m_unitBase[i];
        piece.units = p.units;
        piece.id = p.id;
        piece.endsWithBreak = p.endsWithBreak;
        if (p.text) {
            piece.segment = p.text;  // sealed: its characters never change
        } else if (p.onDisk && p.fileSerial > m_deadSerial && m_writer) {
            piece.file = m_writer->File(p.fileSerial);
            piece.offset = p.offset;
            piece.bytes = p.bytes;
        }
        pieces.push_back(std::move(piece));
    }
    if (estimatedOnly)
        return std::make_shared<const TextSnapshot>(std::move(pieces), m_generation);
    TextSnapshot::Piece tail;
    tail.base = m_tailBase;
    tail.units = m_tail.Size();
    auto copy = std::make_shared<std::vector<char16_t>>(static_cast<std::size_t>(tail.units));
    if (!copy->empty())
        m_tail.Copy(0, copy->size(), copy->data());
    tail.copy = std::move(copy);
    pieces.push_back(std::move(tail));
    return std::make_shared<const TextSnapshot>(std::move(pieces), m_generation);
}

std::uint64_t TerminalText::HistoryFileBytes() const
{
    return m_writer ? m_writer->FileBytes() : 0;
}

std::uint64_t TerminalText::HistoryDiskBytes() const
{
    std::uint64_t bytes = 0;
    for (const Piece& p : m_pieces)
        if (p.onDisk && p.fileSerial > m_deadSerial)
            bytes += HistoryFile::Footprint(p.bytes);
    return bytes;
}

std::size_t TerminalText::PiecesOnDisk() const
{
    return static_cast<std::size_t>(
        std::count_if(m_pieces.begin(), m_pieces.end(), [](const Piece& p) { return p.onDisk; }));
}

int TerminalText::HistoryFileDescriptor() const
{
    return m_writer ? m_writer->FileDescriptor() : -1;
}
