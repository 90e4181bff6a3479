#pragma once
// The simulator's command line. Its --help text is also the source of the
// manual page's synopsis and options (packaging/make-manpage.cmake).

#include "support/HelpFormat.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace devsim {

struct Reply {
    std::vector<std::uint8_t> request;
    std::vector<std::uint8_t> response;
};

struct Options {
    bool echo = false;
    bool lines = false;
    double lineRate = 2.0;                  // lines per second
    std::vector<Reply> replies;
    bool flood = false;
    std::uint64_t floodRate = 0;            // bytes per second; 0: as fast as possible
    std::optional<std::uint64_t> floodBytes;
    bool check = false;
    std::optional<double> timeLimit;        // seconds
    std::optional<std::string> link;        // a symbolic link to the far end
    bool help = false;
    bool version = false;
};

enum class ParseStatus { Ok, Help, Version, Error };

// Fills `options` from argv[1..]; on Error, `error` says what was wrong.
ParseStatus ParseOptions(int argc, const char* const* argv, Options& options, std::string& error);

// "12", "64k", "2M" (k = 1000, M = 1000000); nullopt when malformed.
std::optional<std::uint64_t> ParseCount(const std::string& text);
// Hex digits in pairs, spaces allowed ("01 0A ff"); nullopt when malformed.
std::optional<std::vector<std::uint8_t>> ParseHex(const std::string& text);

// The --help text; also printed after a command-line error.
std::string UsageText();
const std::vector<support::HelpRow>& OptionHelp();
// The --version line: "kestrana-devsim 0.1".
std::string VersionText();

}  // namespace devsim
