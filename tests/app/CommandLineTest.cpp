// The command line: what each option sets, or what is refused and why; and
// every option named alike in the usage line, --help (and so the manual
// page), the README and the manual the program shows. And the receive-LF
// step on a block read from the line.

#include "app/CommandLine.h"
#include "app/ReceiveLineFeed.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace {

using Status = CommandLineStatus;
using O = const CommandLineOptions&;

TEST(CommandLine, EachOptionSetsItsFieldOrIsRefusedSayingWhy)
{
    const struct {
        std::vector<std::string> args;
        Status status;
        std::function<bool(O)> sets;  // for Ok
        const char* says = "";        // a piece of the error text
    } cases[] = {
        {{"--", "--odd-name"}, Status::Ok, [](O o) { return o.file == "--odd-name" && o.historyDisk == 0; }},
        {{"--device", "COM1=/dev/pts/3", "--device=com8=/dev/ttyUSB0"}, Status::Ok,
         [](O o) { return o.devices == std::vector<std::pair<int, std::string>>{{1, "/dev/pts/3"}, {8, "/dev/ttyUSB0"}}; }},
        {{"--connect", "--no-splash", "--headless", "--registry-dir=/tmp/r", "--log-dir", "logs"}, Status::Ok,
         [](O o) { return o.connect && o.noSplash && o.headless && o.registryDir == "/tmp/r" && o.logDir == "logs"; }},
        {{"--tcp-server"}, Status::Ok, [](O o) {
             return o.tcpServer && o.tcpPort == 2000 && o.tcpKeepAlive == 30 && !o.tcpIdleTimeout && !o.tcpTakeover;
         }},
        {{"--tcp-server=07000", "--tcp-bind=192.168.1.20"}, Status::Ok,
         [](O o) { return o.tcpPort == 7000 && o.tcpBind == "192.168.1.20"; }},
        {{"--tcp-bind", "fe80::1", "--tcp-keepalive=0", "--tcp-idle-timeout", "90", "--tcp-takeover"}, Status::Ok,
         [](O o) { return o.tcpBind == "fe80::1" && o.tcpKeepAlive == 0 && o.tcpIdleTimeout == 90 && o.tcpTakeover; }},
        {{"--charset", "EUC-KR"}, Status::Ok, [](O o) { return o.charset == "EUC-KR"; }},
        {{"--charset="}, Status::Ok, [](O o) { return o.charset == ""; }},  // back to the locale's
        {{"--history-memory", "8192K"}, Status::Ok, [](O o) { return o.historyMemory == 8ull << 20; }},
        {{"--history-memory", "1G"}, Status::Ok, [](O o) { return o.historyMemory == 1ull << 30; }},
        {{"--history-disk=512M"}, Status::Ok, [](O o) { return o.historyDisk == 512ull << 20; }},
        {{"--lang", "en"}, Status::Ok, [](O o) { return o.language == UiLanguage::English; }},
        {{"--lang=ko"}, Status::Ok, [](O o) { return o.language == UiLanguage::Korean; }},
        {{"--connect"}, Status::Ok, [](O o) { return !o.language && o.screenshotDir.empty(); }},
        {{"--screenshot", "shots"}, Status::Ok, [](O o) { return o.screenshotDir == "shots"; }},
        {{"--version", "--help"}, Status::Help, nullptr},
        {{"--version", "--bogus"}, Status::Error, nullptr, "--bogus"},
        {{"--tcp-server=65536"}, Status::Error, nullptr, "1 to 65535"},
        {{"--tcp-server=20x"}, Status::Error, nullptr, "1 to 65535"},
        {{"--tcp-server", "3000"}, Status::Error, nullptr, "3000"},  // the port needs "="
        {{"--tcp-bind", "256.0.0.1"}, Status::Error, nullptr, "256.0.0.1"},
        {{"--tcp-bind", "[::1]"}, Status::Error, nullptr, "IPv4 or IPv6 address such as 127.0.0.1 or ::1 (got '[::1]')"},
        {{"--tcp-keepalive", "32768"}, Status::Error, nullptr, "--tcp-keepalive needs a number of seconds from 0 to 32767"},
        {{"--tcp-keepalive=-1"}, Status::Error, nullptr, "(0: off; got '-1')"},
        {{"--tcp-idle-timeout", "1.5"}, Status::Error, nullptr, "--tcp-idle-timeout needs a number of seconds from 0 to 86400"},
        {{"--tcp-idle-timeout"}, Status::Error, nullptr, "--tcp-idle-timeout needs a value"},
        {{"--device", "COM9=/dev/x"}, Status::Error, nullptr, "COM9"},
        {{"--device", "COM1="}, Status::Error, nullptr, "COM1="},
        {{"--registry-dir="}, Status::Error, nullptr, "--registry-dir"},
        {{"--charset", "KLINGON-8"}, Status::Error, nullptr, "'KLINGON-8'"},
        {{"--history-memory", "3M"}, Status::Error, nullptr, "--history-memory"},  // below the least
        {{"--history-memory", "99999999999G"}, Status::Error, nullptr, "--history-memory"},
        {{"--history-disk", "3M"}, Status::Error, nullptr, "--history-disk needs a size of at least 4M"},
        {{"--lang", "english"}, Status::Error, nullptr, "--lang needs ko or en (got 'english')"},
        {{"--lang"}, Status::Error, nullptr, "--lang needs a value"},
        {{"a.rtf", "b.rtf"}, Status::Error, nullptr, "b.rtf"},
    };
    for (const auto& c : cases) {
        CommandLineOptions o;
        std::string error;
        const std::string row = ::testing::PrintToString(c.args) + ": ";
        EXPECT_EQ(ParseCommandLine(c.args, o, error), c.status) << row << error;
        EXPECT_EQ(error.empty(), c.status != Status::Error) << row << error;
        EXPECT_NE(error.find(c.says), std::string::npos) << row << error;
        EXPECT_TRUE(!c.sets || c.sets(o)) << row;
    }
}

