#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(HistoryMemoryOption, TakesSizesWithUnitsAndRefusesTheRest)
{
    const struct {
        const char* value;
        std::uint64_t bytes;  // 0: refused
    } cases[] = {
        {"64M", 64ull << 20}, {"1G", 1ull << 30}, {"512m", 512ull << 20}, {"8192K", 8ull << 20},
        {"4194304", 4ull << 20}, {"3M", 0}, {"", 0}, {"M", 0}, {"64MB", 0}, {"-1G", 0}, {"99999999999G", 0},
    };
    for (const auto& c : cases) {
        CommandLineOptions options;
        std::string error;
        const auto status = ParseCommandLine({"--history-memory", c.value}, options, error);
        if (c.bytes == 0) {
            EXPECT_EQ(status, CommandLineStatus::Error) << c.value;
            EXPECT_NE(error.find("--history-memory"), std::string::npos) << c.value;
        } else {
            EXPECT_EQ(status, CommandLineStatus::Ok) << c.value << ": " << error;
            EXPECT_EQ(options.historyMemory, c.bytes) << c.value;
        }
    }
    CommandLineOptions defaults;
    std::string error;
    ASSERT_EQ(ParseCommandLine({}, defaults, error), CommandLineStatus::Ok);
    EXPECT_EQ(defaults.historyMemory, 64ull << 20);
}

}  // namespace
