#include "terminal/TerminalFile.h"

#include "platform/PosixIo.h"
#include "platform/ShutdownRequest.h"
#include "platform/SystemError.h"
#include "support/HexDigit.h"
#include "text/TextDecoder.h"

#include <QFile>
#include <QSaveFile>
#include <QStringEncoder>

#include <algorithm>
#include <cerrno>
#include <map>
#include <string_view>
#include <vector>

namespace TerminalFile {
namespace {

constexpr std::size_t kBlockUnits = 1 << 16;
constexpr qint64 kFlushBytes = 1 << 20;

bool WriteOut(QSaveFile& file, QByteArray& out)
{
    const bool ok = file.write(out) == out.size();
    out.clear();
    return ok;
}

void AppendEscaped(QByteArray& out, const char16_t* p, std::size_t n)
{
    static const char kHex[] = "0123456789abcdef";
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t c = p[i];
        if (c == u'\\' || c == u'{' || c == u'}') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == u'\n') {
            out += "\\par\n";
        } else if (c == u'\t') {
            out += "\\tab ";
        } else if (c < 0x20 || c == 0x7F) {
            out += "\\'";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            // \uN takes a signed 16-bit number; '?' is the fallback for
            // readers without Unicode.
            out += "\\u";
            out += QByteArray::number(static_cast<int>(static_cast<std::int16_t>(c)));
            out += '?';
        }
    }
}

// Pushes decoded text into the model in blocks of one colour.
class ColouredSink {
public:
    explicit ColouredSink(TerminalText& text) : m_text(text) {}
    void Put(char16_t c, std::uint32_t color)
    {
        if (color != m_color || m_pending.size() >= kBlockUnits)
            Flush();
        m_color = color;
        m_pending.push_back(c);
    }
    void Flush()
    {
        m_text.Append(m_pending.data(), m_pending.size(), m_color);
        m_pending.clear();
    }

private:
    TerminalText& m_text;
    std::vector<char16_t> m_pending;
    std::uint32_t m_color = 0;
};

bool IsLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Control words are at most this long; a longer one is no word this reader
// knows, and is not kept.
constexpr std::size_t kMaxWordLetters = 32;
// Colour table entries kept; \cf beyond them is "auto".
constexpr std::size_t kMaxColors = std::size_t(1) << 16;
// Bytes read from the file at a time.
constexpr std::size_t kReadBytes = std::size_t(1) << 18;

}  // namespace

// A byte-at-a-time reader: a control word or an escape cut by the end of a
// block is finished by the next one.
class ColouredReader::Parser {
public:
    explicit Parser(TerminalText& text) : m_sink(text) {}

    bool Feed(const char* data, std::size_t size)
    {
        for (std::size_t i = 0; i < size && !m_ended; ++i)
            Byte(data[i]);
        return !m_ended;
    }

    bool Finish()
    {
        if (!m_ended) {
            // What the document's end cuts short counts as far as it goes.
            if (m_lex == Lex::Hex && m_hexDigits == 1)
                Char(static_cast<unsigned char>(m_hexFirst));
            else if (m_lex == Lex::Word || m_lex == Lex::Param)
                EndWord();
            m_sink.Flush();
            m_ended = true;
            m_whole = m_sawStart;
            if (!m_whole && m_failure.empty())
                m_failure = "not an RTF document";
        }
        return m_whole;
    }

    const std::string& Failure() const { return m_failure; }

private:
    enum class Mode : std::uint8_t { Text, Skip, ColorTable };
    struct State {
        Mode mode = Mode::Text;
        bool destination = false;
        int cf = 0;
        int uc = 1;
    };
    enum class Lex { Text, Escape, Hex, Word, Param };

    void Byte(char c)
    {
        for (;;) {  // a byte that ends an escape is read again as itself
            switch (m_lex) {
            case Lex::Text:
                if (c == '{')
                    OpenGroup();
                else if (c == '}')
                    CloseGroup();
                else if (c == '\\')
                    m_lex = Lex::Escape;
                else if (c != '\r' && c != '\n')
                    Char(static_cast<unsigned char>(c));
                return;
            case Lex::Escape:
                m_lex = Lex::Text;
                Symbol(c);
                return;
            case Lex::Hex: {
                const int digit = support::HexDigit(c);
                if (m_hexDigits == 0 && digit >= 0) {
                    m_hexFirst = c;
                    m_hexDigits = 1;
                    return;
                }
                m_lex = Lex::Text;
                if (digit >= 0) {
                    Char(static_cast<char16_t>(support::HexDigit(m_hexFirst) * 16 + digit));
                    return;
                }
                // Not an escape after all: what followed \' is text.
                if (m_hexDigits == 1)
                    Char(static_cast<unsigned char>(m_hexFirst));
                continue;
            }
            case Lex::Word:
                if (IsLetter(c)) {
                    if (m_word.size() <= kMaxWordLetters)
                        m_word += c;
                    return;
                }
                m_lex = Lex::Param;
                m_negative = m_hasParam = false;
                m_param = 0;
                if (c == '-') {
                    m_negative = true;
                    return;
                }
                continue;
            case Lex::Param:
                if (c >= '0' && c <= '9') {
                    m_hasParam = true;
                    m_param = std::min<long long>(m_param * 10 + (c - '0'), 1 << 30);
                    return;
                }
                m_lex = Lex::Text;
                EndWord();
                if (c == ' ')
                    return;  // the word's delimiter
                continue;
            }
        }
    }

