#include "text/IconvConverter.h"

#include <bit>
#include <utility>

IconvConverter::IconvConverter(const std::string& charset, Direction direction)
{
    if (charset.empty())
        return;  // iconv would take "" for the locale's set: callers name one
    m_cd = direction == Direction::ToUtf16 ? iconv_open(Utf16Name(), charset.c_str())
                                           : iconv_open(charset.c_str(), Utf16Name());
}

IconvConverter::~IconvConverter()
{
    if (Valid())
        iconv_close(m_cd);
}

IconvConverter::IconvConverter(IconvConverter&& other) noexcept
    : m_cd(std::exchange(other.m_cd, Invalid()))
{
}

IconvConverter& IconvConverter::operator=(IconvConverter&& other) noexcept
{
    if (this != &other) {
        if (Valid())
            iconv_close(m_cd);
        m_cd = std::exchange(other.m_cd, Invalid());
    }
    return *this;
}

void IconvConverter::Reset()
{
    if (Valid())
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
}

const char* IconvConverter::Utf16Name()
{
    return std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";
}
