#include "terminal/TextDecoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::u16string Decode(TextDecoder& decoder, const std::string& bytes)
{
    std::vector<char16_t> out;
    decoder.Decode(bytes.data(), bytes.size(), out);
    return std::u16string(out.begin(), out.end());
}

TEST(TextDecoder, CharacterSplitBetweenBlocksShowsOnce)
{
    TextDecoder decoder(QStringConverter::Utf8);
    // U+D55C is ED 95 9C in UTF-8.
    EXPECT_EQ(Decode(decoder, "a\xED\x95"), u"a");
    EXPECT_EQ(Decode(decoder, "\x9C" "b"), u"\uD55C" "b");
}

TEST(TextDecoder, SplitFourByteCharacterOverThreeBlocks)
{
    TextDecoder decoder(QStringConverter::Utf8);
    std::u16string all = Decode(decoder, "\xF0\x9F");
    all += Decode(decoder, "\x98");
    all += Decode(decoder, "\x80");
    EXPECT_EQ(all, u"\U0001F600");
}

TEST(TextDecoder, InvalidBytesBecomeReplacementCharacter)
{
    TextDecoder decoder(QStringConverter::Utf8);
    const std::u16string text = Decode(decoder, "A\xFF" "B");
    ASSERT_EQ(text.size(), 3u);
    EXPECT_EQ(text[0], u'A');
    EXPECT_EQ(text[1], u'\uFFFD');
    EXPECT_EQ(text[2], u'B');
}

TEST(TextDecoder, EveryLineEndMakesOneBreak)
{
    TextDecoder decoder(QStringConverter::Utf8);
    EXPECT_EQ(Decode(decoder, "a\rb\nc\r\nd\n\re"), u"a\nb\nc\nd\n\ne");
}

TEST(TextDecoder, CarriageReturnAndLineFeedInDifferentBlocks)
{
    TextDecoder decoder(QStringConverter::Utf8);
    EXPECT_EQ(Decode(decoder, "line1\r"), u"line1\n");
    EXPECT_EQ(Decode(decoder, "\nline2"), u"line2");
    EXPECT_EQ(Decode(decoder, "\r"), u"\n");
    EXPECT_EQ(Decode(decoder, "\r"), u"\n");  // CR CR: two breaks
    EXPECT_EQ(Decode(decoder, "\n"), u"");
}

TEST(TextDecoder, NulShowsAsNothingAndKeepsTheRest)
{
    TextDecoder decoder(QStringConverter::Utf8);
    EXPECT_EQ(Decode(decoder, std::string("AB\0CD", 5)), u"ABCD");
    EXPECT_EQ(Decode(decoder, std::string("x\r\0\ny", 5)), u"x\ny");
}

TEST(TextDecoder, ResetForgetsHalfCharacterAndPendingCarriageReturn)
{
    TextDecoder decoder(QStringConverter::Utf8);
    Decode(decoder, "a\r");
    decoder.Reset();
    EXPECT_EQ(Decode(decoder, "\nb"), u"\nb");
}

}  // namespace
