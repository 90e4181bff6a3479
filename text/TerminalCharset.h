#pragma once
// The one character set of the terminal, for both directions: received bytes
// are decoded from it and typed text is encoded to it. By default it is the
// locale's (setlocale(LC_ALL, "") must have run); a name given at start-up
// (--charset, or the stored choice) replaces it for the run.

#include <string>
#include <string_view>

// The locale's character set, from nl_langinfo(CODESET). The plain C locale
// (7-bit ASCII) counts as UTF-8, of which ASCII is a part.
std::string LocaleCharset();

// True when the C library converts between `name` and UTF-16 both ways.
bool IsUsableCharset(std::string_view name);

// The character set in use: the one set for the run, else the locale's.
std::string TerminalCharset();

// Sets the run's character set; "" goes back to the locale's. The caller
// has checked the name with IsUsableCharset.
void SetTerminalCharset(std::string name);
