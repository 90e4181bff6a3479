// The command line: one row per option (what it sets, or what is refused and
// why), and the usage line, the --help rows, the README and the manual naming
// the same options.

#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Status = CommandLineStatus;

std::string Joined(const std::vector<std::string>& args)
{
    std::string text;
    for (const std::string& arg : args)
        text += (text.empty() ? "" : " ") + arg;
    return text;
}

TEST(CommandLine, EachOptionSetsItsFieldOrIsRefusedSayingWhy)
{
    using O = const CommandLineOptions&;
    const struct {
        std::vector<std::string> args;
        Status status;
        std::function<bool(O)> sets;  // for Ok
        const char* says = "";        // a piece of the error text
    } cases[] = {
        {{"saved.rtf"}, Status::Ok, [](O o) { return o.file == "saved.rtf"; }},
        {{"--", "--odd-name"}, Status::Ok, [](O o) { return o.file == "--odd-name"; }},
        {{"--device", "COM1=/dev/pts/3", "--device=com8=/dev/ttyUSB0"}, Status::Ok,
         [](O o) { return o.devices == std::vector<std::pair<int, std::string>>{{1, "/dev/pts/3"}, {8, "/dev/ttyUSB0"}}; }},
        {{"--connect", "--no-splash", "--headless"}, Status::Ok, [](O o) { return o.connect && o.noSplash && o.headless; }},
        {{"--registry-dir=/tmp/r", "--log-dir", "logs"}, Status::Ok,
         [](O o) { return o.registryDir == "/tmp/r" && o.logDir == "logs"; }},
        {{"--tcp-server"}, Status::Ok, [](O o) { return o.tcpServer && o.tcpPort == 2000; }},
        {{"--tcp-server=07000"}, Status::Ok, [](O o) { return o.tcpPort == 7000; }},
        {{"--tcp-server=65535"}, Status::Ok, [](O o) { return o.tcpPort == 65535; }},
        {{"--tcp-bind=192.168.1.20"}, Status::Ok,
         [](O o) { return o.tcpBind == "192.168.1.20" && o.tcpBindAddress == 0xC0A80114u; }},
        {{"--charset", "EUC-KR"}, Status::Ok, [](O o) { return o.charset == "EUC-KR"; }},
        {{"--charset="}, Status::Ok, [](O o) { return o.charset == ""; }},  // back to the locale's
        {{"--history-memory", "8192K"}, Status::Ok, [](O o) { return o.historyMemory == 8ull << 20; }},
        {{"--history-memory", "1G"}, Status::Ok, [](O o) { return o.historyMemory == 1ull << 30; }},
        {{"--history-memory", "4194304"}, Status::Ok, [](O o) { return o.historyMemory == 4ull << 20; }},
        {{"--help"}, Status::Help, nullptr},
        {{"--version"}, Status::Version, nullptr},
        {{"--version", "--help"}, Status::Help, nullptr},
        {{"--version", "--bogus"}, Status::Error, nullptr, "--bogus"},
        {{"--version=2"}, Status::Error, nullptr, "--version"},
        {{"--tcp-server=0"}, Status::Error, nullptr, "1 to 65535"},
        {{"--tcp-server=65536"}, Status::Error, nullptr, "1 to 65535"},
        {{"--tcp-server=20x"}, Status::Error, nullptr, "1 to 65535"},
        {{"--tcp-server", "3000"}, Status::Error, nullptr, "3000"},  // the port needs "="
        {{"--tcp-bind"}, Status::Error, nullptr, "--tcp-bind"},
        {{"--tcp-bind", "256.0.0.1"}, Status::Error, nullptr, "256.0.0.1"},
        {{"--tcp-bind=::1"}, Status::Error, nullptr, "::1"},
        {{"--device", "COM9=/dev/x"}, Status::Error, nullptr, "COM9"},
        {{"--device", "COM1="}, Status::Error, nullptr, "COM1="},
        {{"--device", "COM1/dev/x"}, Status::Error, nullptr, "COM1/dev/x"},
        {{"--registry-dir="}, Status::Error, nullptr, "--registry-dir"},
        {{"--log-dir"}, Status::Error, nullptr, "--log-dir"},
        {{"--charset", "KLINGON-8"}, Status::Error, nullptr, "'KLINGON-8'"},
        {{"--history-memory", "3M"}, Status::Error, nullptr, "--history-memory"},  // below the least
        {{"--history-memory", "64MB"}, Status::Error, nullptr, "--history-memory"},
        {{"--history-memory", "99999999999G"}, Status::Error, nullptr, "--history-memory"},
        {{"a.rtf", "b.rtf"}, Status::Error, nullptr, "b.rtf"},
    };
    for (const auto& c : cases) {
        CommandLineOptions o;
        std::string error;
        EXPECT_EQ(ParseCommandLine(c.args, o, error), c.status) << Joined(c.args) << ": " << error;
        EXPECT_EQ(error.empty(), c.status != Status::Error) << Joined(c.args) << ": " << error;
        EXPECT_NE(error.find(c.says), std::string::npos) << Joined(c.args) << ": " << error;
        if (c.sets) {
            EXPECT_TRUE(c.sets(o)) << Joined(c.args);
        }
    }
}

