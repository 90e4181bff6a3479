#pragma once
// The terminal text as it stood at one moment, for a worker thread (find,
// re-wrapping) to read without touching the text model. Sealed pieces held
// in memory are shared (their characters never change once sealed), the
// newest piece is copied, and a piece on disk is read back from its history
// file, which the snapshot keeps open however the model moves on.

#include "text/PieceCodec.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class HistoryFile;
class TextSegment;

class TextSnapshot {
public:
    struct Piece {
        std::uint64_t base = 0;   // offset of its first unit in the text
        std::uint64_t units = 0;
        std::uint64_t id = 0;     // the model's id for it; 0 for the newest piece
        bool endsWithBreak = false;
        std::shared_ptr<const TextSegment> segment;         // held in memory
        std::shared_ptr<const std::vector<char16_t>> copy;  // the newest piece
        std::shared_ptr<const HistoryFile> file;            // on disk (null: gone)
        std::uint64_t offset = 0;
        std::uint32_t bytes = 0;
    };

    // What a reading thread keeps between pieces: the decoder and buffers.
    class Reader {
    public:
        // Piece `index`'s units in a buffer of the reader's own (the caller
        // may change them; valid until the next call), or false with `why`
        // when its part of the history file cannot be read.
        bool Units(const TextSnapshot& snapshot, std::size_t index, char16_t*& units, std::string& why);

    private:
        PieceDecoder m_decoder;
        std::string m_blob;
        DecodedPiece m_decoded;
        std::vector<char16_t> m_copy;
    };

    TextSnapshot(std::vector<Piece> pieces, std::uint64_t generation);

    const std::vector<Piece>& Pieces() const { return m_pieces; }
    std::uint64_t Size() const { return m_size; }
    // The model's edit count when this was taken (see TerminalText::Generation).
    std::uint64_t Generation() const { return m_generation; }
    // The piece holding offset (Pieces().size() past the end).
    std::size_t PieceOf(std::uint64_t offset) const;
    // True when every piece is in memory (no reads from disk needed), or
    // piece `index` is.
    bool InMemory() const;
    bool InMemory(std::size_t index) const { return m_pieces[index].segment || m_pieces[index].copy; }

private:
    std::vector<Piece> m_pieces;
    std::uint64_t m_size = 0;
    std::uint64_t m_generation = 0;
};
