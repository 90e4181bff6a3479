// The simulator's command line: counts, hex, what each option sets, what is
// refused, and the usage line and --help rows naming the same options.

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
    const auto status = devsim::ParseOptions(static_cast<int>(argv.size()), argv.data(), options, error);
    EXPECT_EQ(error.empty(), status != devsim::ParseStatus::Error) << args.front() << ": " << error;
    return status;
}

TEST(DevsimOptions, CountsAndHex)
{
    const std::pair<const char*, std::optional<std::uint64_t>> counts[] = {
        {"1500", 1500}, {"64k", 64000}, {"2M", 2000000}, {"", std::nullopt}, {"-1", std::nullopt},
        {"12x", std::nullopt}, {"99999999999999999999", std::nullopt},
        {"18446744073709551M", std::nullopt},  // overflows only once multiplied
    };
    for (const auto& [text, value] : counts)
        EXPECT_EQ(devsim::ParseCount(text), value) << text;
    EXPECT_EQ(devsim::ParseHex("01 0a FF"), (std::vector<std::uint8_t>{0x01, 0x0A, 0xFF}));
    EXPECT_EQ(devsim::ParseHex(""), std::vector<std::uint8_t>{});
    EXPECT_FALSE(devsim::ParseHex("012"));
    EXPECT_FALSE(devsim::ParseHex("0G"));
}

TEST(DevsimOptions, WhatTheOptionsSetAndWhatIsRefused)
{
    devsim::Options o;
    ASSERT_EQ(Parse({"--echo", "--lines=5.5", "--reply", "0102=AABB", "--reply=03=", "--check", "--time", "2.5"}, o),
              devsim::ParseStatus::Ok);
    EXPECT_TRUE(o.echo && o.lines && o.check);
    EXPECT_DOUBLE_EQ(o.lineRate, 5.5);
    ASSERT_EQ(o.replies.size(), 2u);
    EXPECT_EQ(o.replies[0].request, (std::vector<std::uint8_t>{1, 2}));
    EXPECT_EQ(o.replies[0].response, (std::vector<std::uint8_t>{0xAA, 0xBB}));
    EXPECT_TRUE(o.replies[1].response.empty());
    EXPECT_DOUBLE_EQ(*o.timeLimit, 2.5);
    devsim::Options flood;
    ASSERT_EQ(Parse({"--flood", "100k", "--bytes=1M"}, flood), devsim::ParseStatus::Ok);
    EXPECT_EQ(flood.floodRate, 100000u);
    EXPECT_EQ(*flood.floodBytes, 1000000u);

    const std::pair<std::vector<const char*>, devsim::ParseStatus> cases[] = {
        {{"--help"}, devsim::ParseStatus::Help},
        {{"--version"}, devsim::ParseStatus::Version},
        {{"--version", "--help"}, devsim::ParseStatus::Help},
        {{"--bogus"}, devsim::ParseStatus::Error},
        {{"extra"}, devsim::ParseStatus::Error},
        {{"--flood", "fast"}, devsim::ParseStatus::Error},
        {{"--reply", "0102"}, devsim::ParseStatus::Error},
        {{"--reply", "012=AA"}, devsim::ParseStatus::Error},
        {{"--lines=0"}, devsim::ParseStatus::Error},
        {{"--time", "0"}, devsim::ParseStatus::Error},
        {{"--bytes", "5"}, devsim::ParseStatus::Error},  // only with --flood
        {{"--lines", "--flood", "1k"}, devsim::ParseStatus::Error},
        {{"--echo=1"}, devsim::ParseStatus::Error},
    };
    for (const auto& [args, status] : cases) {
        devsim::Options options;
        EXPECT_EQ(Parse(args, options), status) << args.front();
    }
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
    std::set<std::string> documented;
    for (const support::HelpRow& row : devsim::OptionHelp())
        for (const std::string& name : longOptions(row.synopsis))
            documented.insert(name);
    EXPECT_EQ(longOptions(help.substr(0, help.find("\n\n"))), documented);
    for (const std::string& name : documented) {
        devsim::Options o;
        std::string error;
        const char* argv[] = {"kestrana-devsim", name.c_str(), nullptr};
        devsim::ParseOptions(2, argv, o, error);
        EXPECT_EQ(error.find("unknown argument"), std::string::npos) << name << ": " << error;
    }
}

}  // namespace
