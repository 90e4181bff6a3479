#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <cctype>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

CommandLineStatus Parse(std::vector<std::string> args, CommandLineOptions& options)
{
    std::string error;
    const CommandLineStatus status = ParseCommandLine(args, options, error);
    if (status == CommandLineStatus::Error) {
        EXPECT_FALSE(error.empty());
    }
    return status;
}

TEST(CommandLine, EmptyGivesDefaults)
{
    CommandLineOptions o;
    EXPECT_EQ(Parse({}, o), CommandLineStatus::Ok);
    EXPECT_TRUE(o.file.empty());
    EXPECT_TRUE(o.devices.empty());
    EXPECT_FALSE(o.connect);
    EXPECT_FALSE(o.noSplash);
    EXPECT_TRUE(o.registryDir.empty());
    EXPECT_TRUE(o.logDir.empty());
}

TEST(CommandLine, AllOptionsTogether)
{
    CommandLineOptions o;
    EXPECT_EQ(Parse({"saved.rtf", "--device", "COM1=/dev/pts/3", "--device=com8=/dev/ttyUSB0",
                     "--connect", "--registry-dir", "/tmp/r", "--log-dir", "logs", "--no-splash"},
                    o),
              CommandLineStatus::Ok);
    EXPECT_EQ(o.file, "saved.rtf");
    ASSERT_EQ(o.devices.size(), 2u);
    EXPECT_EQ(o.devices[0].first, 1);
    EXPECT_EQ(o.devices[0].second, "/dev/pts/3");
    EXPECT_EQ(o.devices[1].first, 8);
    EXPECT_EQ(o.devices[1].second, "/dev/ttyUSB0");
    EXPECT_TRUE(o.connect);
    EXPECT_EQ(o.registryDir, "/tmp/r");
    EXPECT_EQ(o.logDir, "logs");
    EXPECT_TRUE(o.noSplash);
}

TEST(CommandLine, TcpServerAndBridgeOptions)
{
    struct Case {
        std::vector<std::string> args;
        bool server;
        int port;
        std::string bind;
        std::uint32_t address;
        bool headless;
    };
    const Case cases[] = {
        {{}, false, 2000, "", 0, false},
        {{"--tcp-server"}, true, 2000, "", 0, false},
        {{"--tcp-server=1"}, true, 1, "", 0, false},
        {{"--tcp-server=65535"}, true, 65535, "", 0, false},
        {{"--tcp-server=07000"}, true, 7000, "", 0, false},
        {{"--tcp-bind", "127.0.0.1"}, false, 2000, "127.0.0.1", 0x7F000001, false},
        {{"--tcp-bind=192.168.1.20", "--tcp-server=2001"}, true, 2001, "192.168.1.20", 0xC0A80114, false},
        {{"--headless", "--device", "COM1=/dev/ttyUSB0", "--connect", "--tcp-server=2000"},
         true, 2000, "", 0, true},
    };
    for (const Case& c : cases) {
        CommandLineOptions o;
        ASSERT_EQ(Parse(c.args, o), CommandLineStatus::Ok) << (c.args.empty() ? "" : c.args[0]);
        EXPECT_EQ(o.tcpServer, c.server);
        EXPECT_EQ(o.tcpPort, c.port);
        EXPECT_EQ(o.tcpBind, c.bind);
        EXPECT_EQ(o.tcpBindAddress, c.address);
        EXPECT_EQ(o.headless, c.headless);
    }
}

TEST(CommandLine, APortOutOfRangeSaysTheRange)
{
    CommandLineOptions o;
    std::string error;
    EXPECT_EQ(ParseCommandLine({"--tcp-server=70000"}, o, error), CommandLineStatus::Error);
    EXPECT_NE(error.find("1 to 65535"), std::string::npos) << error;
}

TEST(CommandLine, RegistryDirWithEquals)
{
    CommandLineOptions o;
    EXPECT_EQ(Parse({"--registry-dir=/x/y"}, o), CommandLineStatus::Ok);
    EXPECT_EQ(o.registryDir, "/x/y");
}

TEST(CommandLine, LogDirWithEquals)
{
    CommandLineOptions o;
    EXPECT_EQ(Parse({"--log-dir=/var/tmp/k"}, o), CommandLineStatus::Ok);
    EXPECT_EQ(o.logDir, "/var/tmp/k");
}

TEST(CommandLine, CharsetNamesWhatTheCLibraryConverts)
{
    const struct {
        std::vector<std::string> args;
        std::optional<std::string> charset;
    } cases[] = {
        {{}, std::nullopt},
        {{"--charset", "CP949"}, "CP949"},
        {{"--charset=EUC-KR"}, "EUC-KR"},
        {{"--charset", "utf-8"}, "utf-8"},
        {{"--charset="}, ""},  // back to the locale's
    };
    for (const auto& c : cases) {
        CommandLineOptions o;
        EXPECT_EQ(Parse(c.args, o), CommandLineStatus::Ok);
        EXPECT_EQ(o.charset, c.charset);
    }
    CommandLineOptions o;
    std::string error;
    EXPECT_EQ(ParseCommandLine({"--charset", "KLINGON-8"}, o, error), CommandLineStatus::Error);
    EXPECT_NE(error.find("'KLINGON-8'"), std::string::npos) << error;
}

TEST(CommandLine, HelpIsReported)
{
    CommandLineOptions o;
    EXPECT_EQ(Parse({"--help"}, o), CommandLineStatus::Help);
}

