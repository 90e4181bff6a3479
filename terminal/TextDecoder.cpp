#include "terminal/TextDecoder.h"

TextDecoder::TextDecoder() : TextDecoder(QStringConverter::System) {}

TextDecoder::TextDecoder(QStringConverter::Encoding encoding)
    : m_encoding(encoding), m_decoder(encoding)
{
}

void TextDecoder::Decode(const char* data, std::size_t n, std::vector<char16_t>& out)
{
    if (n == 0)
        return;
    const std::size_t base = out.size();
    const auto input = QByteArrayView(data, static_cast<qsizetype>(n));
    out.resize(base + static_cast<std::size_t>(m_decoder.requiredSpace(input.size())));
    auto* const begin = reinterpret_cast<QChar*>(out.data() + base);
    QChar* const end = m_decoder.appendToBuffer(begin, input);

    // Line ends and NULs, in place: the result is never longer.
    char16_t* w = out.data() + base;
    for (const QChar* r = begin; r != end; ++r) {
        const char16_t c = r->unicode();
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
    m_decoder = QStringDecoder(m_encoding);
    m_bAfterCR = false;
}
