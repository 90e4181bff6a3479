#include "app/CommandLine.h"

#include "terminal/TerminalCharset.h"

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

}  // namespace

const char* UsageLine()
{
    return "usage: kestrana [FILE] [--device COMn=PATH]... [--connect] [--tcp-server[=PORT]] "
           "[--tcp-bind ADDR] [--headless] [--registry-dir DIR] [--log-dir DIR] [--charset NAME] "
           "[--no-splash] [--help]";
}

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
            } else if (arg == "--connect") {
                options.connect = true;
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
                in_addr address{};
                if (inet_pton(AF_INET, value.c_str(), &address) != 1) {
                    error = "--tcp-bind needs an IPv4 address such as 127.0.0.1 (got '" + value + "')";
                    return CommandLineStatus::Error;
                }
                options.tcpBind = value;
                options.tcpBindAddress = ntohl(address.s_addr);
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
    return options.help ? CommandLineStatus::Help : CommandLineStatus::Ok;
}
