#include "app/CommandLine.h"

#include "support/Version.h"
#include "text/TerminalCharset.h"

#include <arpa/inet.h>

#include <cctype>
#include <optional>
#include <string_view>

namespace {

// "COMn=PATH" with n 1..8 and a non-empty path.
std::optional<std::pair<int, std::string>> ParseDeviceMapping(std::string_view text)
{
    if (text.size() < 6)
        return std::nullopt;
    for (std::size_t i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(text[i])) != "COM"[i])
            return std::nullopt;
    const char digit = text[3];
    if (digit < '1' || digit > '8' || text[4] != '=')
        return std::nullopt;
    std::string path(text.substr(5));
    if (path.empty())
        return std::nullopt;
    return std::make_pair(digit - '0', std::move(path));
}

// Decimal digits only, 1..65535: nothing is truncated to 16 bits.
std::optional<int> ParsePort(std::string_view text)
{
    if (text.empty() || text.size() > 5)
        return std::nullopt;
    int port = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        port = port * 10 + (c - '0');
    }
    if (port < 1 || port > 65535)
        return std::nullopt;
    return port;
}

// Decimal digits only, 0..most.
std::optional<int> ParseSeconds(std::string_view text, int most)
{
    if (text.empty() || text.size() > 9)
        return std::nullopt;
    int seconds = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        seconds = seconds * 10 + (c - '0');
    }
    if (seconds > most)
        return std::nullopt;
    return seconds;
}

bool TakeSeconds(std::string_view option, const std::string& value, int most, int& seconds,
                 std::string& error)
{
    const std::optional<int> parsed = ParseSeconds(value, most);
    if (!parsed) {
        error = std::string(option) + " needs a number of seconds from 0 to " + std::to_string(most) +
                " (0: off; got '" + value + "')";
        return false;
    }
    seconds = *parsed;
    return true;
}

// The kernel's longest keepalive idle time; a day for the idle timeout.
constexpr int kMaxKeepAliveSeconds = 32767;
constexpr int kMaxIdleTimeoutSeconds = 86400;

// The smallest budget that still holds the newest piece and a few on their
// way to disk; the disk budget has the same floor.
constexpr std::uint64_t kMinHistorySize = 4ull << 20;

bool TakeHistorySize(std::string_view option, const std::string& value, std::uint64_t& size,
                     std::string& error)
{
    const std::optional<std::uint64_t> parsed = ParseMemorySize(value);
    if (!parsed || *parsed < kMinHistorySize) {
        error = std::string(option) + " needs a size of at least 4M, such as 64M or 1G (got '" + value + "')";
        return false;
    }
    size = *parsed;
    return true;
}

}  // namespace

std::optional<std::uint64_t> ParseMemorySize(std::string_view text)
{
    std::uint64_t value = 0;
    std::size_t i = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value > (std::uint64_t(1) << 40))
            return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(text[i] - '0');
    }
    if (i == 0)
        return std::nullopt;
    const std::string_view suffix = text.substr(i);
    int shift = 0;
    if (suffix.empty() || suffix == "B" || suffix == "b")
        shift = 0;
    else if (suffix.size() == 1 && (suffix[0] == 'K' || suffix[0] == 'k'))
        shift = 10;
    else if (suffix.size() == 1 && (suffix[0] == 'M' || suffix[0] == 'm'))
        shift = 20;
    else if (suffix.size() == 1 && (suffix[0] == 'G' || suffix[0] == 'g'))
        shift = 30;
    else
        return std::nullopt;
    if (value > (std::uint64_t(1) << (50 - shift)))
        return std::nullopt;
    return value << shift;
}

const char* UsageLine()
{
    return "usage: kestrana [FILE] [--device COMn=PATH]... [--connect] [--no-reconnect] [--tcp-server[=PORT]] "
           "[--tcp-bind ADDR] [--tcp-keepalive SECONDS] [--tcp-idle-timeout SECONDS] [--tcp-takeover] "
           "[--tcp-mode MODE] "
           "[--headless] [--registry-dir DIR] [--log-dir DIR] [--traffic-log] [--charset NAME] "
           "[--history-memory SIZE] [--history-disk SIZE] [--lang LANG] [--no-splash] [--help] [--version]";
}

