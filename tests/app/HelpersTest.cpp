// The small pure helpers of the window: the status bar's connection text, the
// receive-LF step, the About box's kernel line and the one-line form of a
// message box.

#include "app/ConnectionText.h"
#include "app/MessageLine.h"
#include "app/ReceiveLineFeed.h"
#include "app/SystemInfo.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ConnectionText, OneAndAHalfStopBitsAndUnknownCodes)
{
    EXPECT_EQ(ConnectionText(7, 115200, 8, 1, 1), "COM8: 115200 / O / 8 / 1.5");
    EXPECT_EQ(ConnectionText(4, 300, 6, 9, 9), "COM5: 300 / ? / 6 / ?");
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

TEST(SystemInfo, KernelReleaseBecomesVersionAndBuild)
{
    EXPECT_EQ(FormatSystemText("Linux", "5.15.133"), "Linux version 5.15 (Build 133)");
    EXPECT_EQ(FormatSystemText("Linux", "6.1.0-18-amd64"), "Linux version 6.1 (Build 0)");
    EXPECT_EQ(FormatSystemText("Linux", "weird"), "");
}

TEST(MessageLine, TextAndDetailOnOneLine)
{
    EXPECT_EQ(MessageLine("Connection Failed! \n", ""), "Connection Failed!");
    EXPECT_EQ(MessageLine("Registry error: 5", "Cannot write /x"), "Registry error: 5: Cannot write /x");
}

}  // namespace
