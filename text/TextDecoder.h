#pragma once
// Turns a stream of received bytes into terminal text. The character set is
// the terminal's (TerminalCharset.h) unless one is named; the decoder keeps
// its state between blocks, so a character split over two blocks shows once.
// A byte that starts no valid character becomes one U+FFFD and the next byte
// is read afresh, so a bad byte never swallows the good character after it.
// CR, LF and CR LF each become one '\n', also when the CR and the LF arrive
// in different blocks. NUL bytes show as nothing; what follows them is kept.
// Plain C++ on a byte buffer (the C library's iconv does the conversion).

#include "text/IconvConverter.h"

#include <cstddef>
#include <string>
#include <vector>

class TextDecoder {
public:
    // The terminal's character set.
    TextDecoder();
    // A named one; a name the C library does not know decodes as UTF-8.
    explicit TextDecoder(const std::string& charset);

    const std::string& Charset() const { return m_charset; }

    // Appends the decoded text of n bytes to out.
    void Decode(const char* data, std::size_t n, std::vector<char16_t>& out);
    // Forgets a half-received character and a pending CR.
    void Reset();

private:
    // Charset to UTF-16, without the line-end and NUL handling.
    void Convert(const char* data, std::size_t n, std::vector<char16_t>& out);
    // UTF-8 with nothing pending, decoded here with the C library's rules
    // (no overlong forms, surrogates or code points past U+10FFFF); only a
    // character start in the last six bytes is left to iconv, which decides
    // whether it waits for the next block. A flood of binary data would
    // otherwise cost an iconv call or two for every byte.
    // Returns the bytes it took; the rest goes the general way.
    std::size_t ConvertUtf8(const char* data, std::size_t n, std::vector<char16_t>& out);
    // The general way: iconv, an incomplete tail kept for the next block.
    void ConvertWithIconv(const char* data, std::size_t n, std::vector<char16_t>& out);

    std::string m_charset;
    IconvConverter m_converter;
    std::string m_pending;  // the start of a character cut off by the end of a block
    bool m_bUtf8 = false;
    bool m_bAfterCR = false;
};
