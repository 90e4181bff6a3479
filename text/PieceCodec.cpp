#include "text/PieceCodec.h"

#include <zstd.h>

#include <cstring>

namespace {

constexpr std::uint32_t kMagic = 0x3150484B;  // "KHP1"
constexpr std::size_t kHeaderBytes = 16;
// Fast enough to stay far ahead of any serial line on one core; the text of
// a terminal compresses well even at this level.
constexpr int kLevel = 1;
// No piece is ever larger; a blob that says so is damaged.
constexpr std::uint32_t kMaxUnits = 64u << 20;

void PutU32(std::string& out, std::uint32_t v)
{
    char b[4] = {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                 static_cast<char>(v >> 24)};
    out.append(b, 4);
}

std::uint32_t GetU32(const unsigned char* p)
{
    return p[0] | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}

}  // namespace

void AppendUtf8(const char16_t* units, std::size_t n, std::string& out)
{
    const std::size_t base = out.size();
    out.resize(base + 3 * n);  // the most any unit takes (a pair: 4 for 2)
    char* p = out.data() + base;
    std::size_t i = 0;
    while (i < n) {
        // Runs of ASCII, four units at a time.
        while (i + 4 <= n) {
            std::uint64_t four;
            std::memcpy(&four, units + i, sizeof four);
            if (four & 0xFF80FF80FF80FF80ull)
                break;
            p[0] = static_cast<char>(units[i]);
            p[1] = static_cast<char>(units[i + 1]);
            p[2] = static_cast<char>(units[i + 2]);
            p[3] = static_cast<char>(units[i + 3]);
            p += 4;
            i += 4;
        }
        if (i >= n)
            break;
        const char32_t u = units[i];
        if (u < 0x80) {
            *p++ = static_cast<char>(u);
            ++i;
        } else if (u < 0x800) {
            *p++ = static_cast<char>(0xC0 | (u >> 6));
            *p++ = static_cast<char>(0x80 | (u & 0x3F));
            ++i;
        } else if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            const char32_t c = 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            *p++ = static_cast<char>(0xF0 | (c >> 18));
            *p++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *p++ = static_cast<char>(0x80 | (c & 0x3F));
            i += 2;
        } else {
            *p++ = static_cast<char>(0xE0 | (u >> 12));
            *p++ = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            *p++ = static_cast<char>(0x80 | (u & 0x3F));
            ++i;
        }
    }
    out.resize(static_cast<std::size_t>(p - out.data()));
}

