// Typed hex text, as the hex-mode entry, the periodic sender and the
// responder take it: no read or write past a buffer, one byte per complete
// pair, and hex text made from bytes decodes back to the same bytes.

#include "FuzzTarget.h"
#include "automation/HexTextBytes.h"
#include "automation/ResponsePatterns.h"
#include "support/HexCodec.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view typed(reinterpret_cast<const char*>(data), size);
    const std::string normalized = support::NormalizeHexText(typed);
    for (char c : normalized)
        FUZZ_CHECK(c != ' ' && !(c >= 'a' && c <= 'z'));

    // Exactly as large as the contract promises, so the sanitizer sees any overrun.
    const std::size_t room = normalized.size() / 2;
    auto bytes = std::make_unique<std::uint8_t[]>(room + 1);
    const std::size_t written = support::HexToBytes(bytes.get(), normalized);
    FUZZ_CHECK(written <= room);
    if (normalized.find('\0') == std::string::npos)
        FUZZ_CHECK(written == room);

    const std::vector<std::uint8_t> viaAutomation = automation::HexTextBytes(typed);
    FUZZ_CHECK(viaAutomation == std::vector<std::uint8_t>(bytes.get(), bytes.get() + written));

    // Pairs of real hex digits come back as their upper-case spelling.
    for (std::size_t i = 0; i < written; ++i) {
        const char* pair = normalized.data() + 2 * i;
        if (support::IsHexDigit(pair[0]) && support::IsHexDigit(pair[1])) {
            char again[2];
            support::ByteToHex(again, bytes[i]);
            FUZZ_CHECK(again[0] == pair[0] && again[1] == pair[1]);
        }
    }

    // The responder's spelling of the raw input parses back to the input.
    const std::string blockText = automation::BlockHexText(data, size);
    FUZZ_CHECK(automation::HexTextBytes(blockText) == std::vector<std::uint8_t>(data, data + size));
    automation::ResponseStore store{{blockText, "06"}};
    const std::string* reply = automation::FindReply(store, data, size);
    FUZZ_CHECK(size == 0 ? reply == nullptr : reply != nullptr && *reply == "06");
    automation::FirstByteTable table{};
    const std::size_t patterns = automation::BuildFirstByteTable(store, table);
    FUZZ_CHECK(patterns == 1);
    if (size > 0)
        FUZZ_CHECK(automation::FirstByteHit(table, patterns, data[0]));
    return 0;
}
