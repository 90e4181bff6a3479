#pragma once
// Turns typed text into the bytes the line gets, in the terminal's character
// set (TerminalCharset.h) unless one is named. The conversion state carries
// over between calls, so a set with shift sequences stays consistent.

#include "text/IconvConverter.h"

#include <cstddef>
#include <string>

class TextEncoder {
public:
    // The terminal's character set.
    TextEncoder();
    // A named one; a name the C library does not know encodes as UTF-8.
    explicit TextEncoder(const std::string& charset);

    const std::string& Charset() const { return m_charset; }

    // Appends the bytes of n UTF-16 units to out. When a character has no
    // form in the set (or a surrogate is unpaired) nothing is appended, false
    // is returned and *failedAt (if given) is the unit where it stands.
    bool Encode(const char16_t* text, std::size_t n, std::string& out, std::size_t* failedAt = nullptr);

private:
    std::string m_charset;
    IconvConverter m_converter;
};
