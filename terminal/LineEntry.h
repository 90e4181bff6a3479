#pragma once
// What the user types into the terminal, in the two modes of the hex option:
// in text mode every key goes to the line at once (typed text beyond ASCII as
// its bytes in the terminal's character set, one send per string) and is
// shown; in hex mode the digits are collected into a line, shown in pairs,
// and sent on Enter as bytes, with a CRC-16/DNP after them when that option
// is on. What the screen shows of a hex line is always what Enter sends:
// only hex digits are taken (others are refused with a beep) and Backspace
// takes back the last digit from the line and from the screen.

#include "text/TextEncoder.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CAppearance;
class CTrevane2Doc;
class LineSender;
class TerminalScreen;

class LineEntry {
public:
    LineEntry(TerminalScreen& screen, CTrevane2Doc& doc);

    void SetSender(LineSender* sender) { m_pSender = sender; }

    // One typed character: 13 Enter, 8 Backspace, 9 Tab, other control codes
    // and printable ASCII (anything else goes through OnText).
    void OnChar(char16_t c);
    // A typed string (an input method's commit, a key beyond ASCII) or, with
    // paste set, the clipboard's text: text mode sends it in one request and
    // shows it; hex mode takes its hex digits (a typed string that holds
    // anything else is refused whole).
    void OnText(std::u16string_view text, bool paste);

    // The hex line is forgotten (the view's initial update, a replaced text).
    void ResetHexLine();
    // Text was removed from the end of the terminal by other means: digits
    // of the hex line no longer shown leave the line too.
    void TrimHexLineToText();

    // Upper-case hex digits typed since the last successful send.
    const std::string& HexLine() const { return m_strHexLine; }
    // 1 after the first digit of a pair, 0 after the second.
    int HexPairOpen() const { return m_bHexPairOpen; }

private:
    void ShowSentFrame(const std::uint8_t* bytes, std::size_t n);
    void TextModeChar(char16_t c);
    void HexModeChar(char16_t c);
    void AddHexDigit(char digit);
    void HexBackspace();
    void HexEnter();
    bool PortOpen() const;
    bool Send(const std::uint8_t* data, std::size_t length);
    void EraseLastCharacter();

    TerminalScreen& m_screen;
    CTrevane2Doc& m_doc;
    LineSender* m_pSender = nullptr;
    TextEncoder m_encoder;
    std::string m_strHexLine;
    int m_bHexPairOpen = 0;
    std::vector<std::uint64_t> m_hexDigitAt;  // where each digit of the line is shown
};
