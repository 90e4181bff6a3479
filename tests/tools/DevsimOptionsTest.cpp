// The simulator's command line: counts, hex and what is refused (what each
// option does is tried on the running simulator in DevsimTest.cpp).

#include "tools/devsim/Options.h"

#include <gtest/gtest.h>

namespace {

TEST(DevsimOptions, CountsHexAndRefusals)
{
    const std::pair<const char*, std::optional<std::uint64_t>> counts[] = {
        {"1500", 1500}, {"64k", 64000}, {"2M", 2000000}, {"", std::nullopt}, {"-1", std::nullopt},
        {"12x", std::nullopt}, {"99999999999999999999", std::nullopt},
        {"18446744073709551M", std::nullopt},  // overflows only once multiplied
    };
    for (const auto& [text, value] : counts)
        EXPECT_EQ(devsim::ParseCount(text), value) << text;
    EXPECT_EQ(devsim::ParseHex("01 0a FF"), (std::vector<std::uint8_t>{0x01, 0x0A, 0xFF}));
    EXPECT_FALSE(devsim::ParseHex("012") || devsim::ParseHex("0G"));

    using S = devsim::ParseStatus;
    const std::pair<std::vector<const char*>, S> cases[] = {
        {{"--echo", "--lines=5.5", "--reply", "0102=AABB", "--check", "--time", "2.5", "--link", "/tmp/t"}, S::Ok},
        {{"--version", "--help"}, S::Help},    {{"--version"}, S::Version},
        {{"extra"}, S::Error},                 {{"--flood", "fast"}, S::Error},
        {{"--reply", "012=AA"}, S::Error},     {{"--lines=0"}, S::Error},
        {{"--bytes", "5"}, S::Error},  // only with --flood
        {{"--lines", "--flood", "1k"}, S::Error}, {{"--echo=1"}, S::Error},
        {{"--link="}, S::Error},               {{"--link"}, S::Error},
    };
    for (const auto& [args, status] : cases) {
        std::vector<const char*> argv{"kestrana-devsim"};
        argv.insert(argv.end(), args.begin(), args.end());
        devsim::Options options;
        std::string error;
        EXPECT_EQ(devsim::ParseOptions(static_cast<int>(argv.size()), argv.data(), options, error), status)
            << args.front() << ": " << error;
        EXPECT_EQ(error.empty(), status != S::Error) << args.front();
    }
}

}  // namespace