const std::vector<support::HelpRow>& OptionHelp()
{
    static const std::vector<support::HelpRow> rows = {
        {"FILE", "a saved terminal to open: an .rtf file keeps both colours, any other file "
                 "is read as plain text"},
        {"--device COMn=PATH", "use the device PATH for the port slot COMn (1 to 8) for this "
                               "run only, without changing the stored mapping; may be given "
                               "for several slots. An unmapped slot COMn means /dev/ttyS(n-1)"},
        {"--connect", "open the selected port as soon as the window is up; with reconnecting on, a "
                      "device that is not there yet is waited for"},
        {"--no-reconnect", "for this run, close the port when its device goes away instead of "
                           "waiting for it to come back and opening it again (the Communication "
                           "menu's Auto reconnect, on unless turned off there)"},
        {"--tcp-server[=PORT]", "open the TCP server at start, on PORT (1 to 65535; 2000 when "
                                "not given): one network client is bridged to the serial line. "
                                "The bridge has no authentication"},
        {"--tcp-bind ADDR", "listen on the address ADDR only, IPv4 or IPv6 (e.g. 127.0.0.1 or "
                            "::1), instead of every IPv4 and IPv6 address of the machine"},
        {"--tcp-keepalive SECONDS", "after SECONDS of silence from a TCP client, probe it three "
                                    "times, a third of SECONDS apart, and disconnect it when none "
                                    "is answered (0 to 32767; 30 when not given; 0: off): the slot "
                                    "of a client whose machine went away frees in about twice "
                                    "SECONDS, and data it leaves unacknowledged that long ends it too"},
        {"--tcp-idle-timeout SECONDS", "for this run, disconnect a TCP client that has neither sent "
                                       "nor received anything for SECONDS (0 to 86400; 0: never); "
                                       "when not given, the value set with the Settings menu's TCP settings "
                                       "(none at first)"},
        {"--tcp-takeover", "for this run, a new TCP client replaces the one being served instead of "
                           "being turned away; also a choice in the Settings menu's TCP settings (off at "
                           "first)"},
        {"--tcp-mode MODE", "for this run, what the TCP bridge speaks: raw (the bytes as they are), "
                            "telnet (telnet commands taken out, 0xFF doubled) or rfc2217 (telnet "
                            "with the client setting the port's speed, framing and lines); when not "
                            "given, the choice in the Settings menu's TCP settings (raw at first)"},
        {"--headless", "run without any window and without a display, e.g. as a serial-to-"
                       "network bridge: message boxes go to standard error and the event log"},
        {"--registry-dir DIR", "keep the settings in DIR instead of $XDG_CONFIG_HOME/kestrana "
                               "(~/.config/kestrana); overrides KESTRANA_REGISTRY_DIR"},
        {"--log-dir DIR", "write the two daily logs in DIR (created if missing) instead of the "
                          "working folder"},
        {"--traffic-log", "for this run, also write trafficMMDD.log beside the two daily logs: every "
                          "frame sent and received, in the order they crossed the line, with its time "
                          "in milliseconds, its direction, its bytes in hex and as text; also a choice "
                          "in the Settings menu's Terminal settings (off at first)"},
        {"--charset NAME", "the terminal's character set for what is received and what is typed "
                           "(UTF-8, CP949, EUC-KR, ISO-8859-1, any name iconv -l lists); kept for "
                           "later runs; --charset= goes back to the locale's"},
        {"--history-memory SIZE", "keep at most SIZE of the terminal's text in memory (e.g. 256M, "
                                  "2G; at least 4M; 64M when not given). Older text moves to an "
                                  "unlinked, compressed history file in $XDG_CACHE_HOME/kestrana "
                                  "(~/.cache/kestrana) or the temporary folder and comes back when "
                                  "you scroll, find, copy or save; nothing is trimmed until "
                                  "--history-disk is reached"},
        {"--history-disk SIZE", "let the history file hold at most SIZE of older text (e.g. 512M, "
                                "4G; at least 4M). When not given: the smaller of 1G and a "
                                "quarter of the free space of its file system when the file is "
                                "made. Beyond it the oldest text is dropped and a line at the top "
                                "of the terminal says how much. The file is unlinked, so it never "
                                "shows in the folder"},
        {"--lang LANG", "the interface language for this run: ko (Korean) or en (English); when "
                        "not given, Korean if the desktop's language (LANGUAGE, LC_ALL, LC_MESSAGES, "
                        "LANG) is Korean, English otherwise. Logs, settings and what is sent never "
                        "change with it"},
        {"--no-splash", "start without the splash window"},
        {"-h, --help", "print this text and exit"},
        {"--version", "print the version and exit"},
    };
    return rows;
}

