#pragma once
// The terminal's look: the colour of received text, the colour of sent text
// (each a COLORREF, 0x00BBGGRR) and the terminal font. One instance lives in
// the application object for the whole run.

#include <QColor>
#include <QFont>

#include <cstdint>

namespace support { class CRegistry; }

struct CAppearance {
    std::uint32_t m_crReceived = 0x000000FF;  // red
    std::uint32_t m_crSent = 0x00FF0000;      // blue
    QFont m_font;                              // default: the system's fixed-pitch font

    CAppearance();

    // The "Appearance" section is not stored yet: both return false and leave
    // everything as it is.
    bool Load(support::CRegistry& registry);
    bool Save(support::CRegistry& registry) const;
};

// COLORREF (0x00BBGGRR) <-> QColor.
QColor ColorFromColorRef(std::uint32_t colorref);
std::uint32_t ColorRefFromColor(const QColor& color);
