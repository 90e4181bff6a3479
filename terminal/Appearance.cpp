#include "terminal/Appearance.h"

CAppearance::CAppearance()
{
    // A family name rather than the platform's fixed font: this object may
    // exist before the GUI application does.
    m_font.setFamily(QStringLiteral("Monospace"));
    m_font.setStyleHint(QFont::TypeWriter);
    m_font.setFixedPitch(true);
}

bool CAppearance::Load(support::CRegistry&)
{
    return false;
}

bool CAppearance::Save(support::CRegistry&) const
{
    return false;
}

QColor ColorFromColorRef(std::uint32_t colorref)
{
    return QColor(static_cast<int>(colorref & 0xFF), static_cast<int>((colorref >> 8) & 0xFF),
                  static_cast<int>((colorref >> 16) & 0xFF));
}

std::uint32_t ColorRefFromColor(const QColor& color)
{
    return static_cast<std::uint32_t>(color.red()) |
           (static_cast<std::uint32_t>(color.green()) << 8) |
           (static_cast<std::uint32_t>(color.blue()) << 16);
}
