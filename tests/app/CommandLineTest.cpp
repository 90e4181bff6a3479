// The command line: what each option sets, what is refused and why, and the
// usage line, the --help rows, the README and the manual naming the same
// options.

#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string Joined(const std::vector<std::string>& args)
{
    std::string text;
    for (const std::string& arg : args)
        text += (text.empty() ? "" : " ") + arg;
    return text;
}

TEST(CommandLine, WhatTheOptionsSet)
{
    CommandLineOptions o;
    std::string error;
    ASSERT_EQ(ParseCommandLine({"saved.rtf", "--device", "COM1=/dev/pts/3", "--device=com8=/dev/ttyUSB0",
                                "--connect", "--registry-dir=/tmp/r", "--log-dir", "logs", "--no-splash",
                                "--tcp-bind=192.168.1.20", "--tcp-server=07000", "--headless", "--charset=EUC-KR"},
                               o, error),
              CommandLineStatus::Ok)
        << error;
    EXPECT_EQ(o.file, "saved.rtf");
    EXPECT_EQ(o.devices, (std::vector<std::pair<int, std::string>>{{1, "/dev/pts/3"}, {8, "/dev/ttyUSB0"}}));
    EXPECT_TRUE(o.connect && o.noSplash && o.tcpServer && o.headless);
    EXPECT_EQ(o.registryDir, "/tmp/r");
    EXPECT_EQ(o.logDir, "logs");
    EXPECT_EQ(o.tcpPort, 7000);
    EXPECT_EQ(o.tcpBind, "192.168.1.20");
    EXPECT_EQ(o.tcpBindAddress, 0xC0A80114u);
    EXPECT_EQ(o.charset, "EUC-KR");

    const struct {
        std::vector<std::string> args;
        int port;
        std::optional<std::string> charset;
        std::string file;
    } cases[] = {
        {{"--tcp-server"}, 2000, std::nullopt, ""},
        {{"--tcp-server=1"}, 1, std::nullopt, ""},
        {{"--tcp-server=65535"}, 65535, std::nullopt, ""},
        {{"--charset", "utf-8"}, 2000, "utf-8", ""},
        {{"--charset="}, 2000, "", ""},  // back to the locale's
        {{"--", "--odd-name"}, 2000, std::nullopt, "--odd-name"},
    };
    for (const auto& c : cases) {
        CommandLineOptions options;
        ASSERT_EQ(ParseCommandLine(c.args, options, error), CommandLineStatus::Ok) << Joined(c.args) << ": " << error;
        EXPECT_EQ(options.tcpPort, c.port) << Joined(c.args);
        EXPECT_EQ(options.charset, c.charset) << Joined(c.args);
        EXPECT_EQ(options.file, c.file) << Joined(c.args);
    }
}

TEST(CommandLine, BadArgumentsAreErrorsThatSayWhatIsWrong)
{
    const struct {
        std::vector<std::string> args;
        CommandLineStatus status;
        const char* says;  // a piece of the error text
    } cases[] = {
        {{"--help"}, CommandLineStatus::Help, ""},
        {{"--version"}, CommandLineStatus::Version, ""},
        {{"--version", "--help"}, CommandLineStatus::Help, ""},
        {{"--version", "--bogus"}, CommandLineStatus::Error, "--bogus"},
        {{"--version=2"}, CommandLineStatus::Error, "--version"},
        {{"--tcp-server=0"}, CommandLineStatus::Error, "1 to 65535"},
        {{"--tcp-server=65536"}, CommandLineStatus::Error, "1 to 65535"},
        {{"--tcp-server=70000"}, CommandLineStatus::Error, "1 to 65535"},
        {{"--tcp-server=-1"}, CommandLineStatus::Error, "1 to 65535"},
        {{"--tcp-server=20x"}, CommandLineStatus::Error, "1 to 65535"},
        {{"--tcp-server="}, CommandLineStatus::Error, "1 to 65535"},
        {{"--tcp-server", "3000"}, CommandLineStatus::Error, "3000"},  // the port needs "="
        {{"--tcp-bind"}, CommandLineStatus::Error, "--tcp-bind"},
        {{"--tcp-bind", "localhost"}, CommandLineStatus::Error, "localhost"},
        {{"--tcp-bind", "256.0.0.1"}, CommandLineStatus::Error, "256.0.0.1"},
        {{"--tcp-bind=::1"}, CommandLineStatus::Error, "::1"},
        {{"--device"}, CommandLineStatus::Error, "--device"},
        {{"--device", "COM9=/dev/x"}, CommandLineStatus::Error, "COM9"},
        {{"--device", "COM0=/dev/x"}, CommandLineStatus::Error, "COM0"},
        {{"--device", "COM1="}, CommandLineStatus::Error, "COM1="},
        {{"--device", "LPT1=/dev/x"}, CommandLineStatus::Error, "LPT1"},
        {{"--device", "COM1/dev/x"}, CommandLineStatus::Error, "COM1/dev/x"},
        {{"--registry-dir="}, CommandLineStatus::Error, "--registry-dir"},
        {{"--log-dir"}, CommandLineStatus::Error, "--log-dir"},
        {{"--charset"}, CommandLineStatus::Error, "--charset"},
        {{"--charset", "KLINGON-8"}, CommandLineStatus::Error, "'KLINGON-8'"},
        {{"a.rtf", "b.rtf"}, CommandLineStatus::Error, "b.rtf"},
    };
    for (const auto& c : cases) {
        CommandLineOptions o;
        std::string error;
        EXPECT_EQ(ParseCommandLine(c.args, o, error), c.status) << Joined(c.args);
        EXPECT_NE(error.find(c.says), std::string::npos) << Joined(c.args) << ": " << error;
        EXPECT_EQ(error.empty(), c.status != CommandLineStatus::Error) << Joined(c.args) << ": " << error;
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

// The usage line, the --help rows (and so the manual page), the README and
// the manual the program shows name the same options, and the parser takes
// each of them written as its row shows it.
TEST(CommandLine, EveryDocumentedOptionIsEverywhereAndParses)
{
    const std::string readme = ReadSource("README.md");
    const std::string manual = ReadSource("resources/manual/index.html");
    ASSERT_FALSE(readme.empty() || manual.empty());
    // A value for each placeholder word the rows use.
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
        // "--opt[=VALUE]" is given as "--opt=VALUE", "-h, --help" as "--help"; each
        // placeholder (an upper-case word after a space, '=' or the start) takes its sample.
        std::string synopsis(row.synopsis);
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
                const auto sample = samples.find(synopsis.substr(i, end - i));
                ASSERT_NE(sample, samples.end()) << "no sample value in '" << row.synopsis << "': add one here";
                filled += sample->second;
                i = end;
            } else {
                filled += synopsis[i++];
            }
        }
        std::vector<std::string> args;
        std::istringstream words(filled);
        for (std::string word; words >> word;)
            args.push_back(word);
        CommandLineOptions o;
        std::string error;
        EXPECT_NE(ParseCommandLine(args, o, error), CommandLineStatus::Error) << filled << ": " << error;
    }
    EXPECT_EQ(LongOptions(UsageLine()), documented);
}

}  // namespace
