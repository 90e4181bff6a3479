#include "automation/HexTextBytes.h"

#include "support/HexCodec.h"

#include <string>

namespace automation {

std::vector<std::uint8_t> HexTextBytes(std::string_view text)
{
    const std::string stripped = support::NormalizeHexText(text);
    std::vector<std::uint8_t> bytes(stripped.size() / 2);
    bytes.resize(support::HexToBytes(bytes.data(), stripped));
    return bytes;
}

}  // namespace automation
