#include "terminal/TextSearch.h"

#include "text/TextSnapshot.h"

#include <QChar>

#include <algorithm>
#include <functional>
#include <future>
#include <system_error>
#include <vector>

namespace {

char16_t Fold(char16_t u)
{
    // Surrogates stay as they are: case folding here is per BMP character.
    if (u >= 0xD800 && u <= 0xDFFF)
        return u;
    if (u < 0x80)
        return u >= u'A' && u <= u'Z' ? static_cast<char16_t>(u + 32) : u;
    return static_cast<char16_t>(QChar::toCaseFolded(static_cast<char32_t>(u)));
}

// One pass over the pieces for the first match lying wholly within
// [begin, end). A match may straddle pieces: the last m - 1 units seen are
// carried over and searched together with the start of the next piece.
// While one piece is searched the next one, when on disk, is read and
// decoded on a thread of its own: decoding costs more than searching.
class RangeSearch {
public:
    RangeSearch(const TextSnapshot& text, const std::u16string& pattern, bool matchCase, std::stop_token stop,
                const SearchProgress& progress, std::uint64_t total)
        : m_text(text), m_pattern(pattern), m_searcher(pattern.begin(), pattern.end()), m_matchCase(matchCase),
          m_stop(std::move(stop)), m_progress(progress), m_total(total)
    {
    }

    std::optional<std::uint64_t> Run(std::uint64_t begin, std::uint64_t end, SearchOutcome& outcome)
    {
        const std::size_t m = m_pattern.size();
        if (begin >= end || end - begin < m)
            return std::nullopt;
        const auto& pieces = m_text.Pieces();
        if (m_ahead.valid())
            m_ahead.wait();
        for (Slot& slot : m_slots)
            slot.index = kNone;  // a piece searched before was folded in place
        m_carry.clear();
        std::uint64_t carryEnd = begin;  // the carry is the units just before this offset
        for (std::size_t i = m_text.PieceOf(begin); i < pieces.size() && pieces[i].base < end; ++i) {
            if (m_stop.stop_requested()) {
                outcome.stopped = true;
                return std::nullopt;
            }
            const TextSnapshot::Piece& piece = pieces[i];
            const std::uint64_t from = std::max(begin, piece.base);
            const std::uint64_t to = std::min(end, piece.base + piece.units);
            if (from >= to)
                continue;
            const bool ahead = i + 1 < pieces.size() && pieces[i + 1].base < end &&
                               !m_text.InMemory(i + 1) && pieces[i + 1].units >= kReadAheadUnits;
            Slot& slot = Read(i, ahead ? i + 1 : kNone);
            char16_t* units = slot.units;
            if (!slot.ok) {
                if (outcome.failure.empty())
                    outcome.failure = slot.why;
                m_carry.clear();
                carryEnd = to;
                Advance(to - from);
                continue;
            }
            units += from - piece.base;
            const auto n = static_cast<std::size_t>(to - from);
            if (!m_matchCase)
                std::transform(units, units + n, units, Fold);
            if (carryEnd != from)
                m_carry.clear();
            // Matches that start in the carry come before any in this piece.
            if (!m_carry.empty()) {
                const std::size_t head = std::min(n, m - 1);
                m_joined.assign(m_carry.begin(), m_carry.end());
                m_joined.insert(m_joined.end(), units, units + head);
                const auto hit = std::search(m_joined.begin(), m_joined.end(), m_searcher);
                if (hit != m_joined.end() && static_cast<std::size_t>(hit - m_joined.begin()) < m_carry.size())
                    return from - m_carry.size() + static_cast<std::uint64_t>(hit - m_joined.begin());
            }
            const auto hit = std::search(units, units + n, m_searcher);
            if (hit != units + n)
                return from + static_cast<std::uint64_t>(hit - units);
            // Keep the last m - 1 units of everything searched so far.
            if (n >= m - 1) {
                m_carry.assign(units + n - (m - 1), units + n);
            } else {
                m_carry.insert(m_carry.end(), units, units + n);
                if (m_carry.size() > m - 1)
                    m_carry.erase(m_carry.begin(), m_carry.end() - static_cast<std::ptrdiff_t>(m - 1));
            }
            carryEnd = to;
            Advance(n);
        }
        return std::nullopt;
    }

private:
    static constexpr std::size_t kNone = ~std::size_t(0);
    // Smaller pieces decode faster than a thread starts.
    static constexpr std::uint64_t kReadAheadUnits = 8192;
    struct Slot {
        TextSnapshot::Reader reader;
        std::size_t index = kNone;
        char16_t* units = nullptr;
        bool ok = false;
        std::string why;
    };

    void Fill(Slot& slot, std::size_t index)
    {
        slot.index = index;
        slot.ok = slot.reader.Units(m_text, index, slot.units, slot.why);
    }

    // Piece `index`, read ahead or now; the reading of `next` (kNone: none)
    // starts meanwhile.
    Slot& Read(std::size_t index, std::size_t next)
    {
        if (m_ahead.valid())
            m_ahead.get();
        Slot* slot = m_slots[0].index == index ? &m_slots[0] : m_slots[1].index == index ? &m_slots[1] : nullptr;
        if (slot == nullptr) {
            slot = &m_slots[0];
            Fill(*slot, index);
        }
        Slot& other = slot == &m_slots[0] ? m_slots[1] : m_slots[0];
        other.index = kNone;
        if (next != kNone) {
            try {
                m_ahead = std::async(std::launch::async, [this, &other, next] { Fill(other, next); });
            } catch (const std::system_error&) {
                // No thread to be had: the next piece is read when it comes.
            }
        }
        return *slot;
    }

    void Advance(std::uint64_t n)
    {
        m_done += n;
        if (m_progress)
            m_progress(std::min(m_done, m_total), m_total);
    }

    const TextSnapshot& m_text;
    const std::u16string& m_pattern;
    const std::boyer_moore_horspool_searcher<std::u16string::const_iterator> m_searcher;
    bool m_matchCase;
    std::stop_token m_stop;
    const SearchProgress& m_progress;
    std::uint64_t m_total;
    std::uint64_t m_done = 0;
    std::vector<char16_t> m_carry, m_joined;
    Slot m_slots[2];
    std::future<void> m_ahead;  // after the slots: waited for before they go
};

}  // namespace

SearchOutcome FindInSnapshot(const TextSnapshot& text, std::u16string_view pattern, std::uint64_t from,
                             bool matchCase, std::stop_token stop, const SearchProgress& progress)
{
    SearchOutcome outcome;
    const std::uint64_t size = text.Size();
    if (pattern.empty() || pattern.size() > size)
        return outcome;
    std::u16string wanted(pattern);
    if (!matchCase)
        std::transform(wanted.begin(), wanted.end(), wanted.begin(), Fold);
    from = std::min(from, size);
    // Round to the start: matches that begin before `from`.
    const std::uint64_t wrapEnd = std::min<std::uint64_t>(size, from + wanted.size() - 1);
    RangeSearch search(text, wanted, matchCase, std::move(stop), progress, (size - from) + wrapEnd);
    if (const auto at = search.Run(from, size, outcome))
        outcome.match = TextMatch{*at, *at + wanted.size(), false};
    else if (outcome.stopped)
        return outcome;
    else if (const auto again = search.Run(0, wrapEnd, outcome))
        outcome.match = TextMatch{*again, *again + wanted.size(), true};
    return outcome;
}

std::optional<TextMatch> FindInText(const TerminalText& text, std::u16string_view pattern,
                                    std::uint64_t from, bool matchCase)
{
    return FindInSnapshot(*text.Snapshot(), pattern, from, matchCase).match;
}
