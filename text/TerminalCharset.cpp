#include "text/TerminalCharset.h"

#include "text/IconvConverter.h"

#include <langinfo.h>

#include <cstring>

namespace {

std::string& RunCharset()
{
    static std::string name;
    return name;
}

}  // namespace

std::string LocaleCharset()
{
    const char* codeset = nl_langinfo(CODESET);
    if (codeset == nullptr || *codeset == '\0' || std::strcmp(codeset, "ANSI_X3.4-1968") == 0 ||
        std::strcmp(codeset, "ASCII") == 0)
        return "UTF-8";
    return codeset;
}

bool IsUsableCharset(std::string_view name)
{
    if (name.empty() || name.find('\0') != std::string_view::npos)
        return false;
    const std::string charset(name);
    return IconvConverter(charset, IconvConverter::Direction::ToUtf16).Valid() &&
           IconvConverter(charset, IconvConverter::Direction::FromUtf16).Valid();
}

std::string TerminalCharset()
{
    const std::string& chosen = RunCharset();
    return chosen.empty() ? LocaleCharset() : chosen;
}

void SetTerminalCharset(std::string name)
{
    RunCharset() = std::move(name);
}
