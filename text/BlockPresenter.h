#pragma once
// Turns the blocks that were received and sent into terminal text: decoded
// text, or hex groups ("41 42 ") in hex mode, each in its direction's colour.
//
// Stamps (off by default) go in a third colour at the start of every line
// text begins, with the time of the block that began it; in hex mode they
// need frames. Frames (hex mode) put every block on a line of its own behind
// its stamp and a direction mark ("RX ", "TX "); a block of the same direction
// less than the join gap after the last one goes on in the same frame, and a
// frame wider than the window goes on under its own prefix. What a frame
// shows is cut into rows when it is shown, at the width of that moment.
//
// Times are MonotonicNs() values (platform/StampClock.h).

#include "text/TextDecoder.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

class TerminalText;

enum class StampForm : int {
    None = 0,
    TimeOfDay = 1,      // "12:34:56.789"
    SincePrevious = 2,  // "+0.125": since the line stamped before
    SinceOpen = 3,      // "[   12.345]": since the port opened
};
inline constexpr int kStampFormCount = 4;

class BlockPresenter {
public:
    enum class Direction { Received, Sent };
    struct Colors {
        std::uint32_t received = 0x000000FF;
        std::uint32_t sent = 0x00FF0000;
        std::uint32_t stamp = 0x00808080;
    };
    struct Options {
        bool hex = false;
        bool frames = false;
        StampForm stamps = StampForm::None;
        int joinGapMs = 0;
        int columns = 80;
    };

    void SetOptions(const Options& options) { m_options = options; }
    const Options& GetOptions() const { return m_options; }
    void SetColors(const Colors& colors) { m_colors = colors; }
    const Colors& GetColors() const { return m_colors; }
    // Where "since open" stamps count from.
    void SetOrigin(std::int64_t monotonicNs) { m_originNs = monotonicNs; }

    // A block as it crossed the line: read from `firstNs` to `lastNs`.
    void Present(TerminalText& text, Direction direction, const char* bytes, std::size_t n,
                 std::int64_t firstNs, std::int64_t lastNs);
    // NUL-free text of the automation windows' echo, decoded as text whatever the mode.
    void PresentEcho(TerminalText& text, Direction direction, const char* bytes, std::size_t n,
                     std::int64_t nowNs);
    // Text the user typed, in the sent colour, stamped like sent text in text
    // mode. Returns the offset of the typed text's first unit (after a stamp).
    std::uint64_t PresentTyped(TerminalText& text, std::u16string_view typed, std::int64_t nowNs);
    // Typing a hex line with frames on starts it on a line of its own.
    void BeginTypedHexLine(TerminalText& text);

    // Forgets half characters, a pending CR and the open frame (text replaced).
    void Reset();

    // The stamp text of an instant (no trailing space), for `form`.
    static void FormatStamp(StampForm form, std::int64_t atNs, std::int64_t previousNs,
                            std::int64_t originNs, std::u16string& out);

private:
    std::uint32_t ColorOf(Direction direction) const
    {
        return direction == Direction::Received ? m_colors.received : m_colors.sent;
    }
    // Appends decoded units, a stamp at the start of every line they begin.
    void AppendStampedText(TerminalText& text, const char16_t* units, std::size_t n,
                           std::uint32_t color, std::int64_t atNs);
    void AppendStamp(TerminalText& text, std::int64_t atNs);
    void PresentHex(TerminalText& text, Direction direction, const unsigned char* bytes, std::size_t n,
                    std::int64_t firstNs, std::int64_t lastNs);
    static bool AtLineStart(const TerminalText& text);

    Options m_options;
    Colors m_colors;
    std::int64_t m_originNs = 0;
    std::int64_t m_previousStampNs = -1;
    TextDecoder m_receivedDecoder;  // one per source: a split character
    TextDecoder m_sentDecoder;      // of one must not swallow the other's
    TextDecoder m_echoDecoder;
    std::vector<char16_t> m_scratch;
    std::u16string m_stamp;

    // The frame that ends the text, while it does.
    struct OpenFrame {
        bool open = false;
        Direction direction = Direction::Received;
        std::int64_t lastNs = 0;
        std::uint64_t endOffset = 0;  // the text's size after it
        std::size_t prefixCells = 0;
        std::size_t rowBytes = 0;     // bytes in its last row
    } m_frame;
};