TEST(CommandLine, BadArgumentsAreErrors)
{
    for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
             {"--bogus"},
             {"--tcp-server=0"},
             {"--tcp-server=65536"},
             {"--tcp-server=70000"},
             {"--tcp-server=-1"},
             {"--tcp-server=20x"},
             {"--tcp-server="},
             {"--tcp-server", "3000"},  // the port needs "="
             {"--tcp-bind"},
             {"--tcp-bind", "localhost"},
             {"--tcp-bind", "256.0.0.1"},
             {"--tcp-bind=::1"},
             {"--device"},
             {"--device", "COM9=/dev/x"},
             {"--device", "COM0=/dev/x"},
             {"--device", "COM1="},
             {"--device", "LPT1=/dev/x"},
             {"--device", "COM1/dev/x"},
             {"--registry-dir"},
             {"--registry-dir="},
             {"--log-dir"},
             {"--log-dir="},
             {"--charset"},
             {"--charset", "NO-SUCH-SET"},
             {"a.rtf", "b.rtf"},
         }) {
        CommandLineOptions o;
        EXPECT_EQ(Parse(args, o), CommandLineStatus::Error) << args[0];
    }
}

TEST(CommandLine, DoubleDashEndsOptions)
{
    CommandLineOptions o;
    EXPECT_EQ(Parse({"--", "--odd-name"}, o), CommandLineStatus::Ok);
    EXPECT_EQ(o.file, "--odd-name");
}

TEST(CommandLine, UsageNamesEveryOption)
{
    const std::string usage = UsageLine();
    for (const char* option : {"--device", "--connect", "--registry-dir", "--log-dir", "--no-splash",
                               "--help", "--tcp-server", "--tcp-bind", "--headless"})
        EXPECT_NE(usage.find(option), std::string::npos) << option;
}

}  // namespace

namespace {

TEST(CommandLine, VersionIsReportedAndHelpWins)
{
    CommandLineOptions o;
    EXPECT_EQ(Parse({"--version"}, o), CommandLineStatus::Version);
    CommandLineOptions both;
    EXPECT_EQ(Parse({"--version", "--help"}, both), CommandLineStatus::Help);
    CommandLineOptions bad;
    EXPECT_EQ(Parse({"--version", "--bogus"}, bad), CommandLineStatus::Error);
    CommandLineOptions withValue;
    EXPECT_EQ(Parse({"--version=2"}, withValue), CommandLineStatus::Error);
}

std::set<std::string> LongOptions(const std::string& text)
{
    std::set<std::string> names;
    for (const std::string& name : support::OptionNames(text))
        if (name.rfind("--", 0) == 0)
            names.insert(name);
    return names;
}

// The usage line and the --help rows (and so the manual page) name the same
// options.
TEST(CommandLine, UsageLineAndHelpRowsAgree)
{
    std::set<std::string> documented;
    for (const support::HelpRow& row : OptionHelp())
        for (const std::string& name : LongOptions(std::string(row.synopsis)))
            EXPECT_TRUE(documented.insert(name).second) << name << " has two rows";
    EXPECT_EQ(LongOptions(UsageLine()), documented);
}

// Every documented option is one the parser takes, written as its row shows it.
TEST(CommandLine, EveryDocumentedOptionParses)
{
    // A value for each placeholder word the rows use.
    const std::map<std::string, std::string> samples = {
        {"FILE", "saved.rtf"}, {"COMn", "COM1"},      {"PATH", "/dev/null"}, {"DIR", "/tmp"},
        {"PORT", "2000"},      {"ADDR", "127.0.0.1"}, {"NAME", "UTF-8"},     {"SIZE", "64M"},
    };
    for (const support::HelpRow& row : OptionHelp()) {
        std::string synopsis(row.synopsis);
        if (const std::size_t comma = synopsis.rfind(", "); comma != std::string::npos)
            synopsis.erase(0, comma + 2);  // "-h, --help": the long form
        // "--opt[=VALUE]" is given as "--opt=VALUE"; each placeholder word
        // (an upper-case letter after a space, '=' or the start) takes its sample.
        std::string filled;
        for (std::size_t i = 0; i < synopsis.size();) {
            const char c = synopsis[i];
            const bool wordStart = i == 0 || synopsis[i - 1] == ' ' || synopsis[i - 1] == '=';
            if (c == '[' || c == ']') {
                ++i;
            } else if (wordStart && c >= 'A' && c <= 'Z') {
                std::size_t end = i;
                while (end < synopsis.size() && std::isalpha(static_cast<unsigned char>(synopsis[end])))
                    ++end;
                const std::string word = synopsis.substr(i, end - i);
                const auto sample = samples.find(word);
                ASSERT_NE(sample, samples.end()) << "no sample value for " << word << " in '"
                                                 << row.synopsis << "': add one to this test";
                filled += sample->second;
                i = end;
            } else {
                filled += c;
                ++i;
            }
        }
        std::vector<std::string> args;
        std::istringstream words(filled);
        for (std::string word; words >> word;)
            args.push_back(word);
        CommandLineOptions o;
        std::string error;
        EXPECT_NE(ParseCommandLine(args, o, error), CommandLineStatus::Error)
            << filled << ": " << error;
    }
}

std::string ReadSource(const char* relative)
{
    std::ifstream in(std::string(KESTRANA_SOURCE_DIR) + "/" + relative, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The README and the manual the program shows list the options too.
TEST(CommandLine, EveryOptionIsInTheReadmeAndTheManual)
{
    const std::string readme = ReadSource("README.md");
    const std::string manual = ReadSource("resources/manual/index.html");
    ASSERT_FALSE(readme.empty());
    ASSERT_FALSE(manual.empty());
    for (const support::HelpRow& row : OptionHelp()) {
        for (const std::string& name : LongOptions(std::string(row.synopsis))) {
            EXPECT_NE(readme.find(name), std::string::npos) << name << " is not in README.md";
            EXPECT_NE(manual.find(name), std::string::npos)
                << name << " is not in resources/manual/index.html";
        }
    }
}

}  // namespace
