#include "tools/devsim/Options.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace {

devsim::ParseStatus Parse(const std::vector<const char*>& args, devsim::Options& options)
{
    std::vector<const char*> argv{"kestrana-devsim"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string error;
    const auto status =
        devsim::ParseOptions(static_cast<int>(argv.size()), argv.data(), options, error);
    if (status == devsim::ParseStatus::Error) {
        EXPECT_FALSE(error.empty());
    }
    return status;
}

}  // namespace

TEST(DevsimOptions, Counts)
{
    EXPECT_EQ(devsim::ParseCount("0"), 0u);
    EXPECT_EQ(devsim::ParseCount("1500"), 1500u);
    EXPECT_EQ(devsim::ParseCount("64k"), 64000u);
    EXPECT_EQ(devsim::ParseCount("2M"), 2000000u);
    EXPECT_FALSE(devsim::ParseCount(""));
    EXPECT_FALSE(devsim::ParseCount("-1"));
    EXPECT_FALSE(devsim::ParseCount("12x"));
    EXPECT_FALSE(devsim::ParseCount("k"));
    EXPECT_FALSE(devsim::ParseCount("99999999999999999999"));
    EXPECT_FALSE(devsim::ParseCount("18446744073709551M"));
}

TEST(DevsimOptions, Hex)
{
    EXPECT_EQ(devsim::ParseHex("01 0a FF"), (std::vector<std::uint8_t>{0x01, 0x0A, 0xFF}));
    EXPECT_EQ(devsim::ParseHex(""), std::vector<std::uint8_t>{});
    EXPECT_FALSE(devsim::ParseHex("012"));
    EXPECT_FALSE(devsim::ParseHex("0G"));
}

TEST(DevsimOptions, FullCommandLine)
{
    devsim::Options o;
    ASSERT_EQ(Parse({"--echo", "--lines=5.5", "--reply", "0102=AABB", "--reply=03=", "--check",
                     "--time", "2.5"},
                    o),
              devsim::ParseStatus::Ok);
    EXPECT_TRUE(o.echo);
    EXPECT_TRUE(o.lines);
    EXPECT_DOUBLE_EQ(o.lineRate, 5.5);
    ASSERT_EQ(o.replies.size(), 2u);
    EXPECT_EQ(o.replies[0].request, (std::vector<std::uint8_t>{1, 2}));
    EXPECT_EQ(o.replies[0].response, (std::vector<std::uint8_t>{0xAA, 0xBB}));
    EXPECT_TRUE(o.replies[1].response.empty());
    EXPECT_TRUE(o.check);
    EXPECT_DOUBLE_EQ(*o.timeLimit, 2.5);

    ASSERT_EQ(Parse({"--flood", "100k", "--bytes=1M"}, o), devsim::ParseStatus::Ok);
    EXPECT_EQ(o.floodRate, 100000u);
    EXPECT_EQ(*o.floodBytes, 1000000u);
    ASSERT_EQ(Parse({"--lines"}, o), devsim::ParseStatus::Ok);
    EXPECT_DOUBLE_EQ(o.lineRate, 2.0);
    EXPECT_EQ(Parse({"--help"}, o), devsim::ParseStatus::Help);
}

TEST(DevsimOptions, BadArguments)
{
    devsim::Options o;
    for (const auto& args : std::vector<std::vector<const char*>>{
             {"--bogus"},
             {"extra"},
             {"--flood"},
             {"--flood", "fast"},
             {"--reply", "0102"},
             {"--reply", "=AA"},
             {"--reply", "012=AA"},
             {"--lines=0"},
             {"--lines=abc"},
             {"--time", "-1"},
             {"--time", "0"},
             {"--time"},
             {"--bytes", "5"},
             {"--lines", "--flood", "1k"},
             {"--echo=1"},
         })
        EXPECT_EQ(Parse(args, o), devsim::ParseStatus::Error) << args.front();
}

TEST(DevsimOptions, VersionIsReportedAndTakesNoValue)
{
    devsim::Options o;
    EXPECT_EQ(Parse({"--version"}, o), devsim::ParseStatus::Version);
    EXPECT_EQ(Parse({"--version", "--help"}, o), devsim::ParseStatus::Help);
    EXPECT_EQ(Parse({"--version=1"}, o), devsim::ParseStatus::Error);
}

// The usage line and the rows of --help (and so the manual page) name the
// same options, and the parser knows each of them.
TEST(DevsimOptions, UsageAndHelpRowsAgree)
{
    auto longOptions = [](std::string_view text) {
        std::set<std::string> names;
        for (const std::string& name : support::OptionNames(text))
            if (name.rfind("--", 0) == 0)
                names.insert(name);
        return names;
    };
    const std::string help = devsim::UsageText();
    const std::string usage = help.substr(0, help.find("\n\n"));
    std::set<std::string> documented;
    for (const support::HelpRow& row : devsim::OptionHelp())
        for (const std::string& name : longOptions(row.synopsis))
            documented.insert(name);
    EXPECT_EQ(longOptions(usage), documented);
    for (const std::string& name : documented) {
        devsim::Options o;
        std::string error;
        const char* argv[] = {"kestrana-devsim", name.c_str(), nullptr};
        devsim::ParseOptions(2, argv, o, error);
        EXPECT_EQ(error.find("unknown argument"), std::string::npos) << name << ": " << error;
    }
}