    // The character after a backslash.
    void Symbol(char c)
    {
        if (c == '\\' || c == '{' || c == '}') {
            Char(static_cast<char16_t>(c));
        } else if (c == '\'') {
            m_lex = Lex::Hex;
            m_hexDigits = 0;
        } else if (c == '*') {
            m_state.destination = true;
            m_state.mode = Mode::Skip;
        } else if (c == '\r' || c == '\n') {
            Char(u'\n', false);
        } else if (c == '~') {
            Char(u'\u00A0');
        } else if (IsLetter(c)) {
            m_word.assign(1, c);
            m_lex = Lex::Word;
        }
        // Other control symbols: nothing to show.
    }

    void OpenGroup()
    {
        if (m_stack.size() >= kMaxGroupDepth) {
            // Each level costs state: a hostile file must not make it grow.
            m_failure = "groups nested deeper than " + std::to_string(kMaxGroupDepth);
            m_ended = true;
            return;
        }
        m_stack.push_back(m_state);
        m_state.destination = false;  // "\*" applies to this group only
    }

    void CloseGroup()
    {
        if (!m_stack.empty()) {
            m_state = m_stack.back();
            m_stack.pop_back();
            if (!m_stack.empty())
                return;
        }
        // The document's last group is closed: what follows is not read.
        m_sink.Flush();
        m_ended = true;
        m_whole = true;
    }

    void Char(char16_t c, bool counted = true)
    {
        if (counted && m_skipFallback > 0) {
            --m_skipFallback;
            return;
        }
        switch (m_state.mode) {
        case Mode::Skip:
            return;
        case Mode::ColorTable:
            if (c == u';') {
                if (m_colors.size() < kMaxColors)
                    m_colors.push_back(m_red | (m_green << 8) | (m_blue << 16));
                m_red = m_green = m_blue = 0;
            }
            return;
        case Mode::Text:
            m_sink.Put(c, ColorOf(m_state.cf));
            return;
        }
    }

    std::uint32_t ColorOf(int index) const
    {
        if (index <= 0 || index >= static_cast<int>(m_colors.size()))
            return 0;  // "auto": black
        return m_colors[static_cast<std::size_t>(index)];
    }

    void EndWord()
    {
        if (m_word.size() > kMaxWordLetters)
            return;
        const long long param = m_negative ? -m_param : m_param;
        Word(m_word, m_hasParam, static_cast<int>(param));
    }

    void Word(std::string_view word, bool hasParam, int param)
    {
        if (word == "rtf") {
            m_sawStart = true;
        } else if (word == "par" || word == "line") {
            Char(u'\n', false);
        } else if (word == "tab") {
            Char(u'\t', false);
        } else if (word == "cf") {
            m_state.cf = hasParam ? param : 0;
        } else if (word == "uc") {
            m_state.uc = std::max(param, 0);
        } else if (word == "u" && hasParam) {
            Char(static_cast<char16_t>(param < 0 ? param + 65536 : param), false);
            m_skipFallback = m_state.uc;
        } else if (word == "colortbl") {
            m_state.mode = Mode::ColorTable;
            m_colors.clear();
        } else if (m_state.mode == Mode::ColorTable) {
            const auto value = static_cast<std::uint32_t>(std::clamp(param, 0, 255));
            if (word == "red")
                m_red = value;
            else if (word == "green")
                m_green = value;
            else if (word == "blue")
                m_blue = value;
        } else if (word == "fonttbl" || word == "stylesheet" || word == "info" || word == "pict" ||
                   word == "header" || word == "footer" || word == "object" ||
                   word == "generator") {
            m_state.mode = Mode::Skip;
        }
    }

    ColouredSink m_sink;
    State m_state;
    std::vector<State> m_stack;  // at most kMaxGroupDepth
    std::vector<std::uint32_t> m_colors;
    std::uint32_t m_red = 0, m_green = 0, m_blue = 0;
    int m_skipFallback = 0;
    bool m_sawStart = false;
    bool m_ended = false;
    bool m_whole = false;
    std::string m_failure;
    // The escape or control word being read.
    Lex m_lex = Lex::Text;
    std::string m_word;
    bool m_negative = false;
    bool m_hasParam = false;
    long long m_param = 0;
    int m_hexDigits = 0;
    char m_hexFirst = 0;
};

ColouredReader::ColouredReader(TerminalText& into) : m_parser(std::make_unique<Parser>(into)) {}
ColouredReader::~ColouredReader() = default;
bool ColouredReader::Feed(const char* data, std::size_t size) { return m_parser->Feed(data, size); }
bool ColouredReader::Finish() { return m_parser->Finish(); }
const std::string& ColouredReader::Failure() const { return m_parser->Failure(); }

