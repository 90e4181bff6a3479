#include "automation/ResponsePatterns.h"

#include "support/HexCodec.h"

#include <algorithm>

namespace automation {

std::string BlockHexText(const std::uint8_t* data, std::size_t length)
{
    if (length == 0)
        return {};
    std::string text(length * 3 - 1, ' ');
    char* at = text.data();
    for (std::size_t i = 0; i < length; ++i) {
        at = support::ByteToHex(at, data[i]);
        ++at;  // the space after it (the last one is not there)
    }
    return text;
}

const std::string* FindReply(const ResponseStore& store, const std::uint8_t* data, std::size_t length)
{
    if (store.empty() || length == 0)
        return nullptr;
    const auto found = store.find(BlockHexText(data, length));
    return found == store.end() ? nullptr : &found->second;
}

std::size_t BuildFirstByteTable(const ResponseStore& store, FirstByteTable& table)
{
    table.fill(0);
    std::size_t count = 0;
    for (const auto& [pattern, reply] : store) {
        if (count == kMaxResponsePatterns)
            break;
        // c_str(): a one-character pattern reads its terminating NUL second.
        table[count++] = pattern.empty() ? 0 : support::HexPairToByte(pattern.c_str());
    }
    return count;
}

bool FirstByteHit(const FirstByteTable& table, std::size_t count, std::uint8_t first)
{
    const std::size_t used = std::min(count, kMaxResponsePatterns);
    return std::find(table.begin(), table.begin() + static_cast<std::ptrdiff_t>(used), first) !=
           table.begin() + static_cast<std::ptrdiff_t>(used);
}

}  // namespace automation