bool FromUtf8(const char* bytes, std::size_t size, std::vector<char16_t>& out)
{
    const auto* s = reinterpret_cast<const unsigned char*>(bytes);
    const std::size_t base = out.size();
    out.resize(base + size);  // never more units than bytes
    char16_t* q = out.data() + base;
    std::size_t i = 0;
    while (i < size) {
        while (i + 8 <= size) {
            std::uint64_t eight;
            std::memcpy(&eight, s + i, sizeof eight);
            if (eight & 0x8080808080808080ull)
                break;
            for (int k = 0; k < 8; ++k)
                q[k] = s[i + k];
            q += 8;
            i += 8;
        }
        if (i >= size)
            break;
        const unsigned char b = s[i];
        auto cont = [&](std::size_t k) { return i + k < size && (s[i + k] & 0xC0) == 0x80; };
        if (b < 0x80) {
            *q++ = b;
            i += 1;
        } else if (b >= 0xC2 && b < 0xE0 && cont(1)) {
            *q++ = static_cast<char16_t>(((b & 0x1F) << 6) | (s[i + 1] & 0x3F));
            i += 2;
        } else if (b >= 0xE0 && b < 0xF0 && cont(1) && cont(2)) {
            const char32_t c = ((b & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F);
            if (c < 0x800)
                return false;
            *q++ = static_cast<char16_t>(c);
            i += 3;
        } else if (b >= 0xF0 && b < 0xF5 && cont(1) && cont(2) && cont(3)) {
            const char32_t c = ((b & 0x07) << 18) | ((s[i + 1] & 0x3F) << 12) | ((s[i + 2] & 0x3F) << 6) |
                               (s[i + 3] & 0x3F);
            if (c < 0x10000 || c > 0x10FFFF)
                return false;
            *q++ = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            *q++ = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
            i += 4;
        } else {
            return false;
        }
    }
    out.resize(static_cast<std::size_t>(q - out.data()));
    return true;
}

struct PieceEncoder::State {
    ZSTD_CCtx* cctx = ZSTD_createCCtx();
};

PieceEncoder::PieceEncoder() : m_state(new State)
{
    ZSTD_CCtx_setParameter(m_state->cctx, ZSTD_c_compressionLevel, kLevel);
    ZSTD_CCtx_setParameter(m_state->cctx, ZSTD_c_checksumFlag, 1);
}

PieceEncoder::~PieceEncoder()
{
    ZSTD_freeCCtx(m_state->cctx);
    delete m_state;
}

const std::string& PieceEncoder::Encode(const char16_t* units, std::size_t n, const std::vector<PieceRun>& runs)
{
    m_raw.clear();
    for (const PieceRun& run : runs) {
        PutU32(m_raw, run.start);
        PutU32(m_raw, run.color);
    }
    AppendUtf8(units, n, m_raw);

    m_blob.clear();
    PutU32(m_blob, kMagic);
    PutU32(m_blob, static_cast<std::uint32_t>(n));
    PutU32(m_blob, static_cast<std::uint32_t>(runs.size()));
    PutU32(m_blob, static_cast<std::uint32_t>(m_raw.size()));
    m_blob.resize(kHeaderBytes + ZSTD_compressBound(m_raw.size()));
    const std::size_t packed = ZSTD_compress2(m_state->cctx, m_blob.data() + kHeaderBytes,
                                              m_blob.size() - kHeaderBytes, m_raw.data(), m_raw.size());
    // Cannot fail with a bound-sized output; keep the blob honest if it did.
    m_blob.resize(ZSTD_isError(packed) ? 0 : kHeaderBytes + packed);
    return m_blob;
}

struct PieceDecoder::State {
    ZSTD_DCtx* dctx = ZSTD_createDCtx();
};

PieceDecoder::PieceDecoder() : m_state(new State) {}

PieceDecoder::~PieceDecoder()
{
    ZSTD_freeDCtx(m_state->dctx);
    delete m_state;
}

bool PieceDecoder::Decode(const void* blob, std::size_t size, DecodedPiece& out, std::string& why)
{
    const auto* p = static_cast<const unsigned char*>(blob);
    if (size < kHeaderBytes || GetU32(p) != kMagic) {
        why = "not a history piece";
        return false;
    }
    const std::uint32_t units = GetU32(p + 4);
    const std::uint32_t runCount = GetU32(p + 8);
    const std::uint32_t rawBytes = GetU32(p + 12);
    if (units > kMaxUnits || runCount > units || rawBytes < 8ull * runCount ||
        rawBytes > 8ull * runCount + 3ull * units) {
        why = "damaged history piece (impossible sizes)";
        return false;
    }
    // Exactly one whole frame: a blob cut short or run on is refused even
    // where what is left would decode.
    const std::size_t frame = ZSTD_findFrameCompressedSize(p + kHeaderBytes, size - kHeaderBytes);
    if (ZSTD_isError(frame) || frame != size - kHeaderBytes) {
        why = "damaged history piece (not one whole compressed frame)";
        return false;
    }
    m_raw.resize(rawBytes);
    const std::size_t got = ZSTD_decompressDCtx(m_state->dctx, m_raw.data(), m_raw.size(), p + kHeaderBytes,
                                                size - kHeaderBytes);
    if (ZSTD_isError(got) || got != rawBytes) {
        why = std::string("damaged history piece (") + (ZSTD_isError(got) ? ZSTD_getErrorName(got) : "short") + ")";
        return false;
    }
    out.runs.resize(runCount);
    const auto* r = reinterpret_cast<const unsigned char*>(m_raw.data());
    for (std::uint32_t k = 0; k < runCount; ++k) {
        out.runs[k] = {GetU32(r + 8 * k), GetU32(r + 8 * k + 4)};
        const bool ordered = k == 0 ? out.runs[k].start == 0 : out.runs[k].start > out.runs[k - 1].start;
        if (!ordered || out.runs[k].start >= units) {
            why = "damaged history piece (colour runs)";
            return false;
        }
    }
    out.units.clear();
    const std::size_t textBytes = rawBytes - 8ull * runCount;
    if (!FromUtf8(m_raw.data() + 8ull * runCount, textBytes, out.units) || out.units.size() != units ||
        (units > 0 && runCount == 0)) {
        why = "damaged history piece (text)";
        return false;
    }
    return true;
}
