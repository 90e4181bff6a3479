#include "support/RegistryFile.h"

#include "support/HexDigit.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <new>

namespace support {
namespace {

constexpr std::string_view kHeader = "REGEDIT4";
constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kLastWritePrefix = ";LastWriteTime=";
constexpr std::string_view kClassPrefix = ";Class=";
constexpr std::size_t kHexLineWidth = 76;

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsFolded(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    }
    return true;
}

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Length of the valid multi-byte UTF-8 sequence starting at `i`, or 0.
std::size_t Utf8SequenceLength(std::string_view s, std::size_t i)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (i + length > s.size())
        return 0;
    if (byte(i + 1) < low || byte(i + 1) > high)
        return 0;
    for (std::size_t k = 2; k < length; ++k) {
        if (!IsContinuation(byte(i + k)))
            return 0;
    }
    return length;
}

bool IsPlainAscii(unsigned char c) { return c >= 0x20 && c < 0x7F; }

// Whether every byte of `text` can stand in a quoted string as itself (after
// \\ and \" escaping).
bool IsPlainText(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (IsPlainAscii(c)) {
            ++i;
            continue;
        }
        const std::size_t length = Utf8SequenceLength(text, i);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

void AppendHexByte(std::string& out, unsigned char byte)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0x0F];
}

// Quoted, with \\ \" and \xHH for whatever is not plain.
std::string Quote(std::string_view text)
{
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\\' || c == '"') {
            out += '\\';
            out += static_cast<char>(c);
            ++i;
        } else if (IsPlainAscii(c)) {
            out += static_cast<char>(c);
            ++i;
        } else if (const std::size_t length = Utf8SequenceLength(text, i); length != 0) {
            out.append(text.substr(i, length));
            i += length;
        } else {
            out += "\\x";
            AppendHexByte(out, c);
            ++i;
        }
    }
    out += '"';
    return out;
}

void AppendHexList(std::string& line, std::string& out, const std::vector<std::uint8_t>& data)
{
    for (std::size_t i = 0; i < data.size(); ++i) {
        AppendHexByte(line, data[i]);
        if (i + 1 == data.size())
            break;
        line += ',';
        if (line.size() >= kHexLineWidth) {
            out += line;
            out += '\\';
            out += kCrLf;
            line = "  ";
        }
    }
}

void FormatValue(const RegValue& value, std::string& out)
{
    std::string line = value.name.empty() ? std::string("@") : Quote(value.name);
    line += '=';
    const auto& data = value.data;
    if (value.type == REG_SZ && !data.empty() && data.back() == 0) {
        const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size() - 1);
        if (text.find('\0') == std::string_view::npos && IsPlainText(text)) {
            out += line + Quote(text);
            out += kCrLf;
            return;
        }
    }
    if (value.type == REG_DWORD && data.size() == 4) {
        const std::uint32_t number = static_cast<std::uint32_t>(data[0]) |
                                     (static_cast<std::uint32_t>(data[1]) << 8) |
                                     (static_cast<std::uint32_t>(data[2]) << 16) |
                                     (static_cast<std::uint32_t>(data[3]) << 24);
        char text[16];
        std::snprintf(text, sizeof text, "dword:%08x", number);
        out += line + text;
        out += kCrLf;
        return;
    }
    if (value.type == REG_BINARY) {
        line += "hex:";
    } else {
        char text[24];
        std::snprintf(text, sizeof text, "hex(%x):", static_cast<unsigned>(value.type));
        line += text;
    }
    AppendHexList(line, out, data);
    out += line;
    out += kCrLf;
}

void FormatKeyHeader(const RegKey& key, const std::string& path, std::string& out)
{
    out += '[';
    out += path;
    out += ']';
    out += kCrLf;
    out += kLastWritePrefix;
    out += std::to_string(key.lastWriteTime);
    out += kCrLf;
    if (!key.className.empty()) {
        out += kClassPrefix;
        out += Quote(key.className);
        out += kCrLf;
    }
    for (const RegValue& value : key.Values())
        FormatValue(value, out);
    out += kCrLf;
}

// Every key of the tree, parents before children and siblings in name order,
// walked with a stack of its own rather than the call stack.
void FormatTree(const RegKey& root, std::string& out)
{
    struct Pending {
        const RegKey* key;
        std::string path;
    };
    std::vector<Pending> stack;
    stack.push_back({&root, root.name});
    while (!stack.empty()) {
        Pending next = std::move(stack.back());
        stack.pop_back();
        FormatKeyHeader(*next.key, next.path, out);
        // Pushed last to first, so the first child comes off next.
        for (auto it = next.key->subKeys.rbegin(); it != next.key->subKeys.rend(); ++it)
            stack.push_back({it->second.get(), next.path + '\\' + it->second->name});
    }
}

// ---- parsing ----

std::string_view TrimLeft(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    return s;
}

std::string_view TrimRight(std::string_view s)
{
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}


