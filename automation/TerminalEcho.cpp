#include "automation/TerminalEcho.h"

#include <utility>

TerminalEcho::TerminalEcho(std::function<void(const char* text)> appendSent)
    : m_appendSent(std::move(appendSent))
{
}

std::string TerminalEcho::Prepare(const QString& text)
{
    std::string out;
    const auto* units = reinterpret_cast<const char16_t*>(text.utf16());
    std::size_t left = static_cast<std::size_t>(text.size());
    while (left > 0) {
        std::size_t failedAt = 0;
        if (m_encoder.Encode(units, left, out, &failedAt))
            break;
        m_encoder.Encode(units, failedAt, out);  // what comes before it converts
        out += '?';
        // A surrogate pair is one character.
        const bool pair = failedAt + 1 < left && QChar::isHighSurrogate(units[failedAt]) &&
                          QChar::isLowSurrogate(units[failedAt + 1]);
        const std::size_t skip = failedAt + (pair ? 2 : 1);
        units += skip;
        left -= skip;
    }
    // The seam takes NUL-terminated text: a NUL would cut it short.
    std::erase(out, '\0');
    return out;
}

void TerminalEcho::Show(const std::string& prepared) const
{
    if (m_appendSent && !prepared.empty())
        m_appendSent(prepared.c_str());
}
