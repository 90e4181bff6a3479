#pragma once
// The terminal font as a 60-byte character-format record: the layout the
// settings store keeps under "Charformat", byte for byte, so stored files stay
// interchangeable between versions.
//
//   offset  size  field
//        0     4  record size (60)
//        4     4  mask: which fields below are meaningful
//        8     4  effects: bold, italic, underline, strike-out
//       12     4  height in twips (1/20 point)
//       16     4  baseline offset (unused, 0)
//       20     4  text colour (unused, 0)
//       24     1  character set
//       25     1  pitch and family
//       26    32  face name, NUL-terminated (UTF-8 here, cut at a character)
//       58     2  padding (0)
// All integers little-endian.

#include <QFont>

#include <array>
#include <cstdint>

inline constexpr std::uint32_t kCharFormatSize = 60;
inline constexpr std::uint32_t CFM_BOLD = 0x00000001;
inline constexpr std::uint32_t CFM_ITALIC = 0x00000002;
inline constexpr std::uint32_t CFM_UNDERLINE = 0x00000004;
inline constexpr std::uint32_t CFM_STRIKEOUT = 0x00000008;
inline constexpr std::uint32_t CFM_CHARSET = 0x08000000;
inline constexpr std::uint32_t CFM_FACE = 0x20000000;
inline constexpr std::uint32_t CFM_SIZE = 0x80000000;
inline constexpr std::uint32_t CFE_BOLD = 0x0001;
inline constexpr std::uint32_t CFE_ITALIC = 0x0002;
inline constexpr std::uint32_t CFE_UNDERLINE = 0x0004;
inline constexpr std::uint32_t CFE_STRIKEOUT = 0x0008;

using CharFormat = std::array<std::uint8_t, kCharFormatSize>;

inline constexpr std::size_t kFaceNameOffset = 26;
inline constexpr std::size_t kFaceNameSize = 32;

// A never-stored (all-zero) record has no face; every stored face name of
// three or more bytes passes.
bool HasStoredFace(const CharFormat& cf);

CharFormat CharFormatFromFont(const QFont& font);
// Applies the record's meaningful fields on top of base.
QFont FontFromCharFormat(const CharFormat& cf, const QFont& base);
