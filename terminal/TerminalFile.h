#pragma once
// Terminal text on disk. The coloured form is a small RTF document (a colour
// table and \cf switches), which word processors open too; the plain form is
// UTF-8 text with '\n' line ends.

#include "text/TerminalText.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace TerminalFile {

bool SaveColoured(const TerminalText& text, const QString& path);
bool SavePlain(const TerminalText& text, const QString& path);

// Replaces `text` with the saved terminal at `path`: coloured when the file
// starts like an RTF document, else UTF-8 text shown in `plainColor`. Only
// a regular file is read, block by block, and its text goes into the model
// piece by piece as received text does, so the model's memory budget holds
// (older text goes to the history file) however long the file is. False,
// with `text` untouched, when the file cannot be read or is refused, or the
// program is ending; `failure` then names the file and the reason.
bool Load(TerminalText& text, const QString& path, std::uint32_t plainColor,
          std::string& failure);

// RTF groups may nest this deep; a deeper document is refused.
constexpr std::size_t kMaxGroupDepth = 1000;

// The coloured form's reader, fed the document in blocks of any size. It is
// tolerant of what other writers add: unknown control words are ignored,
// destinations skipped. It holds one block of text, the colour table and one
// small state per open group, whatever the document's length.
class ColouredReader {
public:
    // Appends what it reads to `into`.
    explicit ColouredReader(TerminalText& into);
    ~ColouredReader();
    ColouredReader(const ColouredReader&) = delete;
    ColouredReader& operator=(const ColouredReader&) = delete;

    // False once the document has ended or is refused: no more is wanted.
    bool Feed(const char* data, std::size_t size);
    // After the last block: true when a whole document was read.
    bool Finish();
    // Why the document was refused or is not one; "" otherwise.
    const std::string& Failure() const;

private:
    class Parser;
    std::unique_ptr<Parser> m_parser;
};

// The reader on a whole document in memory: replaces `text` on success.
bool ParseColoured(TerminalText& text, const QByteArray& data);

}  // namespace TerminalFile