bool SaveColoured(const TerminalText& text, const QString& path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;

    std::map<std::uint32_t, int> index;
    QByteArray table = "{\\colortbl;";
    for (const std::uint32_t color : text.Colors()) {
        if (index.emplace(color, static_cast<int>(index.size()) + 1).second)
            table += "\\red" + QByteArray::number(color & 0xFF) + "\\green" +
                     QByteArray::number((color >> 8) & 0xFF) + "\\blue" +
                     QByteArray::number((color >> 16) & 0xFF) + ';';
    }
    table += "}\n";

    QByteArray out = "{\\rtf1\\ansi\\deff0\\uc1{\\fonttbl{\\f0\\fmodern Monospace;}}\n";
    out += table;
    out += "\\f0\n";

    // Piece by piece: only one block of the text is held here at a time.
    std::vector<char16_t> block(kBlockUnits);
    bool ok = true;
    int current = -1;
    for (std::uint64_t start = 0; start < text.Size() && ok;) {
        const std::uint64_t end = text.ColorRunEnd(start);
        const int cf = index[text.ColorAt(start)];
        if (cf != current)
            out += "\\cf" + QByteArray::number(cf) + ' ';
        current = cf;
        for (std::uint64_t at = start; at < end && ok;) {
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(end - at, kBlockUnits));
            text.Copy(at, n, block.data());
            AppendEscaped(out, block.data(), n);
            at += n;
            if (out.size() >= kFlushBytes)
                ok = WriteOut(file, out);
        }
        start = end;
    }
    out += "}\n";
    ok = ok && WriteOut(file, out);
    return ok && file.commit();
}

bool SavePlain(const TerminalText& text, const QString& path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QStringEncoder encoder(QStringConverter::Utf8);
    std::vector<char16_t> block(kBlockUnits);
    QByteArray out;
    bool ok = true;
    for (std::uint64_t at = 0; at < text.Size() && ok;) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(text.Size() - at, kBlockUnits));
        text.Copy(at, n, block.data());
        out += encoder(QStringView(block.data(), static_cast<qsizetype>(n)));
        at += n;
        if (out.size() >= kFlushBytes)
            ok = WriteOut(file, out);
    }
    ok = ok && WriteOut(file, out);
    return ok && file.commit();
}

bool Load(TerminalText& text, const QString& path, std::uint32_t plainColor,
          std::string& failure)
{
    const std::string name = QFile::encodeName(path).toStdString();
    const platform::UniqueFd fd = platform::OpenRegularFile(name, failure);
    if (!fd)
        return false;
    TerminalText loaded;
    loaded.SetWrapColumns(text.WrapColumns());
    loaded.SetPieceUnits(text.PieceUnits());
    loaded.SetMemoryBudget(text.MemoryBudget());

    // The first bytes tell the form; both readers then take the file as it comes.
    constexpr std::string_view kRtfStart = "{\\rtf";
    std::unique_ptr<ColouredReader> coloured;
    std::unique_ptr<TextDecoder> plain;
    std::vector<char16_t> decoded;
    std::string head;
    std::vector<char> block(kReadBytes);
    for (bool more = true; more;) {
        // A long file must not hold off a request to end the program.
        if (platform::ShutdownRequested() != 0) {
            failure = platform::DescribeFailure("Cannot read", name, EINTR);
            return false;
        }
        const ssize_t got = platform::ReadRetry(fd.get(), block.data(), block.size());
        if (got < 0) {
            failure = platform::DescribeLastFailure("Cannot read", name);
            return false;
        }
        more = got > 0;
        std::string_view data(block.data(), static_cast<std::size_t>(got));
        if (!coloured && !plain) {
            head.append(data);
            if (more && head.size() < kRtfStart.size())
                continue;
            if (head.starts_with(kRtfStart))
                coloured = std::make_unique<ColouredReader>(loaded);
            else
                plain = std::make_unique<TextDecoder>("UTF-8");  // saved plain text is always UTF-8
            data = head;
        }
        if (coloured) {
            if (!coloured->Feed(data.data(), data.size()))
                break;
        } else {
            decoded.clear();
            plain->Decode(data.data(), data.size(), decoded);
            loaded.Append(decoded.data(), decoded.size(), plainColor);
        }
        head.clear();
    }
    if (coloured && !coloured->Finish()) {
        failure = platform::DescribeFailure("Cannot load", name, coloured->Failure());
        return false;
    }
    text = std::move(loaded);
    return true;
}

bool ParseColoured(TerminalText& text, const QByteArray& data)
{
    TerminalText loaded;
    loaded.SetWrapColumns(text.WrapColumns());
    ColouredReader reader(loaded);
    reader.Feed(data.constData(), static_cast<std::size_t>(data.size()));
    if (!reader.Finish())
        return false;
    text = std::move(loaded);
    return true;
}

}  // namespace TerminalFile
