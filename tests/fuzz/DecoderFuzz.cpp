// The receive decoder keeps its state between blocks, so where a stream is
// cut must never change what it shows. The first byte chooses the cuts and
// the character set; the rest is the stream.

#include "FuzzTarget.h"
#include "text/TextDecoder.h"

#include <algorithm>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const unsigned cut = data[0] % 7 + 1;  // piece length 1..7
    static const char* const kCharsets[] = {"UTF-8", "CP949", "ISO-8859-1", "EUC-KR"};
    const std::string charset = kCharsets[(data[0] >> 3) & 3];
    const char* stream = reinterpret_cast<const char*>(data + 1);
    const std::size_t length = size - 1;

    TextDecoder whole(charset);
    std::vector<char16_t> expected;
    whole.Decode(stream, length, expected);

    TextDecoder pieces(charset);
    std::vector<char16_t> got;
    for (std::size_t at = 0; at < length; at += cut)
        pieces.Decode(stream + at, std::min<std::size_t>(cut, length - at), got);
    FUZZ_CHECK(got == expected);
    for (char16_t unit : got)
        FUZZ_CHECK(unit != u'\r' && unit != 0);
    return 0;
}
