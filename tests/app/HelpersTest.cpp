// The receive-LF step on a block read from the line.

#include "app/ReceiveLineFeed.h"

#include <gtest/gtest.h>

#include <string>

namespace {

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

}  // namespace
