#include "terminal/TerminalFile.h"

#include "support/HexDigit.h"
#include "terminal/TextDecoder.h"

#include <QFile>
#include <QSaveFile>
#include <QStringEncoder>

#include <algorithm>
#include <map>
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


// A reader for the RTF that SaveColoured writes, tolerant of what other
// writers add: unknown control words are ignored, destinations skipped.
class RtfReader {
public:
    RtfReader(const QByteArray& data, TerminalText& text) : m_data(data), m_sink(text) {}

    bool Run()
    {
        const char* const begin = m_data.constData();
        const qsizetype size = m_data.size();
        qsizetype i = 0;
        while (i < size) {
            const char c = begin[i];
            if (c == '{') {
                m_stack.push_back(m_state);
                m_state.destination = false;  // "\*" applies to this group only
                ++i;
            } else if (c == '}') {
                if (m_stack.empty())
                    return true;
                m_state = m_stack.back();
                m_stack.pop_back();
                if (m_stack.empty()) {
                    m_sink.Flush();
                    return true;
                }
                ++i;
            } else if (c == '\\') {
                i = ControlAt(i + 1);
            } else if (c == '\r' || c == '\n') {
                ++i;
            } else {
                Char(static_cast<unsigned char>(c));
                ++i;
            }
        }
        m_sink.Flush();
        return m_sawStart;
    }

private:
    enum class Mode { Text, Skip, ColorTable };
    struct State {
        Mode mode = Mode::Text;
        int cf = 0;
        int uc = 1;
        bool destination = false;
    };

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

    qsizetype ControlAt(qsizetype i)
    {
        const char* const d = m_data.constData();
        const qsizetype size = m_data.size();
        if (i >= size)
            return i;
        const char c = d[i];
        if (c == '\\' || c == '{' || c == '}') {
            Char(static_cast<char16_t>(c));
            return i + 1;
        }
        if (c == '\'') {
            const int hi = i + 1 < size ? support::HexDigit(d[i + 1]) : -1;
            const int lo = i + 2 < size ? support::HexDigit(d[i + 2]) : -1;
            if (hi < 0 || lo < 0)
                return i + 1;
            Char(static_cast<char16_t>(hi * 16 + lo));
            return i + 3;
        }
        if (c == '*') {
            m_state.destination = true;
            m_state.mode = Mode::Skip;
            return i + 1;
        }
        if (c == '\r' || c == '\n') {
            Char(u'\n', false);
            return i + 1;
        }
        if (c == '~') {
            Char(u'\u00A0');
            return i + 1;
        }
        if (!IsLetter(c))
            return i + 1;  // other control symbols: nothing to show

        const qsizetype wordStart = i;
        while (i < size && IsLetter(d[i]))
            ++i;
        const QByteArray word(d + wordStart, i - wordStart);
        bool hasParam = false;
        bool negative = false;
        long long param = 0;
        if (i < size && d[i] == '-') {
            negative = true;
            ++i;
        }
        while (i < size && d[i] >= '0' && d[i] <= '9') {
            hasParam = true;
            param = std::min<long long>(param * 10 + (d[i] - '0'), 1 << 30);
            ++i;
        }
        if (negative)
            param = -param;
        if (i < size && d[i] == ' ')
            ++i;
        Word(word, hasParam, static_cast<int>(param));
        return i;
    }

    void Word(const QByteArray& word, bool hasParam, int param)
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

    const QByteArray& m_data;
    ColouredSink m_sink;
    State m_state;
    std::vector<State> m_stack;
    std::vector<std::uint32_t> m_colors;
    std::uint32_t m_red = 0, m_green = 0, m_blue = 0;
    int m_skipFallback = 0;
    bool m_sawStart = false;
};

}  // namespace

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

bool LooksColoured(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return file.read(5) == "{\\rtf";
}

bool LoadColoured(TerminalText& text, const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;
    return ParseColoured(text, data);
}

bool ParseColoured(TerminalText& text, const QByteArray& data)
{
    TerminalText loaded;
    loaded.SetWrapColumns(text.WrapColumns());
    RtfReader reader(data, loaded);
    if (!reader.Run())
        return false;
    text = std::move(loaded);
    return true;
}

bool LoadPlain(TerminalText& text, const QString& path, std::uint32_t plainColor)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    TerminalText loaded;
    loaded.SetWrapColumns(text.WrapColumns());
    TextDecoder decoder("UTF-8");  // saved plain text is always UTF-8
    std::vector<char16_t> decoded;
    QByteArray block;
    while (!(block = file.read(kFlushBytes)).isEmpty()) {
        decoded.clear();
        decoder.Decode(block.constData(), static_cast<std::size_t>(block.size()), decoded);
        loaded.Append(decoded.data(), decoded.size(), plainColor);
    }
    if (file.error() != QFileDevice::NoError)
        return false;
    text = std::move(loaded);
    return true;
}

}  // namespace TerminalFile
