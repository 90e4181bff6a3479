#include "terminal/CharFormat.h"

#include <QByteArray>

#include <cmath>

namespace {

constexpr std::size_t kMaskOffset = 4;
constexpr std::size_t kEffectsOffset = 8;
constexpr std::size_t kHeightOffset = 12;
constexpr std::size_t kCharSetOffset = 24;
constexpr std::size_t kPitchOffset = 25;
constexpr std::uint8_t kDefaultCharSet = 1;
constexpr std::uint8_t kFixedPitchModern = 0x31;
constexpr std::uint8_t kVariablePitch = 0x02;
// Points per pixel when a font was given in pixels (a 96 dpi screen).
constexpr double kPointsPerPixel = 72.0 / 96.0;

void Put32(CharFormat& cf, std::size_t at, std::uint32_t value)
{
    for (std::size_t i = 0; i < 4; ++i)
        cf[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t Get32(const CharFormat& cf, std::size_t at)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value |= static_cast<std::uint32_t>(cf[at + i]) << (8 * i);
    return value;
}

}  // namespace

bool HasStoredFace(const CharFormat& cf)
{
    return cf[kFaceNameOffset + 2] != 0;
}

CharFormat CharFormatFromFont(const QFont& font)
{
    CharFormat cf{};
    Put32(cf, 0, kCharFormatSize);

    std::uint32_t mask = CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT | CFM_CHARSET |
                         CFM_FACE;
    std::uint32_t effects = 0;
    if (font.bold())
        effects |= CFE_BOLD;
    if (font.italic())
        effects |= CFE_ITALIC;
    if (font.underline())
        effects |= CFE_UNDERLINE;
    if (font.strikeOut())
        effects |= CFE_STRIKEOUT;

    double points = font.pointSizeF();
    if (points <= 0 && font.pixelSize() > 0)
        points = font.pixelSize() * kPointsPerPixel;
    if (points > 0) {
        mask |= CFM_SIZE;
        Put32(cf, kHeightOffset, static_cast<std::uint32_t>(std::lround(points * 20)));
    }
    Put32(cf, kMaskOffset, mask);
    Put32(cf, kEffectsOffset, effects);
    cf[kCharSetOffset] = kDefaultCharSet;
    cf[kPitchOffset] = font.fixedPitch() ? kFixedPitchModern : kVariablePitch;

    // Cut the face name at a character boundary so it stays valid UTF-8.
    const QByteArray face = font.family().toUtf8();
    qsizetype length = std::min<qsizetype>(face.size(), kFaceNameSize - 1);
    while (length > 0 && length < face.size() &&
           (static_cast<std::uint8_t>(face[length]) & 0xC0) == 0x80)
        --length;
    for (qsizetype i = 0; i < length; ++i)
        cf[kFaceNameOffset + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(face[i]);
    return cf;
}

QFont FontFromCharFormat(const CharFormat& cf, const QFont& base)
{
    QFont font = base;
    const std::uint32_t mask = Get32(cf, kMaskOffset);
    const std::uint32_t effects = Get32(cf, kEffectsOffset);
    if (mask & CFM_FACE) {
        std::size_t length = 0;
        while (length < kFaceNameSize && cf[kFaceNameOffset + length] != 0)
            ++length;
        font.setFamily(QString::fromUtf8(
            reinterpret_cast<const char*>(cf.data() + kFaceNameOffset),
            static_cast<qsizetype>(length)));
    }
    if (mask & CFM_SIZE) {
        const auto twips = static_cast<std::int32_t>(Get32(cf, kHeightOffset));
        if (twips > 0)
            font.setPointSizeF(twips / 20.0);
    }
    if (mask & CFM_BOLD)
        font.setBold(effects & CFE_BOLD);
    if (mask & CFM_ITALIC)
        font.setItalic(effects & CFE_ITALIC);
    if (mask & CFM_UNDERLINE)
        font.setUnderline(effects & CFE_UNDERLINE);
    if (mask & CFM_STRIKEOUT)
        font.setStrikeOut(effects & CFE_STRIKEOUT);
    if (mask & CFM_FACE)
        font.setFixedPitch((cf[kPitchOffset] & 0x03) == 0x01);
    return font;
}
