#include "terminal/TextSearch.h"

#include <QChar>

#include <algorithm>
#include <functional>
#include <vector>

namespace {

constexpr std::size_t kWindowUnits = std::size_t(1) << 16;

char16_t Fold(char16_t u)
{
    // Surrogates stay as they are: case folding here is per BMP character.
    if (u >= 0xD800 && u <= 0xDFFF)
        return u;
    return static_cast<char16_t>(QChar::toCaseFolded(static_cast<char32_t>(u)));
}

// The first match lying wholly within [begin, end).
std::optional<std::uint64_t> SearchRange(const TerminalText& text, const std::u16string& pattern,
                                         std::uint64_t begin, std::uint64_t end, bool matchCase)
{
    const std::size_t m = pattern.size();
    std::vector<char16_t> window;
    const std::boyer_moore_horspool_searcher searcher(pattern.begin(), pattern.end());
    for (std::uint64_t at = begin; at + m <= end;) {
        // Windows overlap by m - 1 units, so no match falls between two.
        const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(kWindowUnits + m - 1, end - at));
        window.resize(length);
        text.Copy(at, length, window.data());
        if (!matchCase)
            std::transform(window.begin(), window.end(), window.begin(), Fold);
        const auto hit = std::search(window.begin(), window.end(), searcher);
        if (hit != window.end())
            return at + static_cast<std::uint64_t>(hit - window.begin());
        if (at + length >= end)
            break;
        at += kWindowUnits;
    }
    return std::nullopt;
}

}  // namespace

std::optional<TextMatch> FindInText(const TerminalText& text, std::u16string_view pattern,
                                    std::uint64_t from, bool matchCase)
{
    const std::uint64_t size = text.Size();
    if (pattern.empty() || pattern.size() > size)
        return std::nullopt;
    std::u16string wanted(pattern);
    if (!matchCase)
        std::transform(wanted.begin(), wanted.end(), wanted.begin(), Fold);
    from = std::min(from, size);
    if (const auto at = SearchRange(text, wanted, from, size, matchCase))
        return TextMatch{*at, *at + wanted.size(), false};
    // Round to the start: matches that begin before `from`.
    const std::uint64_t end = std::min<std::uint64_t>(size, from + wanted.size() - 1);
    if (const auto at = SearchRange(text, wanted, 0, end, matchCase))
        return TextMatch{*at, *at + wanted.size(), true};
    return std::nullopt;
}