std::set<std::string> LongOptions(const std::string& text)
{
    std::set<std::string> names;
    for (const std::string& name : support::OptionNames(text))
        if (name.rfind("--", 0) == 0)
            names.insert(name);
    return names;
}

std::string ReadSource(const char* relative)
{
    std::ifstream in(std::string(KESTRANA_SOURCE_DIR) + "/" + relative, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// "--opt[=VALUE]" as "--opt=VALUE", "-h, --help" as "--help", each
// placeholder (an upper-case word after a space, '=' or the start) by its sample.
std::vector<std::string> Example(std::string synopsis, const std::map<std::string, std::string>& samples)
{
    if (const std::size_t comma = synopsis.rfind(", "); comma != std::string::npos)
        synopsis.erase(0, comma + 2);
    std::string filled;
    for (std::size_t i = 0; i < synopsis.size();) {
        const bool wordStart = i == 0 || synopsis[i - 1] == ' ' || synopsis[i - 1] == '=';
        if (synopsis[i] == '[' || synopsis[i] == ']') {
            ++i;
        } else if (wordStart && std::isupper(static_cast<unsigned char>(synopsis[i]))) {
            std::size_t end = i;
            while (end < synopsis.size() && std::isalpha(static_cast<unsigned char>(synopsis[end])))
                ++end;
            const std::string word = synopsis.substr(i, end - i);
            const auto sample = samples.find(word);
            filled += sample != samples.end() ? sample->second : "(no sample for " + word + ": add one)";
            i = end;
        } else {
            filled += synopsis[i++];
        }
    }
    std::vector<std::string> args;
    std::istringstream words(filled);
    for (std::string word; words >> word;)
        args.push_back(word);
    return args;
}

// The usage line, the --help rows (and so the manual page), the README and
// the manual the program shows name the same options, and the parser takes
// each of them written as its row shows it.
TEST(CommandLine, EveryDocumentedOptionIsEverywhereAndParses)
{
    const std::string readme = ReadSource("README.md");
    const std::string manual = ReadSource("resources/manual/index.html");
    ASSERT_FALSE(readme.empty() || manual.empty());
    const std::map<std::string, std::string> samples = {
        {"FILE", "saved.rtf"}, {"COMn", "COM1"},      {"PATH", "/dev/null"}, {"DIR", "/tmp"},
        {"PORT", "2000"},      {"ADDR", "127.0.0.1"}, {"NAME", "UTF-8"},     {"SIZE", "64M"},
    };
    std::set<std::string> documented;
    for (const support::HelpRow& row : OptionHelp()) {
        for (const std::string& name : LongOptions(std::string(row.synopsis))) {
            EXPECT_TRUE(documented.insert(name).second) << name << " has two rows";
            EXPECT_NE(readme.find(name), std::string::npos) << name << " is not in README.md";
            EXPECT_NE(manual.find(name), std::string::npos) << name << " is not in resources/manual/index.html";
        }
        const std::vector<std::string> args = Example(std::string(row.synopsis), samples);
        CommandLineOptions o;
        std::string error;
        EXPECT_NE(ParseCommandLine(args, o, error), Status::Error) << Joined(args) << ": " << error;
    }
    EXPECT_EQ(LongOptions(UsageLine()), documented);
}

}  // namespace
