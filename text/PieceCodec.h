#pragma once
// A piece of terminal text as a compact blob for the history file: its
// colour runs and its text as UTF-8 (lone surrogates kept as three-byte
// sequences, so every UTF-16 unit comes back), zstd-compressed with a
// checksum. Decoding checks everything, so a damaged or foreign blob is
// refused instead of shown.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct PieceRun {
    std::uint32_t start;  // first unit of the run within the piece
    std::uint32_t color;  // COLORREF
};

struct DecodedPiece {
    std::vector<char16_t> units;
    std::vector<PieceRun> runs;
};

// Reused compression state; one per thread.
class PieceEncoder {
public:
    PieceEncoder();
    ~PieceEncoder();
    PieceEncoder(const PieceEncoder&) = delete;
    PieceEncoder& operator=(const PieceEncoder&) = delete;

    // The blob for n units and their runs (runs start at 0, ascending).
    const std::string& Encode(const char16_t* units, std::size_t n, const std::vector<PieceRun>& runs);

private:
    struct State;
    State* m_state;
    std::string m_raw;
    std::string m_blob;
};

class PieceDecoder {
public:
    PieceDecoder();
    ~PieceDecoder();
    PieceDecoder(const PieceDecoder&) = delete;
    PieceDecoder& operator=(const PieceDecoder&) = delete;

    // False (and `why` says what is wrong) for anything Encode did not make.
    bool Decode(const void* blob, std::size_t size, DecodedPiece& out, std::string& why);

private:
    struct State;
    State* m_state;
    std::string m_raw;
};

// UTF-16 to UTF-8 as above, appended to `out`; and back. FromUtf8 is false
// on a malformed sequence.
void AppendUtf8(const char16_t* units, std::size_t n, std::string& out);
bool FromUtf8(const char* bytes, std::size_t size, std::vector<char16_t>& out);
