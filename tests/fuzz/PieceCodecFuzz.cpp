// The piece codec reads blobs back from the history file, so its decoder
// must take any bytes. The first byte chooses what the rest is:
//   even: a blob as found on disk. Decoding never crashes, and what decodes
//         encodes and decodes again to the same piece.
//   odd:  a piece to write: UTF-16 units (two bytes each, lone surrogates
//         too) with colour runs. It comes back unit for unit; the blob cut
//         short is refused, and with one byte changed it is refused or
//         still gives the same piece.

#include "FuzzTarget.h"
#include "text/PieceCodec.h"

#include <string>
#include <vector>

namespace {

bool Same(const DecodedPiece& a, const DecodedPiece& b)
{
    if (a.units != b.units || a.runs.size() != b.runs.size())
        return false;
    for (std::size_t k = 0; k < a.runs.size(); ++k)
        if (a.runs[k].start != b.runs[k].start || a.runs[k].color != b.runs[k].color)
            return false;
    return true;
}

void ReadBlob(const std::uint8_t* data, std::size_t size)
{
    PieceDecoder decoder;
    DecodedPiece piece;
    std::string why;
    if (!decoder.Decode(data, size, piece, why)) {
        FUZZ_CHECK(!why.empty());
        return;
    }
    PieceEncoder encoder;
    const std::string& blob = encoder.Encode(piece.units.data(), piece.units.size(), piece.runs);
    DecodedPiece again;
    FUZZ_CHECK(decoder.Decode(blob.data(), blob.size(), again, why));
    FUZZ_CHECK(Same(piece, again));
}

void WritePiece(const std::uint8_t* data, std::size_t size)
{
    if (size < 3)
        return;
    // Byte 0: how many runs; byte 1: where the damage goes; byte 2: its bits.
    const std::size_t runCount = data[0] % 5;
    const std::uint8_t damageAt = data[1];
    const std::uint8_t damageBits = data[2] == 0 ? 1 : data[2];
    DecodedPiece piece;
    for (std::size_t i = 3; i + 1 < size; i += 2)
        piece.units.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    const std::size_t n = piece.units.size();
    // Runs start at 0 and ascend, each at a place the input chooses.
    for (std::size_t k = 0; k < runCount && n > 0; ++k) {
        const std::uint32_t start =
            k == 0 ? 0 : static_cast<std::uint32_t>(piece.runs.back().start + 1 + (data[(k * 7) % size] % 9));
        if (start >= n)
            break;
        piece.runs.push_back({start, 0x00FF0000u * static_cast<std::uint32_t>(k) + data[k % size]});
    }
    if (n > 0 && piece.runs.empty())
        piece.runs.push_back({0, 0});

    PieceEncoder encoder;
    const std::string blob = encoder.Encode(piece.units.data(), n, piece.runs);
    PieceDecoder decoder;
    DecodedPiece back;
    std::string why;
    FUZZ_CHECK(decoder.Decode(blob.data(), blob.size(), back, why));
    FUZZ_CHECK(Same(piece, back));

    // A changed byte is refused, or (a bit the compressed format does not
    // use) changes nothing: never a different text.
    std::string damaged = blob;
    const std::size_t at = damageAt * blob.size() / 256;
    damaged[at] = static_cast<char>(damaged[at] ^ damageBits);
    if (decoder.Decode(damaged.data(), damaged.size(), back, why))
        FUZZ_CHECK(Same(piece, back));
    FUZZ_CHECK(!decoder.Decode(blob.data(), at, back, why));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    if (data[0] % 2 == 0)
        ReadBlob(data + 1, size - 1);
    else
        WritePiece(data + 1, size - 1);
    return 0;
}
