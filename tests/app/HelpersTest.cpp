#include "app/ConnectionText.h"
#include "app/MessageLine.h"
#include "app/ReceiveLineFeed.h"
#include "app/SystemInfo.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(ConnectionText, DefaultLine)
{
    EXPECT_EQ(ConnectionText(0, 9600, 8, 0, 0), "COM1: 9600 / N / 8 / 1");
}

TEST(ConnectionText, MarkParitySevenBits)
{
    EXPECT_EQ(ConnectionText(0, 19200, 7, 3, 0), "COM1: 19200 / M / 7 / 1");
}

TEST(ConnectionText, EveryParityAndStopBits)
{
    EXPECT_EQ(ConnectionText(7, 115200, 8, 1, 1), "COM8: 115200 / O / 8 / 1.5");
    EXPECT_EQ(ConnectionText(2, 110, 5, 2, 2), "COM3: 110 / E / 5 / 2");
    EXPECT_EQ(ConnectionText(3, 300, 6, 4, 0), "COM4: 300 / S / 6 / 1");
    EXPECT_EQ(ParityLetter(9), '?');
    EXPECT_STREQ(StopBitsText(7), "?");
}

struct Block {
    std::uint8_t data[1024] = {};
    std::uint32_t length = 0;
    explicit Block(const std::string& bytes)
    {
        std::memcpy(data, bytes.data(), bytes.size());
        length = static_cast<std::uint32_t>(bytes.size());
    }
    std::string Bytes() const { return std::string(reinterpret_cast<const char*>(data), length); }
};

TEST(ReceiveLineFeed, AfterTheFirstCarriageReturn)
{
    Block b("AB\rCD");
    EXPECT_TRUE(InsertLineFeedAfterFirstCR(b.data, b.length, sizeof b.data));
    EXPECT_EQ(b.length, 6u);
    EXPECT_EQ(b.Bytes(), "AB\r\nCD");
    EXPECT_EQ(b.data[6], 0);
}

TEST(ReceiveLineFeed, OnlyTheFirstIsExpanded)
{
    Block b("A\rB\r");
    EXPECT_TRUE(InsertLineFeedAfterFirstCR(b.data, b.length, sizeof b.data));
    EXPECT_EQ(b.length, 5u);
    EXPECT_EQ(b.Bytes(), "A\r\nB\r");
}

TEST(ReceiveLineFeed, NoCarriageReturnLeavesTheBlock)
{
    Block b("ABC");
    EXPECT_FALSE(InsertLineFeedAfterFirstCR(b.data, b.length, sizeof b.data));
    EXPECT_EQ(b.Bytes(), "ABC");
}

TEST(ReceiveLineFeed, ZeroByteBeforeTheCarriageReturnKeepsEveryByte)
{
    Block b(std::string("A\0B\rC\0D", 7));
    EXPECT_TRUE(InsertLineFeedAfterFirstCR(b.data, b.length, sizeof b.data));
    EXPECT_EQ(b.Bytes(), std::string("A\0B\r\nC\0D", 8));
}

TEST(ReceiveLineFeed, CarriageReturnLastAndFullBuffer)
{
    Block b("AB\r");
    EXPECT_TRUE(InsertLineFeedAfterFirstCR(b.data, b.length, sizeof b.data));
    EXPECT_EQ(b.Bytes(), "AB\r\n");

    std::uint8_t full[4] = {'A', '\r', 'B', 'C'};
    std::uint32_t length = 4;
    EXPECT_FALSE(InsertLineFeedAfterFirstCR(full, length, sizeof full));
    EXPECT_EQ(length, 4u);
}

TEST(SystemInfo, SystemTextShape)
{
    EXPECT_EQ(FormatSystemText("Linux", "6.1.0-18-amd64"), "Linux version 6.1 (Build 0)");
    EXPECT_EQ(FormatSystemText("Linux", "5.15.133"), "Linux version 5.15 (Build 133)");
    EXPECT_EQ(FormatSystemText("Linux", "6"), "Linux version 6.0 (Build 0)");
    EXPECT_EQ(FormatSystemText("Linux", "weird"), "");
    EXPECT_EQ(FormatSystemText("", "6.1"), "");
}

TEST(SystemInfo, RunningSystemText)
{
    const std::string text = SystemText();
    EXPECT_EQ(text.rfind("Linux version ", 0), 0u) << text;
    EXPECT_NE(text.find("(Build "), std::string::npos);
}

TEST(SystemInfo, MemoryPastFourGigabytes)
{
    const std::uint64_t avail = 5ULL << 30, total = 64ULL << 30;
    EXPECT_EQ(FormatMemoryText(avail, total),
              "Memory 5368709120 Bytes(Avail.) / 68719476736 Bytes(Total)");
}

TEST(SystemInfo, UserLine)
{
    const std::string name = UserName();
    EXPECT_FALSE(name.empty());
    EXPECT_EQ(UserText(), "Current User : " + name);
}

TEST(MessageLine, TextAndDetailOnOneLine)
{
    struct Case {
        const char* text;
        const char* detail;
        const char* line;
    };
    const Case cases[] = {
        {"Connection Failed! \n", "", "Connection Failed!"},
        {"Connection Failed! \n", "Cannot open /dev/x: No such file or directory",
         "Connection Failed! Cannot open /dev/x: No such file or directory"},
        {"Stream socket initialization failed.", "Port 0 is outside 1 to 65535.",
         "Stream socket initialization failed. Port 0 is outside 1 to 65535."},
        {"Registry error: 5", "Cannot write /x", "Registry error: 5: Cannot write /x"},
        {"\r\n", "", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MessageLine(c.text, c.detail), c.line) << c.text;
}

}  // namespace
