#pragma once
// The terminal's look: the colour of sent text, the colour of received text,
// the colour of line stamps (each a COLORREF, 0x00BBGGRR) and the terminal font as a character-format
// record. One instance lives in the application object for the whole run and
// is kept in the "Appearance" section below the current registry key.

#include "terminal/CharFormat.h"

#include <QColor>
#include <QFont>

#include <cstdint>

namespace support { class CRegistry; }

class CAppearance {
public:
    CAppearance();
    virtual ~CAppearance() = default;

    std::uint32_t GetReceivedColor() const { return m_crReceived; }
    std::uint32_t GetSentColor() const { return m_crSent; }
    void SetReceivedColor(std::uint32_t color) { m_crReceived = color; }
    void SetSentColor(std::uint32_t color) { m_crSent = color; }
    CharFormat GetCharFormat() const { return m_cf; }
    void SetCharFormat(const CharFormat& cf) { m_cf = cf; }
    void SetDefaultColors();

    // Reads the section below the registry's current key. Without the
    // section: default colours, the font record untouched, false. A missing
    // or malformed value leaves its member as it is.
    bool Load(support::CRegistry& registry);
    // Creates or opens the section and writes all four values; false when
    // the section cannot be created.
    bool Save(support::CRegistry& registry) const;

    // The stored font when one is stored, the fixed-pitch default otherwise.
    QFont TerminalFont() const;
    // The font a record gives the terminal, as TerminalFont() does for m_cf.
    static QFont FontOf(const CharFormat& cf);

    std::uint32_t m_crSent;
    std::uint32_t m_crReceived;
    std::uint32_t m_crStamp;  // line stamps, quieter than both
    CharFormat m_cf{};  // all zero: no font stored
};

// COLORREF (0x00BBGGRR) <-> QColor.
QColor ColorFromColorRef(std::uint32_t colorref);
std::uint32_t ColorRefFromColor(const QColor& color);
