#include "app/MessageLine.h"

std::string MessageLine(std::string_view text, std::string_view detail)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.remove_suffix(1);
    std::string line(text);
    if (detail.empty())
        return line;
    const bool sentence = !line.empty() && (line.back() == '.' || line.back() == '!' || line.back() == '?');
    line.append(sentence ? " " : ": ").append(detail);
    return line;
}
