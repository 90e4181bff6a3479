#include "text/BlockPresenter.h"

#include "platform/StampClock.h"
#include "text/TerminalText.h"

#include <algorithm>

namespace {

constexpr std::int64_t kNsPerMs = 1'000'000;

// Appends `value` in decimal, at least `width` digits (zero-padded).
void PutNumber(std::u16string& out, std::int64_t value, int width)
{
    char16_t digits[24];
    int n = 0;
    do {
        digits[n++] = static_cast<char16_t>(u'0' + value % 10);
        value /= 10;
    } while (value > 0);
    while (n < width)
        digits[n++] = u'0';
    while (n > 0)
        out += digits[--n];
}

// "S.mmm" of a non-negative span.
void PutSeconds(std::u16string& out, std::int64_t spanNs, int secondsWidth, char16_t pad)
{
    const std::int64_t ms = std::max<std::int64_t>(spanNs, 0) / kNsPerMs;
    const std::int64_t seconds = ms / 1000;
    std::u16string whole;
    PutNumber(whole, seconds, 1);
    for (auto i = static_cast<int>(whole.size()); i < secondsWidth; ++i)
        out += pad;
    out += whole;
    out += u'.';
    PutNumber(out, ms % 1000, 3);
}

}  // namespace

void BlockPresenter::FormatStamp(StampForm form, std::int64_t atNs, std::int64_t previousNs,
                                 std::int64_t originNs, std::u16string& out)
{
    switch (form) {
    case StampForm::None:
        return;
    case StampForm::TimeOfDay: {
        const platform::LocalTime t = platform::LocalTimeAt(atNs);
        PutNumber(out, t.hour, 2);
        out += u':';
        PutNumber(out, t.minute, 2);
        out += u':';
        PutNumber(out, t.second, 2);
        out += u'.';
        PutNumber(out, t.millisecond, 3);
        return;
    }
    case StampForm::SincePrevious:
        out += u'+';
        PutSeconds(out, previousNs < 0 ? 0 : atNs - previousNs, 1, u' ');
        return;
    case StampForm::SinceOpen:
        out += u'[';
        PutSeconds(out, atNs - originNs, 5, u' ');
        out += u']';
        return;
    }
}

bool BlockPresenter::AtLineStart(const TerminalText& text)
{
    return text.Empty() || text.At(text.Size() - 1) == u'\n';
}

void BlockPresenter::AppendStamp(TerminalText& text, std::int64_t atNs)
{
    m_stamp.clear();
    FormatStamp(m_options.stamps, atNs, m_previousStampNs, m_originNs, m_stamp);
    m_stamp += u' ';
    m_previousStampNs = atNs;
    text.Append(m_stamp.data(), m_stamp.size(), m_colors.stamp);
}

void BlockPresenter::AppendStampedText(TerminalText& text, const char16_t* units, std::size_t n,
                                       std::uint32_t color, std::int64_t atNs)
{
    if (m_options.stamps == StampForm::None) {
        text.Append(units, n, color);
        return;
    }
    std::size_t at = 0;
    bool lineStart = AtLineStart(text);
    while (at < n) {
        if (lineStart)
            AppendStamp(text, atNs);
        const char16_t* end = std::find(units + at, units + n, u'\n');
        const std::size_t stop = end == units + n ? n : static_cast<std::size_t>(end - units) + 1;
        text.Append(units + at, stop - at, color);
        lineStart = units[stop - 1] == u'\n';
        at = stop;
    }
}

void BlockPresenter::Present(TerminalText& text, Direction direction, const char* bytes, std::size_t n,
                             std::int64_t firstNs, std::int64_t lastNs)
{
    TextDecoder& decoder = direction == Direction::Received ? m_receivedDecoder : m_sentDecoder;
    if (!m_options.hex) {
        m_frame.open = false;
        m_scratch.clear();
        decoder.Decode(bytes, n, m_scratch);
        AppendStampedText(text, m_scratch.data(), m_scratch.size(), ColorOf(direction), firstNs);
        return;
    }
    // A half character or a CR from text mode does not belong to what
    // follows the hex blocks.
    decoder.Reset();
    PresentHex(text, direction, reinterpret_cast<const unsigned char*>(bytes), n, firstNs, lastNs);
}

