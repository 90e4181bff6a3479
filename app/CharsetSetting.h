#pragma once
// Which character set the terminal speaks this run. A name from the command
// line is used and kept (value "Charset" in the "Terminal Settings" section);
// without one the kept name is used; without either, the locale's. An empty
// name from the command line forgets the kept one.

#include <optional>
#include <string>

// Sets TerminalCharset() for the run. Returns a warning for standard error
// when a kept name can no longer be converted (the locale's is used then),
// else "".
std::string ChooseTerminalCharset(const std::optional<std::string>& fromCommandLine);

inline constexpr const char* kCharsetSection = "Terminal Settings";
inline constexpr const char* kCharsetValue = "Charset";
