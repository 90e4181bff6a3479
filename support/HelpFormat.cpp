#include "support/HelpFormat.h"

namespace support {
namespace {

// The words of `text` (split at spaces and line ends) in lines of at most
// `width` characters; a longer word stands on a line of its own.
std::vector<std::string> Wrap(std::string_view text, std::size_t width)
{
    std::vector<std::string> lines;
    std::string line;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t start = text.find_first_not_of(" \n", pos);
        if (start == std::string_view::npos)
            break;
        std::size_t end = text.find_first_of(" \n", start);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view word = text.substr(start, end - start);
        if (!line.empty() && line.size() + 1 + word.size() > width) {
            lines.push_back(std::move(line));
            line.clear();
        }
        if (!line.empty())
            line += ' ';
        line += word;
        pos = end;
    }
    if (!line.empty())
        lines.push_back(std::move(line));
    return lines;
}

// The items of a usage line: split at spaces outside square brackets, so
// "[--device COMn=PATH]..." stays whole.
std::vector<std::string_view> UsageItems(std::string_view usage)
{
    std::vector<std::string_view> items;
    int depth = 0;
    std::size_t start = std::string_view::npos;
    for (std::size_t i = 0; i <= usage.size(); ++i) {
        const char c = i < usage.size() ? usage[i] : ' ';
        if (c == '[')
            ++depth;
        else if (c == ']' && depth > 0)
            --depth;
        const bool split = (c == ' ' || c == '\n') && depth == 0;
        if (split) {
            if (start != std::string_view::npos)
                items.push_back(usage.substr(start, i - start));
            start = std::string_view::npos;
        } else if (start == std::string_view::npos) {
            start = i;
        }
    }
    return items;
}

void AppendUsage(std::string& out, std::string_view usage)
{
    const std::vector<std::string_view> items = UsageItems(usage);
    std::string line;
    std::size_t indent = 0;
    bool lineStart = true;
    for (std::size_t i = 0; i < items.size(); ++i) {
        // "usage:" and the program name always share the first line; the
        // rest continues under the first item after them.
        if (i >= 2 && !lineStart && line.size() + 1 + items[i].size() > kHelpWidth) {
            out += line;
            out += '\n';
            line.assign(indent, ' ');
            lineStart = true;
        }
        if (!lineStart)
            line += ' ';
        line += items[i];
        lineStart = false;
        if (i == 1)
            indent = line.size() + 1;
    }
    out += line;
    out += '\n';
}

void AppendParagraphs(std::string& out, std::string_view text)
{
    bool first = true;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t end = text.find("\n\n", pos);
        if (end == std::string_view::npos)
            end = text.size();
        const std::vector<std::string> lines = Wrap(text.substr(pos, end - pos), kHelpWidth);
        if (!lines.empty()) {
            if (!first)
                out += '\n';
            first = false;
            for (const std::string& line : lines) {
                out += line;
                out += '\n';
            }
        }
        pos = end + 2;
    }
}

void AppendRow(std::string& out, const HelpRow& row)
{
    std::string line = "  ";
    line += row.synopsis;
    const std::vector<std::string> text = Wrap(row.text, kHelpWidth - kHelpTextColumn);
    if (line.size() + 2 > kHelpTextColumn) {
        out += line;
        out += '\n';
        line.clear();
    }
    if (text.empty()) {
        if (!line.empty())
            out += line + '\n';
        return;
    }
    for (const std::string& piece : text) {
        line.resize(kHelpTextColumn, ' ');
        line += piece;
        out += line;
        out += '\n';
        line.clear();
    }
}

bool IsOptionChar(char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'; }

}  // namespace

std::string FormatHelp(std::string_view usage, std::string_view description,
                       const std::vector<HelpRow>& rows)
{
    std::string out;
    AppendUsage(out, usage);
    if (description.find_first_not_of(" \n") != std::string_view::npos) {
        out += '\n';
        AppendParagraphs(out, description);
    }
    out += "\nOptions:\n";
    for (const HelpRow& row : rows)
        AppendRow(out, row);
    return out;
}

std::vector<std::string> OptionNames(std::string_view text)
{
    std::vector<std::string> names;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '-' || (i > 0 && text[i - 1] != ' ' && text[i - 1] != '[' && text[i - 1] != '|'))
            continue;
        std::size_t end = i;
        while (end < text.size() && IsOptionChar(text[end]))
            ++end;
        const std::string_view name = text.substr(i, end - i);
        const std::size_t letters = name.find_first_not_of('-');
        if (letters != std::string_view::npos && letters <= 2)
            names.emplace_back(name);
        i = end;
    }
    return names;
}

}  // namespace support
