#include "text/TextEncoder.h"

#include "text/TerminalCharset.h"

#include <cerrno>

TextEncoder::TextEncoder() : TextEncoder(TerminalCharset()) {}

TextEncoder::TextEncoder(const std::string& charset)
    : m_charset(charset), m_converter(charset, IconvConverter::Direction::FromUtf16)
{
    if (!m_converter.Valid()) {
        m_charset = "UTF-8";
        m_converter = IconvConverter(m_charset, IconvConverter::Direction::FromUtf16);
    }
}

bool TextEncoder::Encode(const char16_t* text, std::size_t n, std::string& out, std::size_t* failedAt)
{
    const std::size_t base = out.size();
    out.resize(base + 4 * n + 16);
    auto* in = reinterpret_cast<char*>(const_cast<char16_t*>(text));
    std::size_t inLeft = n * sizeof(char16_t);
    std::size_t used = 0;
    while (inLeft > 0) {
        char* outAt = out.data() + base + used;
        std::size_t outLeft = out.size() - base - used;
        const std::size_t result = iconv(m_converter.Get(), &in, &inLeft, &outAt, &outLeft);
        used = static_cast<std::size_t>(outAt - (out.data() + base));
        if (result != static_cast<std::size_t>(-1))
            break;
        if (errno == E2BIG) {
            out.resize(out.size() + 4 * inLeft + 16);
            continue;
        }
        // EILSEQ: no form in this set; EINVAL: a high surrogate without its low half.
        if (failedAt != nullptr)
            *failedAt = n - inLeft / sizeof(char16_t);
        out.resize(base);
        m_converter.Reset();
        return false;
    }
    out.resize(base + used);
    return true;
}
