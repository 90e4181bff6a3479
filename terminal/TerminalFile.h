#pragma once
// Terminal text on disk. The coloured form is a small RTF document (a colour
// table and \cf switches), which word processors open too; the plain form is
// UTF-8 text with '\n' line ends.

#include "terminal/TerminalText.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace TerminalFile {

bool SaveColoured(const TerminalText& text, const QString& path);
bool SavePlain(const TerminalText& text, const QString& path);

// True when the file starts like an RTF document.
bool LooksColoured(const QString& path);

// Replace `text` with the file's contents; false (text untouched) when the
// file cannot be read. Plain text is decoded as UTF-8 and shown in
// `plainColor`.
bool LoadColoured(TerminalText& text, const QString& path);
// The same on a document already in memory.
bool ParseColoured(TerminalText& text, const QByteArray& data);
bool LoadPlain(TerminalText& text, const QString& path, std::uint32_t plainColor);

}  // namespace TerminalFile
