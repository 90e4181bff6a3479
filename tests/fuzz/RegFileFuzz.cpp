// The settings file parser on arbitrary text: it must never crash, and what
// it accepts must format to a text that parses back to the same text.

#include "FuzzTarget.h"
#include "support/RegistryFile.h"

#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    support::RegKey root;
    root.name = "HKEY_CURRENT_USER";
    std::string error;
    if (!support::ParseRegFile(text, "HKEY_CURRENT_USER", 1, root, error))
        return 0;
    const std::string formatted = support::FormatRegFile(root);
    support::RegKey again;
    again.name = "HKEY_CURRENT_USER";
    FUZZ_CHECK(support::ParseRegFile(formatted, "HKEY_CURRENT_USER", 1, again, error));
    FUZZ_CHECK(support::FormatRegFile(again) == formatted);
    return 0;
}