void BlockPresenter::PresentHex(TerminalText& text, Direction direction, const unsigned char* bytes,
                                std::size_t n, std::int64_t firstNs, std::int64_t lastNs)
{
    static const char16_t kHex[] = u"0123456789ABCDEF";
    const std::uint32_t color = ColorOf(direction);
    if (!m_options.frames) {
        m_frame.open = false;
        m_scratch.resize(3 * n);
        for (std::size_t i = 0; i < n; ++i) {
            m_scratch[3 * i] = kHex[bytes[i] >> 4];
            m_scratch[3 * i + 1] = kHex[bytes[i] & 0xF];
            m_scratch[3 * i + 2] = u' ';
        }
        text.Append(m_scratch.data(), m_scratch.size(), color);
        return;
    }

    const bool joins = m_frame.open && m_frame.endOffset == text.Size() && m_frame.direction == direction &&
                       firstNs - m_frame.lastNs < std::int64_t(m_options.joinGapMs) * kNsPerMs;
    m_scratch.clear();
    if (!joins) {
        // The line break and the stamp in the stamp's colour, the mark and
        // the bytes in the direction's: two appends a frame.
        m_stamp.clear();
        if (!AtLineStart(text))
            m_stamp += u'\n';
        const std::size_t breakUnits = m_stamp.size();
        if (m_options.stamps != StampForm::None) {
            FormatStamp(m_options.stamps, firstNs, m_previousStampNs, m_originNs, m_stamp);
            m_stamp += u' ';
            m_previousStampNs = firstNs;
        }
        if (!m_stamp.empty())
            text.Append(m_stamp.data(), m_stamp.size(), m_colors.stamp);
        const char16_t* mark = direction == Direction::Received ? u"RX " : u"TX ";
        m_scratch.assign(mark, mark + 3);
        m_frame.prefixCells = m_stamp.size() - breakUnits + 3;
        m_frame.rowBytes = 0;
        m_frame.direction = direction;
    }
    // Rows of whole groups under the prefix; at least one group a row.
    const std::size_t columns = static_cast<std::size_t>(std::max(m_options.columns, 1));
    const std::size_t perRow =
        columns > m_frame.prefixCells + 3 ? (columns - m_frame.prefixCells) / 3 : 1;
    const std::size_t head = m_scratch.size();
    const std::size_t breaks = (m_frame.rowBytes + n) / perRow;
    m_scratch.resize(head + 3 * n + breaks * (1 + m_frame.prefixCells));
    char16_t* out = m_scratch.data() + head;
    for (std::size_t i = 0; i < n; ++i) {
        if (m_frame.rowBytes == perRow) {
            *out++ = u'\n';
            out = std::fill_n(out, m_frame.prefixCells, u' ');
            m_frame.rowBytes = 0;
        }
        *out++ = kHex[bytes[i] >> 4];
        *out++ = kHex[bytes[i] & 0xF];
        *out++ = u' ';
        ++m_frame.rowBytes;
    }
    m_scratch.resize(static_cast<std::size_t>(out - m_scratch.data()));
    text.Append(m_scratch.data(), m_scratch.size(), color);
    m_frame.open = true;
    m_frame.lastNs = lastNs;
    m_frame.endOffset = text.Size();
}

void BlockPresenter::PresentEcho(TerminalText& text, Direction direction, const char* bytes, std::size_t n,
                                 std::int64_t nowNs)
{
    m_frame.open = false;
    m_scratch.clear();
    m_echoDecoder.Decode(bytes, n, m_scratch);
    AppendStampedText(text, m_scratch.data(), m_scratch.size(), ColorOf(direction), nowNs);
}

std::uint64_t BlockPresenter::PresentTyped(TerminalText& text, std::u16string_view typed, std::int64_t nowNs)
{
    m_frame.open = false;
    if (typed.empty() || m_options.hex || m_options.stamps == StampForm::None) {
        const std::uint64_t at = text.Size();
        text.Append(typed.data(), typed.size(), m_colors.sent);
        return at;
    }
    if (AtLineStart(text))
        AppendStamp(text, nowNs);
    const std::uint64_t at = text.Size();
    AppendStampedText(text, typed.data(), typed.size(), m_colors.sent, nowNs);
    return at;
}

void BlockPresenter::BeginTypedHexLine(TerminalText& text)
{
    if (m_options.hex && m_options.frames && !AtLineStart(text))
        text.Append(u"\n", 1, m_colors.sent);
    m_frame.open = false;
}

void BlockPresenter::Reset()
{
    m_receivedDecoder.Reset();
    m_sentDecoder.Reset();
    m_echoDecoder.Reset();
    m_frame = OpenFrame{};
    m_previousStampNs = -1;
}
