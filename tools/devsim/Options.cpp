#include "tools/devsim/Options.h"

#include "support/HexDigit.h"
#include "support/Version.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string_view>

namespace devsim {
namespace {

std::optional<double> ParsePositiveNumber(const std::string& text)
{
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0])))
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (errno != 0 || end == text.c_str() || *end != '\0' || !std::isfinite(value) || value <= 0)
        return std::nullopt;
    return value;
}


}  // namespace

std::optional<std::uint64_t> ParseCount(const std::string& text)
{
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0])))
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
    if (errno != 0)
        return std::nullopt;
    std::uint64_t scale = 1;
    const std::string_view suffix(end);
    if (suffix == "k" || suffix == "K")
        scale = 1000;
    else if (suffix == "M")
        scale = 1000000;
    else if (!suffix.empty())
        return std::nullopt;
    if (value > UINT64_MAX / scale)
        return std::nullopt;
    return static_cast<std::uint64_t>(value) * scale;
}

std::optional<std::vector<std::uint8_t>> ParseHex(const std::string& text)
{
    std::vector<std::uint8_t> bytes;
    int high = -1;
    for (char c : text) {
        if (c == ' ')
            continue;
        const int digit = support::HexDigit(c);
        if (digit < 0)
            return std::nullopt;
        if (high < 0) {
            high = digit;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(high << 4 | digit));
            high = -1;
        }
    }
    if (high >= 0)
        return std::nullopt;
    return bytes;
}

ParseStatus ParseOptions(int argc, const char* const* argv, Options& options, std::string& error)
{
    options = Options{};
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::optional<std::string> inlineValue;
        if (const auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            inlineValue = arg.substr(eq + 1);
            arg.resize(eq);
        }
        // The value of an option that needs one: inline or the next argument.
        auto value = [&]() -> std::optional<std::string> {
            if (inlineValue)
                return inlineValue;
            if (i + 1 < argc)
                return std::string(argv[++i]);
            return std::nullopt;
        };
        auto bad = [&](const std::string& why) {
            error = why;
            return ParseStatus::Error;
        };
        auto noValue = [&] { return !inlineValue.has_value(); };

        if (arg == "--help" || arg == "-h") {
            if (!noValue())
                return bad("--help takes no value");
            options.help = true;
        } else if (arg == "--version") {
            if (!noValue())
                return bad("--version takes no value");
            options.version = true;
        } else if (arg == "--echo") {
            if (!noValue())
                return bad("--echo takes no value");
            options.echo = true;
        } else if (arg == "--check") {
            if (!noValue())
                return bad("--check takes no value");
            options.check = true;
        } else if (arg == "--lines") {
            options.lines = true;
            if (inlineValue) {
                const auto rate = ParsePositiveNumber(*inlineValue);
                if (!rate)
                    return bad("--lines: the rate must be a positive number of lines per second");
                options.lineRate = *rate;
            }
        } else if (arg == "--reply") {
            const auto text = value();
            if (!text)
                return bad("--reply needs REQUEST=REPLY");
            const auto eq = text->find('=');
            if (eq == std::string::npos)
                return bad("--reply needs REQUEST=REPLY, got '" + *text + "'");
            auto request = ParseHex(text->substr(0, eq));
            auto response = ParseHex(text->substr(eq + 1));
            if (!request || request->empty() || !response)
                return bad("--reply: hex bytes in pairs expected, got '" + *text + "'");
            options.replies.push_back({std::move(*request), std::move(*response)});
        } else if (arg == "--flood") {
            const auto text = value();
            const auto rate = text ? ParseCount(*text) : std::nullopt;
            if (!rate)
                return bad("--flood needs a rate in bytes per second (suffix k or M; 0 = no limit)");
            options.flood = true;
            options.floodRate = *rate;
        } else if (arg == "--bytes") {
            const auto text = value();
            const auto count = text ? ParseCount(*text) : std::nullopt;
            if (!count)
                return bad("--bytes needs a count (suffix k or M)");
            options.floodBytes = *count;
        } else if (arg == "--time") {
            const auto text = value();
            const auto seconds = text ? ParsePositiveNumber(*text) : std::nullopt;
            if (!seconds)
                return bad("--time needs a positive number of seconds");
            options.timeLimit = *seconds;
        } else if (arg == "--link") {
            const auto path = value();
            if (!path || path->empty())
                return bad("--link needs the PATH of the link to make");
            options.link = *path;
        } else {
            return bad("unknown argument '" + std::string(argv[i]) + "'");
        }
    }
    if (options.help)
        return ParseStatus::Help;
    if (options.version)
        return ParseStatus::Version;
    if (options.floodBytes && !options.flood)
        return error = "--bytes goes with --flood", ParseStatus::Error;
    if (options.lines && options.flood)
        return error = "--lines and --flood cannot be combined", ParseStatus::Error;
    return ParseStatus::Ok;
}

const std::vector<support::HelpRow>& OptionHelp()
{
    static const std::vector<support::HelpRow> rows = {
        {"--echo", "send back every byte received"},
        {"--lines[=RATE]", "send \"line 1\\r\\n\", \"line 2\\r\\n\", ... at RATE lines per second "
                           "(default 2)"},
        {"--reply HEX=HEX", "answer a received block equal to the first bytes with the second "
                            "(repeatable; other blocks are echoed with --echo)"},
        {"--flood RATE", "send the checkable flood pattern at RATE bytes per second (suffix k "
                         "or M; 0 = as fast as possible)"},
        {"--bytes N", "stop the flood after N bytes (suffix k or M)"},
        {"--check", "check incoming bytes against the flood pattern; report \"check bytes=N "
                    "errors=M\" on SIGUSR1 and at exit"},
        {"--time SECONDS", "exit after that long"},
        {"--link PATH", "also make the device reachable as PATH, a symbolic link to the far end "
                        "made once the device is ready (replacing a link or file of that name in "
                        "one step) and removed at exit unless another link has taken its place"},
        {"-h, --help", "print this text and exit"},
        {"--version", "print the version and exit"},
    };
    return rows;
}

std::string UsageText()
{
    return support::FormatHelp(
        "usage: kestrana-devsim [--echo] [--lines[=RATE]] [--reply HEX=HEX]... "
        "[--flood RATE [--bytes N]] [--check] [--time SECONDS] [--link PATH] [--help] "
        "[--version]",
        "Makes a pseudo-terminal, prints the path of its far end on the first line (with "
        "--link, \"link PATH -> FAR-END\" on the second) and acts as a device on it until "
        "SIGTERM, SIGINT or SIGHUP comes or --time has passed.",
        OptionHelp());
}

std::string VersionText() { return std::string("kestrana-devsim ") + support::kVersion; }

}  // namespace devsim
