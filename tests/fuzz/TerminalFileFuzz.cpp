// The saved-terminal reader on arbitrary bytes, in both forms: no crash, the
// text it builds is consistent (every line start and colour run inside the
// text, in order), and the coloured reader fed the bytes in small blocks
// reads what it reads from them whole.

#include "FuzzTarget.h"
#include "terminal/TerminalFile.h"
#include "text/TerminalText.h"
#include "text/TextDecoder.h"

#include <algorithm>
#include <vector>

namespace {

void CheckConsistent(const TerminalText& text)
{
    std::uint64_t previous = 0;
    for (std::size_t line = 0; line < text.LineCount(); ++line) {
        const std::uint64_t start = text.LineStart(line);
        FUZZ_CHECK(start <= text.Size());
        FUZZ_CHECK(line == 0 || start > previous);
        previous = start;
    }
    for (std::uint64_t at = 0; at < text.Size();) {
        const std::uint64_t end = text.ColorRunEnd(at);
        FUZZ_CHECK(end > at && end <= text.Size());
        at = end;
    }
    if (text.Size() > 0 && text.RowCount() > 0) {
        const auto last = text.RowPosition(text.RowCount() - 1);
        FUZZ_CHECK(last.first < text.LineCount());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    TerminalText coloured;
    coloured.SetWrapColumns(40);
    const bool whole = TerminalFile::ParseColoured(coloured, bytes);
    if (whole)
        CheckConsistent(coloured);

    // Blocks of 1 to 8 bytes, the size taken from the first byte.
    TerminalText pieces;
    pieces.SetWrapColumns(40);
    TerminalFile::ColouredReader reader(pieces);
    const std::size_t step = size > 0 ? data[0] % 8 + 1 : 1;
    for (std::size_t at = 0; at < size; at += step)
        if (!reader.Feed(reinterpret_cast<const char*>(data) + at, std::min(step, size - at)))
            break;
    FUZZ_CHECK(reader.Finish() == whole);
    if (whole) {
        FUZZ_CHECK(pieces.Size() == coloured.Size());
        for (std::uint64_t at = 0; at < pieces.Size(); ++at)
            FUZZ_CHECK(pieces.At(at) == coloured.At(at) && pieces.ColorAt(at) == coloured.ColorAt(at));
    }

    TerminalText plain;
    plain.SetWrapColumns(40);
    TextDecoder decoder("UTF-8");
    std::vector<char16_t> decoded;
    decoder.Decode(bytes.constData(), size, decoded);
    plain.Append(decoded.data(), decoded.size(), 0x000000FF);
    CheckConsistent(plain);
    return 0;
}
