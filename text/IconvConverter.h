#pragma once
// An owned iconv conversion between a character set and UTF-16 in the
// machine's byte order (char16_t). Plain C++: the decoder and the encoder of
// the terminal use it, and so may any parser that a fuzz target drives.

#include <iconv.h>

#include <string>

class IconvConverter {
public:
    enum class Direction { ToUtf16, FromUtf16 };

    IconvConverter() = default;
    IconvConverter(const std::string& charset, Direction direction);
    ~IconvConverter();
    IconvConverter(IconvConverter&& other) noexcept;
    IconvConverter& operator=(IconvConverter&& other) noexcept;
    IconvConverter(const IconvConverter&) = delete;
    IconvConverter& operator=(const IconvConverter&) = delete;

    // False when the C library cannot convert that character set.
    bool Valid() const { return m_cd != Invalid(); }
    iconv_t Get() const { return m_cd; }
    // Back to the initial shift state, nothing written.
    void Reset();

    // The name iconv knows UTF-16 in this machine's byte order by.
    static const char* Utf16Name();

private:
    static iconv_t Invalid() { return reinterpret_cast<iconv_t>(-1); }
    iconv_t m_cd = Invalid();
};
