#include "text/TextSnapshot.h"

#include "text/HistoryFile.h"
#include "text/TextSegment.h"

#include <algorithm>

TextSnapshot::TextSnapshot(std::vector<Piece> pieces, std::uint64_t generation)
    : m_pieces(std::move(pieces)), m_generation(generation)
{
    for (const Piece& piece : m_pieces)
        m_size = std::max(m_size, piece.base + piece.units);
}

std::size_t TextSnapshot::PieceOf(std::uint64_t offset) const
{
    const auto it = std::upper_bound(m_pieces.begin(), m_pieces.end(), offset,
                                     [](std::uint64_t o, const Piece& p) { return o < p.base + p.units; });
    return static_cast<std::size_t>(it - m_pieces.begin());
}

bool TextSnapshot::InMemory() const
{
    return std::all_of(m_pieces.begin(), m_pieces.end(), [](const Piece& p) { return p.segment || p.copy; });
}

bool TextSnapshot::Reader::Units(const TextSnapshot& snapshot, std::size_t index, char16_t*& units,
                                 std::string& why)
{
    const Piece& piece = snapshot.m_pieces[index];
    if (piece.copy || piece.segment) {
        // Shared with the model: the caller gets a copy it may change.
        m_copy.resize(static_cast<std::size_t>(piece.units));
        if (piece.copy)
            std::copy(piece.copy->begin(), piece.copy->end(), m_copy.begin());
        else
            piece.segment->Copy(0, m_copy.size(), m_copy.data());
        units = m_copy.data();
        return true;
    }
    if (!piece.file) {
        why = "The history file is gone";
        return false;
    }
    m_blob.resize(piece.bytes);
    if (!piece.file->Read(piece.offset, piece.bytes, m_blob.data(), why) ||
        !m_decoder.Decode(m_blob.data(), m_blob.size(), m_decoded, why))
        return false;
    if (m_decoded.units.size() != piece.units) {
        why = "The history file holds something else than was written";
        return false;
    }
    units = m_decoded.units.data();
    return true;
}
