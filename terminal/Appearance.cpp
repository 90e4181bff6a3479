#include "terminal/Appearance.h"

#include "support/Registry.h"

namespace {

constexpr std::uint32_t kDefaultReceived = 0x000000FF;  // red
constexpr std::uint32_t kDefaultSent = 0x00FF0000;      // blue
constexpr std::uint32_t kDefaultStamp = 0x00808080;     // grey
constexpr const char* kSection = "Appearance";
constexpr const char* kCharFormatValue = "Charformat";
constexpr const char* kReceivedValue = "ReceivedColor";
constexpr const char* kSentValue = "SentColor";
constexpr const char* kStampValue = "StampColor";

QFont DefaultTerminalFont()
{
    // A family name rather than the platform's fixed font: the appearance
    // may exist before the GUI application does.
    QFont font(QStringLiteral("Monospace"));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    return font;
}

}  // namespace

CAppearance::CAppearance()
{
    SetDefaultColors();
}

void CAppearance::SetDefaultColors()
{
    m_crReceived = kDefaultReceived;
    m_crSent = kDefaultSent;
    m_crStamp = kDefaultStamp;
}

bool CAppearance::Load(support::CRegistry& registry)
{
    if (!registry.OpenKey(kSection, support::KEY_ALL_ACCESS)) {
        SetDefaultColors();
        return false;
    }
    // Read into locals so that a missing or wrong-sized value changes nothing.
    CharFormat cf{};
    support::DWORD type = support::REG_BINARY;
    support::DWORD size = kCharFormatSize;
    if (registry.QueryValue(kCharFormatValue, &type, cf.data(), &size) &&
        type == support::REG_BINARY && size == kCharFormatSize)
        m_cf = cf;
    support::DWORD color = 0;
    if (registry.ReadDword(kReceivedValue, &color))
        m_crReceived = color;
    if (registry.ReadDword(kSentValue, &color))
        m_crSent = color;
    if (registry.ReadDword(kStampValue, &color))
        m_crStamp = color;
    registry.CloseKey();
    return true;
}

bool CAppearance::Save(support::CRegistry& registry) const
{
    if (!registry.CreateKey(kSection, nullptr, nullptr, 0, support::KEY_ALL_ACCESS, nullptr))
        return false;
    registry.SetValue(kCharFormatValue, support::REG_BINARY, m_cf.data(), kCharFormatSize);
    registry.WriteDword(kReceivedValue, m_crReceived);
    registry.WriteDword(kSentValue, m_crSent);
    registry.WriteDword(kStampValue, m_crStamp);
    registry.CloseKey();
    return true;
}

QFont CAppearance::TerminalFont() const
{
    return FontOf(m_cf);
}

QFont CAppearance::FontOf(const CharFormat& cf)
{
    const QFont base = DefaultTerminalFont();
    return HasStoredFace(cf) ? FontFromCharFormat(cf, base) : base;
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