std::set<std::string> LongOptions(const std::string& text)
{
    static const std::regex option("--[a-z][a-z-]*");
    std::set<std::string> names;
    for (std::sregex_iterator it(text.begin(), text.end(), option), end; it != end; ++it)
        names.insert(it->str());
    return names;
}

TEST(CommandLine, EveryOptionIsDocumentedEverywhereAndParsesAsItsRowShowsIt)
{
    auto read = [](const char* path) {
        std::ifstream in(std::string(KESTRANA_SOURCE_DIR) + "/" + path);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string readme = read("README.md");
    const std::string manual = read("resources/manual/index.html");
    ASSERT_FALSE(readme.empty() || manual.empty());
    std::set<std::string> documented;
    for (const support::HelpRow& row : OptionHelp()) {
        for (const std::string& name : LongOptions(std::string(row.synopsis))) {
            EXPECT_TRUE(documented.insert(name).second) << name << " has two rows";
            EXPECT_NE(readme.find(name), std::string::npos) << name << " is not in README.md";
            EXPECT_NE(manual.find(name), std::string::npos) << name << " is not in the manual";
        }
        // The row's first form with sample values, e.g. "--log-dir DIR" -> "--log-dir /tmp".
        std::string example = std::string(row.synopsis).substr(0, std::string(row.synopsis).find(','));
        for (const auto& [word, value] : {std::pair{"COMn=PATH", "COM1=/dev/null"}, {"[=PORT]", "=2000"},
                                          {"FILE", "saved.rtf"}, {"DIR", "/tmp"}, {"ADDR", "127.0.0.1"},
                                          {"NAME", "UTF-8"}, {"SIZE", "64M"}, {"SECONDS", "30"}, {"MODE", "rfc2217"}, {"LANG", "en"},
                                          {"...", ""}})
            if (const auto at = example.find(word); at != std::string::npos)
                example.replace(at, std::string(word).size(), value);
        std::vector<std::string> args;
        std::istringstream words(example);
        for (std::string word; words >> word;)
            args.push_back(word);
        CommandLineOptions options;
        std::string error;
        EXPECT_NE(ParseCommandLine(args, options, error), Status::Error) << example << ": " << error;
    }
    EXPECT_EQ(LongOptions(UsageLine()), documented);
}

TEST(ReceiveLineFeed, OnlyTheFirstCarriageReturnAndOnlyWithRoom)
{
    using namespace std::string_literals;
    const struct {
        std::string block;
        std::size_t capacity;
        std::string result;  // the block unchanged when no line feed went in
    } cases[] = {
        {"A\rB\r", 1024, "A\r\nB\r"},
        {"ABC", 1024, "ABC"},
        {"A\0B\rC\0D"s, 1024, "A\0B\r\nC\0D"s},  // a zero byte ends nothing
        {"AB\r", 4, "AB\r\n"},                   // just fits
        {"A\rBC", 4, "A\rBC"},                   // a full buffer stays as it is
    };
    for (const auto& c : cases) {
        std::string buffer = c.block;
        buffer.resize(c.capacity + 1, '\0');  // one guard byte past the capacity
        std::uint32_t length = static_cast<std::uint32_t>(c.block.size());
        EXPECT_EQ(InsertLineFeedAfterFirstCR(reinterpret_cast<std::uint8_t*>(buffer.data()), length, c.capacity),
                  c.result != c.block) << c.block;
        EXPECT_EQ(buffer.substr(0, length), c.result) << c.block;
        EXPECT_EQ(buffer[c.capacity], '\0') << "nothing past the buffer: " << c.block;
    }
}

}  // namespace
