#include "text/TextDecoder.h"

#include "text/TerminalCharset.h"

#include <cerrno>
#include <cstring>

namespace {

// Longer than any character of any set iconv knows: an "incomplete" tail
// beyond this is garbage, not a character still arriving.
constexpr std::size_t kMaxPending = 16;
// Longer than any UTF-8 sequence the C library still reads (six bytes).
constexpr std::size_t kUtf8Tail = 6;

}  // namespace

TextDecoder::TextDecoder() : TextDecoder(TerminalCharset()) {}

TextDecoder::TextDecoder(const std::string& charset)
    : m_charset(charset), m_converter(charset, IconvConverter::Direction::ToUtf16)
{
    if (!m_converter.Valid()) {
        m_charset = "UTF-8";
        m_converter = IconvConverter(m_charset, IconvConverter::Direction::ToUtf16);
    }
    std::string name;
    for (const char c : m_charset)
        if (c != '-' && c != '_')
            name += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    m_bUtf8 = name == "UTF8";
}

std::size_t TextDecoder::ConvertUtf8(const char* data, std::size_t n, std::vector<char16_t>& out)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    const std::size_t base = out.size();
    out.resize(base + n);  // never more UTF-16 units than bytes
    char16_t* w = out.data() + base;
    std::size_t i = 0;
    while (i < n) {
        const unsigned char b = bytes[i];
        if (b < 0x80) {
            *w++ = b;
            ++i;
            continue;
        }
        // Near the end a byte the C library may take for the start of a
        // character still arriving goes the general way, which keeps it for
        // the next block as the library decides.
        if (b >= 0xC0 && n - i <= kUtf8Tail)
            break;
        // Continuation bytes, C0, C1 and F5..FF never start a character.
        if (b < 0xC2 || b > 0xF4) {
            *w++ = u'\uFFFD';
            ++i;
            continue;
        }
        const std::size_t want = b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        // The second byte's range rules out overlong forms, surrogates and
        // code points past U+10FFFF.
        const unsigned char low = b == 0xE0 ? 0xA0 : b == 0xF0 ? 0x90 : 0x80;
        const unsigned char high = b == 0xED ? 0x9F : b == 0xF4 ? 0x8F : 0xBF;
        std::size_t length = 1;
        while (length < want && i + length < n) {
            const unsigned char c = bytes[i + length];
            if (length == 1 ? (c < low || c > high) : (c & 0xC0) != 0x80)
                break;
            ++length;
        }
        if (length < want) {
            *w++ = u'\uFFFD';
            ++i;
            continue;
        }
        char32_t code = b & (0x7F >> want);
        for (std::size_t k = 1; k < want; ++k)
            code = (code << 6) | (bytes[i + k] & 0x3F);
        if (code >= 0x10000) {
            code -= 0x10000;
            *w++ = static_cast<char16_t>(0xD800 + (code >> 10));
            *w++ = static_cast<char16_t>(0xDC00 + (code & 0x3FF));
        } else {
            *w++ = static_cast<char16_t>(code);
        }
        i += want;
    }
    out.resize(static_cast<std::size_t>(w - out.data()));
    return i;
}

void TextDecoder::Convert(const char* data, std::size_t n, std::vector<char16_t>& out)
{
    if (m_bUtf8) {
        // A character begun in the last block is settled byte by byte, so
        // the rest of this one can take the fast way.
        while (!m_pending.empty() && n > 0) {
            std::string joined = std::move(m_pending);
            m_pending.clear();
            joined += *data++;
            --n;
            ConvertWithIconv(joined.data(), joined.size(), out);
        }
        const std::size_t done = ConvertUtf8(data, n, out);
        data += done;
        n -= done;
        if (n == 0)
            return;
    }
    std::string joined;
    if (!m_pending.empty()) {
        joined.reserve(m_pending.size() + n);
        joined.append(m_pending).append(data, n);
        m_pending.clear();
        data = joined.data();
        n = joined.size();
    }
    ConvertWithIconv(data, n, out);
}

void TextDecoder::ConvertWithIconv(const char* data, std::size_t n, std::vector<char16_t>& out)
{
    const std::size_t base = out.size();
    std::size_t used = 0;  // units written after base
    out.resize(base + n + 8);
    auto* in = const_cast<char*>(data);
    std::size_t inLeft = n;
    while (inLeft > 0) {
        auto* outAt = reinterpret_cast<char*>(out.data() + base + used);
        std::size_t outLeft = (out.size() - base - used) * sizeof(char16_t);
        const std::size_t result = iconv(m_converter.Get(), &in, &inLeft, &outAt, &outLeft);
        used = static_cast<std::size_t>(reinterpret_cast<char16_t*>(outAt) - (out.data() + base));
        if (result != static_cast<std::size_t>(-1))
            break;
        const int error = errno;
        if (error == E2BIG) {
            out.resize(out.size() + inLeft + 8);
            continue;
        }
        if (error == EINVAL && inLeft <= kMaxPending) {
            m_pending.assign(in, inLeft);  // the rest of it comes with the next block
            break;
        }
        // No character starts here: one replacement, then the next byte.
        if (used + 1 > out.size() - base)
            out.resize(out.size() + inLeft + 8);
        out[base + used++] = u'\uFFFD';
        ++in;
        --inLeft;
        m_converter.Reset();
    }
    out.resize(base + used);
}

void TextDecoder::Decode(const char* data, std::size_t n, std::vector<char16_t>& out)
{
    if (n == 0)
        return;
    const std::size_t base = out.size();
    Convert(data, n, out);

    // Line ends and NULs, in place: the result is never longer.
    char16_t* w = out.data() + base;
    const char16_t* const end = out.data() + out.size();
    for (const char16_t* r = out.data() + base; r != end; ++r) {
        const char16_t c = *r;
        if (c == 0)
            continue;  // shown as nothing; does not part a CR from its LF
        if (c == u'\r') {
            *w++ = u'\n';
            m_bAfterCR = true;
            continue;
        }
        const bool afterCR = m_bAfterCR;
        m_bAfterCR = false;
        if (c == u'\n') {
            if (!afterCR)
                *w++ = u'\n';
        } else {
            *w++ = c;
        }
    }
    out.resize(static_cast<std::size_t>(w - out.data()));
}

void TextDecoder::Reset()
{
    m_converter.Reset();
    m_pending.clear();
    m_bAfterCR = false;
}