std::string HelpText(UiLanguage language, bool fromCommandLine)
{
    const std::string languageNote = std::string("The interface of this run is in ") + UiLanguageName(language) +
                                     (fromCommandLine ? " (chosen with --lang)." : " (from the desktop's language settings).");
    return support::FormatHelp(
        UsageLine(),
        "Kestrana is a serial-port terminal: it opens one port at a time and shows what the "
        "device sends and what you send in two colours.\n\n"
        "A bad argument prints the usage line and exits with status 2. SIGTERM and SIGINT end "
        "Kestrana through its normal shutdown: the logs get their end lines and the settings "
        "are saved.\n\n" + languageNote,
        OptionHelp());
}

std::string VersionText() { return std::string("kestrana ") + support::kVersion; }

CommandLineStatus ParseCommandLine(const std::vector<std::string>& args,
                                   CommandLineOptions& options, std::string& error)
{
    bool onlyFiles = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        // Options that take a value accept "--opt VALUE" and "--opt=VALUE".
        auto takeValue = [&](std::string_view name, std::string& value) -> std::optional<bool> {
            if (arg == name) {
                if (i + 1 >= args.size()) {
                    error = std::string(name) + " needs a value";
                    return false;
                }
                value = args[++i];
                return true;
            }
            if (arg.size() > name.size() && arg.compare(0, name.size(), name) == 0 &&
                arg[name.size()] == '=') {
                value = arg.substr(name.size() + 1);
                return true;
            }
            return std::nullopt;
        };

        if (!onlyFiles && arg.size() > 1 && arg[0] == '-') {
            std::string value;
            if (arg == "--") {
                onlyFiles = true;
            } else if (arg == "--help" || arg == "-h") {
                options.help = true;
            } else if (arg == "--version") {
                options.version = true;
            } else if (arg == "--connect") {
                options.connect = true;
            } else if (arg == "--no-reconnect") {
                options.noReconnect = true;
            } else if (arg == "--traffic-log") {
                options.trafficLog = true;
            } else if (arg == "--no-splash") {
                options.noSplash = true;
            } else if (arg == "--headless") {
                options.headless = true;
            } else if (arg == "--tcp-server") {
                // The port is optional, so it only comes with "=": a bare
                // number after the switch is most likely a port, not a file.
                if (i + 1 < args.size() && ParsePort(args[i + 1])) {
                    error = "write the port as --tcp-server=" + args[i + 1] +
                            " (a file named " + args[i + 1] + " can be given as ./" + args[i + 1] + ")";
                    return CommandLineStatus::Error;
                }
                options.tcpServer = true;
            } else if (arg.rfind("--tcp-server=", 0) == 0) {
                const std::string text = arg.substr(13);
                const std::optional<int> port = ParsePort(text);
                if (!port) {
                    error = "--tcp-server port '" + text + "' is not a number from 1 to 65535";
                    return CommandLineStatus::Error;
                }
                options.tcpServer = true;
                options.tcpPort = *port;
            } else if (auto gotBind = takeValue("--tcp-bind", value)) {
                if (!*gotBind)
                    return CommandLineStatus::Error;
                in_addr v4{};
                in6_addr v6{};
                if (inet_pton(AF_INET, value.c_str(), &v4) != 1 && inet_pton(AF_INET6, value.c_str(), &v6) != 1) {
                    error = "--tcp-bind needs an IPv4 or IPv6 address such as 127.0.0.1 or ::1 (got '" +
                            value + "')";
                    return CommandLineStatus::Error;
                }
                options.tcpBind = value;
            } else if (auto gotKeepAlive = takeValue("--tcp-keepalive", value)) {
                if (!*gotKeepAlive ||
                    !TakeSeconds("--tcp-keepalive", value, kMaxKeepAliveSeconds, options.tcpKeepAlive, error))
                    return CommandLineStatus::Error;
            } else if (auto gotIdle = takeValue("--tcp-idle-timeout", value)) {
                int seconds = 0;
                if (!*gotIdle || !TakeSeconds("--tcp-idle-timeout", value, kMaxIdleTimeoutSeconds, seconds, error))
                    return CommandLineStatus::Error;
                options.tcpIdleTimeout = seconds;
            } else if (arg == "--tcp-takeover") {
                options.tcpTakeover = true;
            } else if (auto gotMode = takeValue("--tcp-mode", value)) {
                if (!*gotMode)
                    return CommandLineStatus::Error;
                options.tcpMode = ParseTcpMode(value);
                if (!options.tcpMode) {
                    error = "--tcp-mode needs raw, telnet or rfc2217 (got '" + value + "')";
                    return CommandLineStatus::Error;
                }
            } else if (auto got = takeValue("--device", value)) {
                if (!*got)
                    return CommandLineStatus::Error;
                auto mapping = ParseDeviceMapping(value);
                if (!mapping) {
                    error = "bad device mapping '" + value + "' (expected COMn=PATH, n 1 to 8)";
                    return CommandLineStatus::Error;
                }
                options.devices.push_back(std::move(*mapping));
            } else if (auto gotDir = takeValue("--registry-dir", value)) {
                if (!*gotDir)
                    return CommandLineStatus::Error;
                if (value.empty()) {
                    error = "--registry-dir needs a folder";
                    return CommandLineStatus::Error;
                }
                options.registryDir = value;
            } else if (auto gotLogDir = takeValue("--log-dir", value)) {
                if (!*gotLogDir)
                    return CommandLineStatus::Error;
                if (value.empty()) {
                    error = "--log-dir needs a folder";
                    return CommandLineStatus::Error;
                }
                options.logDir = value;
            } else if (auto gotMemory = takeValue("--history-memory", value)) {
                if (!*gotMemory || !TakeHistorySize("--history-memory", value, options.historyMemory, error))
                    return CommandLineStatus::Error;
            } else if (auto gotDisk = takeValue("--history-disk", value)) {
                if (!*gotDisk || !TakeHistorySize("--history-disk", value, options.historyDisk, error))
                    return CommandLineStatus::Error;
            } else if (auto gotLang = takeValue("--lang", value)) {
                if (!*gotLang)
                    return CommandLineStatus::Error;
                options.language = ParseUiLanguage(value);
                if (!options.language) {
                    error = "--lang needs ko or en (got '" + value + "')";
                    return CommandLineStatus::Error;
                }
            } else if (auto gotShots = takeValue("--screenshot", value)) {
                // Left out of --help: only tools/screenshots.sh uses it.
                if (!*gotShots)
                    return CommandLineStatus::Error;
                if (value.empty()) {
                    error = "--screenshot needs a folder";
                    return CommandLineStatus::Error;
                }
                options.screenshotDir = value;
            } else if (auto gotCharset = takeValue("--charset", value)) {
                if (!*gotCharset)
                    return CommandLineStatus::Error;
                if (!value.empty() && !IsUsableCharset(value)) {
                    error = "unknown character set '" + value +
                            "' (the C library cannot convert it; 'iconv -l' lists the names)";
                    return CommandLineStatus::Error;
                }
                options.charset = value;
            } else {
                error = "unknown option '" + arg + "'";
                return CommandLineStatus::Error;
            }
            continue;
        }
        if (!options.file.empty()) {
            error = "more than one file given ('" + arg + "')";
            return CommandLineStatus::Error;
        }
        if (arg.empty()) {
            error = "empty file name";
            return CommandLineStatus::Error;
        }
        options.file = arg;
    }
    if (options.help)
        return CommandLineStatus::Help;
    return options.version ? CommandLineStatus::Version : CommandLineStatus::Ok;
}
