#pragma once
// Finding a text in the terminal text: forward from an offset, wrapping
// round to the start, with or without regard to case. Reads the text in
// windows, so a search through hundreds of megabytes needs no copy of it.

#include "terminal/TerminalText.h"

#include <cstdint>
#include <optional>
#include <string_view>

struct TextMatch {
    std::uint64_t from;
    std::uint64_t to;
    bool wrapped;  // found only after going round to the start
};

// The first match starting at or after `from`, else the first one before it.
std::optional<TextMatch> FindInText(const TerminalText& text, std::u16string_view pattern,
                                    std::uint64_t from, bool matchCase);
