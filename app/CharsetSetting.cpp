#include "app/CharsetSetting.h"

#include "support/Profile.h"
#include "text/TerminalCharset.h"

std::string ChooseTerminalCharset(const std::optional<std::string>& fromCommandLine)
{
    if (fromCommandLine) {
        // The command line has checked the name already.
        support::WriteProfileString(kCharsetSection, kCharsetValue, *fromCommandLine);
        SetTerminalCharset(*fromCommandLine);
        return {};
    }
    const std::string kept = support::GetProfileString(kCharsetSection, kCharsetValue, "");
    if (kept.empty() || IsUsableCharset(kept)) {
        SetTerminalCharset(kept);
        return {};
    }
    SetTerminalCharset({});
    return "the kept character set '" + kept + "' cannot be converted by the C library; using " +
           TerminalCharset() + " (the locale's) instead";
}