// Reads a quoted string at the start of `s` (which begins with "); on
// success removes it from `s`.
bool ReadQuoted(std::string_view& s, std::string& out)
{
    if (s.empty() || s.front() != '"')
        return false;
    std::size_t i = 1;
    out.clear();
    while (i < s.size()) {
        const char c = s[i];
        if (c == '"') {
            s.remove_prefix(i + 1);
            return true;
        }
        if (c != '\\') {
            out += c;
            ++i;
            continue;
        }
        if (i + 1 >= s.size())
            return false;
        const char next = s[i + 1];
        if (next == '\\' || next == '"') {
            out += next;
            i += 2;
        } else if (next == 'x' && i + 3 < s.size() && HexDigit(s[i + 2]) >= 0 &&
                   HexDigit(s[i + 3]) >= 0) {
            out += static_cast<char>(HexDigit(s[i + 2]) * 16 + HexDigit(s[i + 3]));
            i += 4;
        } else {
            return false;
        }
    }
    return false;
}

bool ParseHexList(std::string_view s, std::vector<std::uint8_t>& data)
{
    data.clear();
    s = TrimRight(TrimLeft(s));
    if (s.empty())
        return true;
    while (true) {
        s = TrimLeft(s);
        // One byte is one or two digits; a third ends the item as bad before
        // the value can grow.
        std::size_t digits = 0;
        unsigned value = 0;
        while (digits < s.size() && HexDigit(s[digits]) >= 0) {
            if (++digits > 2)
                return false;
            value = value * 16 + static_cast<unsigned>(HexDigit(s[digits - 1]));
        }
        if (digits == 0)
            return false;
        data.push_back(static_cast<std::uint8_t>(value));
        s = TrimLeft(s.substr(digits));
        if (s.empty())
            return true;
        if (s.front() != ',')
            return false;
        s.remove_prefix(1);
    }
}

bool ParseValueData(std::string_view s, RegValue& value)
{
    s = TrimRight(TrimLeft(s));
    if (!s.empty() && s.front() == '"') {
        std::string text;
        if (!ReadQuoted(s, text) || !TrimLeft(s).empty())
            return false;
        value.type = REG_SZ;
        value.data.assign(text.begin(), text.end());
        value.data.push_back(0);
        return true;
    }
    if (s.starts_with("dword:")) {
        s.remove_prefix(6);
        if (s.empty() || s.size() > 8)
            return false;
        std::uint32_t number = 0;
        for (char c : s) {
            if (HexDigit(c) < 0)
                return false;
            number = number * 16 + static_cast<std::uint32_t>(HexDigit(c));
        }
        value.type = REG_DWORD;
        value.data = {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
                      static_cast<std::uint8_t>(number >> 16),
                      static_cast<std::uint8_t>(number >> 24)};
        return true;
    }
    if (s.starts_with("hex:")) {
        value.type = REG_BINARY;
        return ParseHexList(s.substr(4), value.data);
    }
    if (s.starts_with("hex(")) {
        const std::size_t close = s.find("):");
        if (close == std::string_view::npos || close == 4 || close > 12)
            return false;
        std::uint64_t type = 0;
        for (char c : s.substr(4, close - 4)) {
            if (HexDigit(c) < 0)
                return false;
            type = type * 16 + static_cast<std::uint64_t>(HexDigit(c));
        }
        if (type > 0xFFFFFFFFu)
            return false;
        value.type = static_cast<DWORD>(type);
        return ParseHexList(s.substr(close + 2), value.data);
    }
    return false;
}

}  // namespace

std::string FoldCase(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = LowerAscii(c);
    return out;
}

bool IsValidKeyName(std::string_view name)
{
    if (name.empty() || name.size() > 255 || name.find('\\') != std::string_view::npos)
        return false;
    return IsPlainText(name);
}

std::uint64_t FileTimeNow()
{
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    const auto ticks = std::chrono::duration_cast<std::chrono::nanoseconds>(since).count() / 100;
    return kUnixEpochAsFileTime + static_cast<std::uint64_t>(ticks);
}

RegKey* RegKey::FindSubKey(std::string_view keyName) const
{
    const auto it = subKeys.find(FoldCase(keyName));
    return it == subKeys.end() ? nullptr : it->second.get();
}

RegKey::~RegKey()
{
    // Children are cut loose before they go, so each destructor below sees
    // no subkeys and the depth of the tree never reaches the call stack.
    try {
        std::vector<std::unique_ptr<RegKey>> pending;
        const auto detach = [&pending](RegKey& key) {
            for (auto& [folded, child] : key.subKeys)
                pending.push_back(std::move(child));
            key.subKeys.clear();
        };
        detach(*this);
        while (!pending.empty()) {
            std::unique_ptr<RegKey> key = std::move(pending.back());
            pending.pop_back();
            detach(*key);
        }
    } catch (const std::bad_alloc&) {
        // Out of memory for the list: the members free what is left.
    }
}

