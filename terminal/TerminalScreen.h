#pragma once
// What the line entry and the find bar need of the terminal window: its text,
// typed text shown and taken back, the find hit, a beep and a notice. The view
// implements it, so neither of them knows the view.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>

class QString;
class TerminalText;

class TerminalScreen {
public:
    virtual ~TerminalScreen() = default;
    virtual const TerminalText& Text() const = 0;
    // Typed text in the sent colour at the end (returns where it starts), and
    // removal of shown text.
    virtual std::uint64_t AppendTyped(std::u16string_view text) = 0;
    virtual void EraseText(std::uint64_t offset, std::uint64_t n) = 0;
    // With hex frames on: a typed hex line starts a line of its own, and once
    // sent its echo (from `echoFrom`, when it still ends the text) gives way
    // to the sent frame. Without frames neither changes anything.
    virtual void BeginTypedHexLine() = 0;
    virtual void ShowSentFrame(const std::uint8_t* bytes, std::size_t n, std::uint64_t echoFrom) = 0;
    // A refused key or a send that did not go out.
    virtual void Beep() = 0;
    // Selects [from, to), shows it highlighted and scrolls it into view.
    virtual void ShowFoundText(std::uint64_t from, std::uint64_t to) = 0;
    virtual void ClearFoundText() = 0;
    virtual std::pair<std::uint64_t, std::uint64_t> FoundText() const = 0;
    // The offset of the first character on screen.
    virtual std::uint64_t FirstVisibleOffset() const = 0;
    // A line for the user's event box.
    virtual void Notice(const QString& text) = 0;
};
