#pragma once
// The program's command line:
//   kestrana [FILE] [--device COMn=PATH]... [--connect] [--no-reconnect] [--tcp-server[=PORT]]
//            [--tcp-bind ADDR] [--tcp-keepalive SECONDS] [--tcp-idle-timeout SECONDS]
//            [--tcp-takeover] [--tcp-mode MODE] [--headless] [--registry-dir DIR] [--log-dir DIR]
//            [--traffic-log] [--charset NAME] [--history-memory SIZE] [--history-disk SIZE] [--lang LANG]
//            [--no-splash]
//            [--help] [--version]
// Plain C++: it is read before any window system or settings store is touched.
// The --help text is also the source of the manual page's synopsis and
// options (packaging/make-manpage.cmake), so a new option needs its row there.

#include "app/TcpMode.h"
#include "app/UiLanguage.h"
#include "support/HelpFormat.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct CommandLineOptions {
    std::string file;                                   // empty: a new document
    std::vector<std::pair<int, std::string>> devices;   // slot 1..8 and its path, this run only
    bool connect = false;
    bool noReconnect = false;                           // this run only; the stored choice stays
    std::string registryDir;                            // empty: the default folder
    std::string logDir;                                 // empty: the working folder
    bool trafficLog = false;                            // this run only; the stored choice stays
    std::optional<std::string> charset;                 // given: kept for later runs; "": the locale's
    bool noSplash = false;
    bool help = false;
    bool tcpServer = false;                             // open the TCP server at start
    int tcpPort = 2000;                                 // 1..65535
    std::string tcpBind;                                // IPv4 or IPv6; empty: every address
    int tcpKeepAlive = 30;                              // seconds before the first probe; 0: off
    std::optional<int> tcpIdleTimeout;                  // given: this run only; 0: off
    bool tcpTakeover = false;                           // this run only; the stored choice stays
    std::optional<TcpMode> tcpMode;                     // given: this run only
    bool headless = false;                              // no window, no display needed
    bool version = false;
    std::uint64_t historyMemory = 64ull << 20;          // terminal text held in memory, bytes
    std::uint64_t historyDisk = 0;                      // history file's most, bytes; 0: from the free space
    std::optional<UiLanguage> language;                 // given: this run only; else the desktop's
    std::string screenshotDir;                          // not in --help: pictures for the README, then exit
};

// "64M", "1G", "512K" or a number of bytes: the size, or nothing when the
// text is no size.
std::optional<std::uint64_t> ParseMemorySize(std::string_view text);

enum class CommandLineStatus { Ok, Help, Version, Error };

// `args` without the program name. On Error, `error` says which argument was wrong.
CommandLineStatus ParseCommandLine(const std::vector<std::string>& args,
                                   CommandLineOptions& options, std::string& error);

const char* UsageLine();
// The --help text: the usage line, what the program is, which interface
// language this run has and why, one row per option.
std::string HelpText(UiLanguage language, bool fromCommandLine);
const std::vector<support::HelpRow>& OptionHelp();
// The --version line: "kestrana 0.1".
std::string VersionText();