const RegValue* RegKey::FindValue(std::string_view valueName) const
{
    const auto it = m_valueIndex.find(FoldCase(valueName));
    return it == m_valueIndex.end() ? nullptr : &m_values[it->second];
}

void RegKey::SetValue(RegValue value)
{
    const auto [it, added] = m_valueIndex.try_emplace(FoldCase(value.name), m_values.size());
    if (!added) {
        RegValue& existing = m_values[it->second];
        existing.type = value.type;
        existing.data = std::move(value.data);
        return;
    }
    try {
        m_values.push_back(std::move(value));
    } catch (...) {
        m_valueIndex.erase(it);
        throw;
    }
}

RegKey& RegKey::AddSubKey(std::string_view keyName, bool* created)
{
    auto& slot = subKeys[FoldCase(keyName)];
    if (created)
        *created = !slot;
    if (!slot) {
        slot = std::make_unique<RegKey>();
        slot->name = std::string(keyName);
    }
    return *slot;
}

std::string FormatRegFile(const RegKey& root)
{
    std::string out(kHeader);
    out += kCrLf;
    out += kCrLf;
    FormatTree(root, out);
    return out;
}

bool ParseRegFile(std::string_view text, std::string_view rootName, std::uint64_t defaultTime,
                  RegKey& root, std::string& error)
{
    root = RegKey{};
    root.name = std::string(rootName);
    root.lastWriteTime = defaultTime;

    std::vector<std::string_view> lines;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        start = end + 1;
    }
    if (lines.empty() || TrimRight(lines.front()) != kHeader) {
        error = "first line is not REGEDIT4";
        return false;
    }

    RegKey* current = nullptr;
    for (std::size_t n = 1; n < lines.size(); ++n) {
        const auto fail = [&](const char* what) {
            error = std::string(what) + " at line " + std::to_string(n + 1);
            return false;
        };
        std::string_view line = TrimRight(TrimLeft(lines[n]));
        if (line.empty())
            continue;
        if (line.front() == ';') {
            if (current == nullptr)
                continue;
            if (line.starts_with(kLastWritePrefix)) {
                const std::string_view number = line.substr(kLastWritePrefix.size());
                std::uint64_t ticks = 0;
                const auto [end, ec] =
                    std::from_chars(number.data(), number.data() + number.size(), ticks);
                if (ec != std::errc() || end != number.data() + number.size())
                    return fail("bad last write time");
                current->lastWriteTime = ticks;
            } else if (line.starts_with(kClassPrefix)) {
                std::string_view rest = line.substr(kClassPrefix.size());
                std::string className;
                if (!ReadQuoted(rest, className) || !rest.empty())
                    return fail("bad class name");
                current->className = std::move(className);
            }
            continue;
        }
        if (line.front() == '[') {
            if (line.back() != ']')
                return fail("unterminated key name");
            const std::string_view path = line.substr(1, line.size() - 2);
            const std::size_t slash = path.find('\\');
            if (!EqualsFolded(path.substr(0, slash), rootName))
                return fail("key of another root");
            current = &root;
            if (slash == std::string_view::npos)
                continue;
            std::string_view rest = path.substr(slash + 1);
            for (std::size_t depth = 1;; ++depth) {
                if (depth > kMaxKeyDepth)
                    return fail("key nested too deep");
                const std::size_t next = rest.find('\\');
                const std::string_view part = rest.substr(0, next);
                if (!IsValidKeyName(part))
                    return fail("bad key name");
                bool created = false;
                current = &current->AddSubKey(part, &created);
                if (created)
                    current->lastWriteTime = defaultTime;
                if (next == std::string_view::npos)
                    break;
                rest = rest.substr(next + 1);
            }
            continue;
        }
        if (current == nullptr)
            return fail("value outside a key");

        RegValue value;
        std::string_view rest = line;
        if (rest.front() == '@') {
            rest.remove_prefix(1);
        } else if (!ReadQuoted(rest, value.name)) {
            return fail("bad value name");
        } else if (value.name.empty()) {
            return fail("empty value name");  // the default value is written @
        }
        rest = TrimLeft(rest);
        if (rest.empty() || rest.front() != '=')
            return fail("missing =");
        rest.remove_prefix(1);

        // Hex lists may go on over lines ending in a backslash. Each line is
        // appended once and the backslash cut off in place, so a long list
        // costs its length and no more.
        std::string joined(TrimRight(rest));
        const bool isHex = TrimLeft(joined).starts_with("hex");
        while (isHex && !joined.empty() && joined.back() == '\\') {
            joined.pop_back();
            if (++n >= lines.size())
                return fail("continuation past the end");
            joined += TrimRight(TrimLeft(lines[n]));
        }
        if (!ParseValueData(joined, value))
            return fail("bad value data");
        current->SetValue(std::move(value));
    }
    return true;
}

}  // namespace support
