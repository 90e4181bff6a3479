#pragma once
// Finding a text in the terminal text: forward from an offset, wrapping
// round to the start, with or without regard to case. Reads a snapshot of
// the text piece by piece (decoding those on disk), so a search through
// gigabytes needs no copy of it and can run on a worker thread.

#include "text/TerminalText.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

class TextSnapshot;

struct TextMatch {
    std::uint64_t from;
    std::uint64_t to;
    bool wrapped;  // found only after going round to the start
};

struct SearchOutcome {
    std::optional<TextMatch> match;
    bool stopped = false;  // asked to stop before it was done
    std::string failure;   // a piece could not be read (it was passed over)
};

// Called after each piece with the units searched so far and in all.
using SearchProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;

// The first match starting at or after `from`, else the first one before it.
SearchOutcome FindInSnapshot(const TextSnapshot& text, std::u16string_view pattern, std::uint64_t from,
                             bool matchCase, std::stop_token stop = {}, const SearchProgress& progress = {});

// The same over the text as it is now, on the calling thread.
std::optional<TextMatch> FindInText(const TerminalText& text, std::u16string_view pattern,
                                    std::uint64_t from, bool matchCase);
