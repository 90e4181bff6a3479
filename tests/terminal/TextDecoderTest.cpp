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

// Every way of cutting `bytes` into two blocks gives the same text as one block.
void ExpectSameAtEverySplit(const std::string& charset, const std::string& bytes, const std::u16string& text)
{
    for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
        TextDecoder decoder(charset);
        std::u16string got = Decode(decoder, bytes.substr(0, cut));
        got += Decode(decoder, bytes.substr(cut));
        EXPECT_EQ(got, text) << charset << " cut at " << cut;
    }
}

TEST(TextDecoder, CharacterSplitBetweenBlocksShowsOnce)
{
    TextDecoder decoder("UTF-8");
    // U+D55C is ED 95 9C in UTF-8.
    EXPECT_EQ(Decode(decoder, "a\xED\x95"), u"a");
    EXPECT_EQ(Decode(decoder, "\x9C" "b"), u"\uD55C" "b");
}

TEST(TextDecoder, SplitFourByteCharacterOverThreeBlocks)
{
    TextDecoder decoder("UTF-8");
    std::u16string all = Decode(decoder, "\xF0\x9F");
    all += Decode(decoder, "\x98");
    all += Decode(decoder, "\x80");
    EXPECT_EQ(all, u"\U0001F600");
}

TEST(TextDecoder, KoreanInEveryCharacterSetAtEverySplit)
{
    // 한글 (U+D55C U+AE00) and 똠 (U+B620, only in CP949, whose second byte
    // is the ASCII letter c) between ASCII letters.
    const struct {
        const char* charset;
        std::string bytes;
        std::u16string text;
    } cases[] = {
        {"UTF-8", "A\xED\x95\x9C\xEA\xB8\x80" "B", u"A한글B"},
        {"EUC-KR", "A\xC7\xD1\xB1\xDB" "B", u"A한글B"},
        {"CP949", "A\xC7\xD1\xB1\xDB" "B", u"A한글B"},
        {"CP949", "x\x8C" "cy", u"x똠y"},
        {"ISO-8859-1", "caf\xE9", u"café"},
    };
    for (const auto& c : cases)
        ExpectSameAtEverySplit(c.charset, c.bytes, c.text);
}

TEST(TextDecoder, BadBytesBecomeOneReplacementEachAndNeverSwallowTheNextCharacter)
{
    const struct {
        const char* charset;
        std::string bytes;
        std::u16string text;
    } cases[] = {
        {"UTF-8", "A\xFF" "B", u"A\uFFFD" "B"},
        {"UTF-8", "A\xC0z", u"A\uFFFD" "z"},
        {"UTF-8", "\xED\x95" "A", u"\uFFFD\uFFFD" "A"},  // a cut-short character, then A
        {"UTF-8", "\xFF\xED\x95\x9C", u"\uFFFD한"},
        {"CP949", "\xC7 A", u"\uFFFD A"},                  // lead byte without its trail
        {"CP949", "\xFF\xC7\xD1", u"\uFFFD한"},
        {"EUC-KR", "\xC7\xD1\xFF\xB1\xDB", u"한\uFFFD글"},
    };
    for (const auto& c : cases) {
        TextDecoder decoder(c.charset);
        EXPECT_EQ(Decode(decoder, c.bytes), c.text) << c.charset;
    }
}

TEST(TextDecoder, AnIncompleteCharacterThatNeverCompletesIsReplacedWhenTheNextByteComes)
{
    TextDecoder decoder("CP949");
    EXPECT_EQ(Decode(decoder, "a\xC7"), u"a");
    EXPECT_EQ(Decode(decoder, " b"), u"\uFFFD b");
}

TEST(TextDecoder, StatefulCharacterSetKeepsItsShiftAcrossBlocks)
{
    // ISO-2022-KR: a header, SO to Korean, SI back to ASCII.
    TextDecoder decoder("ISO-2022-KR");
    std::u16string all = Decode(decoder, "\x1B$)C\x0E\x47");
    all += Decode(decoder, "\x51\x0F" "A");
    EXPECT_EQ(all, u"한A");
}

TEST(TextDecoder, UnknownCharacterSetDecodesAsUtf8)
{
    TextDecoder decoder("NO-SUCH-CHARSET");
    EXPECT_EQ(decoder.Charset(), "UTF-8");
    EXPECT_EQ(Decode(decoder, "\xED\x95\x9C"), u"한");
}

TEST(TextDecoder, EveryLineEndMakesOneBreak)
{
    TextDecoder decoder("UTF-8");
    EXPECT_EQ(Decode(decoder, "a\rb\nc\r\nd\n\re"), u"a\nb\nc\nd\n\ne");
}

TEST(TextDecoder, CarriageReturnAndLineFeedInDifferentBlocks)
{
    TextDecoder decoder("UTF-8");
    EXPECT_EQ(Decode(decoder, "line1\r"), u"line1\n");
    EXPECT_EQ(Decode(decoder, "\nline2"), u"line2");
    EXPECT_EQ(Decode(decoder, "\r"), u"\n");
    EXPECT_EQ(Decode(decoder, "\r"), u"\n");  // CR CR: two breaks
    EXPECT_EQ(Decode(decoder, "\n"), u"");
}

TEST(TextDecoder, NulShowsAsNothingAndKeepsTheRest)
{
    TextDecoder decoder("UTF-8");
    EXPECT_EQ(Decode(decoder, std::string("AB\0CD", 5)), u"ABCD");
    EXPECT_EQ(Decode(decoder, std::string("x\r\0\ny", 5)), u"x\ny");
}

TEST(TextDecoder, ResetForgetsHalfCharacterAndPendingCarriageReturn)
{
    TextDecoder decoder("UTF-8");
    Decode(decoder, "a\r");
    decoder.Reset();
    EXPECT_EQ(Decode(decoder, "\nb"), u"\nb");
    Decode(decoder, "\xED\x95");
    decoder.Reset();
    EXPECT_EQ(Decode(decoder, "z"), u"z");
}

TEST(TextDecoder, LongBlocksOfEveryByteValue)
{
    // Every byte value in a long block: as many units out as the conversion
    // gives, nothing lost at the buffer's growth steps.
    std::string bytes;
    for (int round = 0; round < 64; ++round)
        for (int b = 1; b < 256; ++b)
            bytes += static_cast<char>(b);
    TextDecoder latin("ISO-8859-1");
    const std::u16string text = Decode(latin, bytes);
    std::u16string expected;
    for (int round = 0; round < 64; ++round)
        for (int b = 1; b < 256; ++b)
            expected += b == '\r' ? u'\n' : static_cast<char16_t>(b);
    EXPECT_EQ(text, expected);
}

}  // namespace
