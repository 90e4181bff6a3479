#include "app/CommandLine.h"

#include <gtest/gtest.h>

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
