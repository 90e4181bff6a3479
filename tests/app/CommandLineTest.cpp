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
             {"--tcp-server"},
             {"--tcp-server=2000"},
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
    for (const char* option :
         {"--device", "--connect", "--registry-dir", "--log-dir", "--no-splash", "--help"})
        EXPECT_NE(usage.find(option), std::string::npos) << option;
}

}  // namespace
