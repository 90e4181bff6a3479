#include "support/HexCodec.h"

#include "support/HexDigit.h"

namespace support {

namespace {

constexpr char kHexAlphabet[] = "0123456789ABCDEF";

}  // namespace

char* ByteToHex(char* dst, std::uint8_t byte)
{
    dst[0] = kHexAlphabet[(byte >> 4) & 0xF];
    dst[1] = kHexAlphabet[byte & 0xF];
    return dst + 2;
}

std::uint8_t HexPairToByte(const char* pair)
{
    const int first = HexDigit(pair[0]);
    const int high = first < 0 ? 0 : first;
    const int second = HexDigit(pair[1]);
    const int low = second < 0 ? high : second;
    return static_cast<std::uint8_t>(high * 16 + low);
}

std::size_t HexToBytes(std::uint8_t* dst, std::string_view text)
{
    std::size_t written = 0;
    for (std::size_t at = 0; at + 1 < text.size(); at += 2) {
        if (text[at] == '\0' || text[at + 1] == '\0')
            break;
        dst[written++] = HexPairToByte(text.data() + at);
    }
    return written;
}

std::string NormalizeHexText(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == ' ')
            continue;
        out += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    return out;
}

bool IsHexDigit(char c)
{
    return HexDigit(c) >= 0;
}

}  // namespace support
