#include "terminal/LineEntry.h"

#include "platform/MessageBox.h"
#include "support/Crc16Dnp.h"
#include "support/HexCodec.h"
#include "terminal/TerminalScreen.h"
#include "terminal/Trevane2Doc.h"
#include "text/LineSender.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr const char* kNotEvenAligned = "Input Hex Stream is not Even Aligned!";
constexpr const char* kPortNotOpened = "Comm Port was not opened!";
constexpr const char* kCrcCannotBeAppended = "CRC Can't be Appended!";
constexpr const char* kLineNotSent = "The line could not be sent.";

bool IsHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Shown of a typed character: tabs and line breaks, nothing of the other
// control codes.
bool IsShown(char16_t c) { return c == u'\t' || c == u'\n' || (c >= 0x20 && c != 0x7F); }

}  // namespace

LineEntry::LineEntry(TerminalScreen& screen, CTrevane2Doc& doc) : m_screen(screen), m_doc(doc) {}

bool LineEntry::PortOpen() const
{
    return m_pSender != nullptr && m_pSender->IsPortOpen();
}

bool LineEntry::Send(const std::uint8_t* data, std::size_t length)
{
    return m_pSender != nullptr && m_pSender->SendBytes(data, length);
}

void LineEntry::OnChar(char16_t c)
{
    if (m_doc.m_bHexMode)
        HexModeChar(c);
    else
        TextModeChar(c);
}

void LineEntry::TextModeChar(char16_t c)
{
    if (PortOpen()) {
        bool sent;
        if (c == 13 && m_doc.m_bSendLF) {
            const std::uint8_t crlf[2] = {0x0D, 0x0A};
            sent = Send(crlf, 2);
        } else {
            const auto byte = static_cast<std::uint8_t>(c);
            sent = Send(&byte, 1);
        }
        if (!sent)
            m_screen.Beep();  // the queue is full: this key did not go out
    }
    // The local echo: always, sent or not.
    if (c == 13) {
        m_screen.AppendTyped(u"\n");
    } else if (c == 8) {
        EraseLastCharacter();
    } else if (IsShown(c)) {
        const char16_t one[1] = {c};
        m_screen.AppendTyped(std::u16string_view(one, 1));
    }
}

void LineEntry::EraseLastCharacter()
{
    const TerminalText& text = m_doc.Text();
    const std::uint64_t size = text.Size();
    if (size == 0)
        return;
    std::uint64_t n = 1;
    if (size >= 2 && IsLowSurrogate(text.At(size - 1)) && IsHighSurrogate(text.At(size - 2)))
        n = 2;
    m_screen.EraseText(size - n, n);
    TrimHexLineToText();
}

void LineEntry::OnText(std::u16string_view text, bool paste)
{
    if (text.empty())
        return;
    if (m_doc.m_bHexMode) {
        std::string digits;
        bool refused = false;
        for (char16_t c : text) {
            if (c < 0x80 && support::IsHexDigit(static_cast<char>(c)))
                digits += static_cast<char>(c);
            else
                refused = true;
        }
        // Pasted text gives its digits; typed text is taken only when it is
        // all digits, so the line never holds what the user did not see go in.
        if (refused && !paste) {
            m_screen.Beep();
            return;
        }
        for (char digit : digits)
            AddHexDigit(digit);
        return;
    }

    // Text mode: line ends become what Enter sends, the rest is encoded.
    const std::string lineEnd = m_doc.m_bSendLF ? std::string("\r\n") : std::string("\r");
    std::string bytes;
    std::u16string shown;
    std::size_t runStart = 0;
    auto encodeRun = [&](std::size_t end) {
        std::size_t failedAt = 0;
        if (runStart < end && !m_encoder.Encode(text.data() + runStart, end - runStart, bytes, &failedAt)) {
            const std::size_t at = runStart + failedAt;
            char detail[200];
            std::snprintf(detail, sizeof detail, "The character U+%04X has no form in %s.",
                          static_cast<unsigned>(text[at]), m_encoder.Charset().c_str());
            platform::ShowMessageBox("The text was not sent.", detail);
            return false;
        }
        return true;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c != u'\r' && c != u'\n') {
            if (IsShown(c))
                shown += c;
            continue;
        }
        if (!encodeRun(i))
            return;
        bytes += lineEnd;
        shown += u'\n';
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        runStart = i + 1;
    }
    if (!encodeRun(text.size()))
        return;
    if (PortOpen() && !bytes.empty() &&
        !Send(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()))
        m_screen.Beep();
    if (!shown.empty())
        m_screen.AppendTyped(shown);
}

void LineEntry::HexModeChar(char16_t c)
{
    if (c == 13) {
        HexEnter();
    } else if (c == 8) {
        HexBackspace();
    } else if (c < 0x80 && support::IsHexDigit(static_cast<char>(c))) {
        AddHexDigit(static_cast<char>(c));
    } else {
        m_screen.Beep();
    }
}

// Shown in the case it was typed; either case reads as the same value.
void LineEntry::AddHexDigit(char digit)
{
    const bool secondOfPair = m_strHexLine.size() % 2 == 1;
    if (m_strHexLine.empty())
        m_screen.BeginTypedHexLine();
    m_strHexLine += digit;
    const char16_t shown[2] = {static_cast<char16_t>(digit), u' '};
    m_hexDigitAt.push_back(m_screen.AppendTyped(std::u16string_view(shown, secondOfPair ? 2 : 1)));
    m_bHexPairOpen = static_cast<int>(m_strHexLine.size() % 2);
}

void LineEntry::HexBackspace()
{
    TrimHexLineToText();
    if (m_strHexLine.empty()) {
        m_screen.Beep();  // what was sent cannot be taken back
        return;
    }
    const bool secondOfPair = m_strHexLine.size() % 2 == 0;
    const char digit = m_strHexLine.back();
    const std::uint64_t at = m_hexDigitAt.back();
    const TerminalText& text = m_doc.Text();
    if (at < text.Size() && text.At(at) == static_cast<char16_t>(digit)) {
        std::uint64_t n = 1;
        if (secondOfPair && at + 1 < text.Size() && text.At(at + 1) == u' ')
            n = 2;
        m_screen.EraseText(at, n);
    }
    m_strHexLine.pop_back();
    m_hexDigitAt.pop_back();
    m_bHexPairOpen = static_cast<int>(m_strHexLine.size() % 2);
}

void LineEntry::HexEnter()
{
    // The order of the checks is fixed: even length, open port, CRC.
    const std::size_t length = m_strHexLine.size();
    if (length % 2 != 0) {
        platform::ShowMessageBox(kNotEvenAligned);
        return;
    }
    if (!PortOpen()) {
        platform::ShowMessageBox(kPortNotOpened);
        return;
    }
    const std::size_t n = length / 2;
    std::vector<std::uint8_t> buffer(n + 2);
    support::HexToBytes(buffer.data(), m_strHexLine);

    if (m_doc.m_bAppendCRC) {
        if (n < 2) {
            platform::ShowMessageBox(kCrcCannotBeAppended);
            return;
        }
        const auto crc = support::AppendCrc16(buffer.data(), n + 2);
        if (!crc) {
            char detail[160];
            std::snprintf(detail, sizeof detail,
                          "The line holds %zu bytes; a CRC-16 covers at most %zu.", n, support::kMaxCrcBlock);
            platform::ShowMessageBox(kCrcCannotBeAppended, detail);
            return;
        }
        if (!Send(buffer.data(), n + 2)) {
            platform::ShowMessageBox(kLineNotSent, "The port's send queue is full. The line is kept: press Enter to send it again.");
            return;
        }
        if (m_doc.m_bHexFrames) {
            ShowSentFrame(buffer.data(), n + 2);
            return;
        }
        char shown[32];
        char* p = shown + std::snprintf(shown, sizeof shown, "CRC-16:");
        p = support::ByteToHex(p, buffer[n]);
        *p++ = ' ';
        p = support::ByteToHex(p, buffer[n + 1]);
        *p++ = '\n';  // the CR LF of the line, shown as one break
        m_screen.AppendTyped(std::u16string(shown, p));
    } else {
        if (n > 0 && !Send(buffer.data(), n)) {
            platform::ShowMessageBox(kLineNotSent, "The port's send queue is full. The line is kept: press Enter to send it again.");
            return;
        }
        if (m_doc.m_bHexFrames) {
            ShowSentFrame(buffer.data(), n);
            return;
        }
        m_screen.AppendTyped(u"\n");
    }
    m_strHexLine.clear();
    m_hexDigitAt.clear();
    m_bHexPairOpen = 0;
}

// The sent line as a frame in place of its echo, and the line done.
void LineEntry::ShowSentFrame(const std::uint8_t* bytes, std::size_t n)
{
    const TerminalText& text = m_doc.Text();
    std::uint64_t echoFrom = text.Size();
    if (!m_hexDigitAt.empty()) {
        // The echo ends with the last digit, and its space after a pair.
        const std::uint64_t last = m_hexDigitAt.back();
        const std::uint64_t end = last + (m_strHexLine.size() % 2 == 0 ? 2 : 1);
        if (end == text.Size())
            echoFrom = m_hexDigitAt.front();
    }
    m_screen.ShowSentFrame(bytes, n, echoFrom);
    m_strHexLine.clear();
    m_hexDigitAt.clear();
    m_bHexPairOpen = 0;
}

void LineEntry::ResetHexLine()
{
    m_strHexLine.clear();
    m_hexDigitAt.clear();
    m_bHexPairOpen = 0;
}

void LineEntry::TrimHexLineToText()
{
    const std::uint64_t size = m_doc.Text().Size();
    while (!m_hexDigitAt.empty() && m_hexDigitAt.back() >= size) {
        m_hexDigitAt.pop_back();
        m_strHexLine.pop_back();
    }
    m_bHexPairOpen = static_cast<int>(m_strHexLine.size() % 2);
}
