#include "terminal/TerminalCharset.h"
#include "terminal/TextEncoder.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace {

TEST(TextEncoder, KoreanInEachCharacterSet)
{
    const struct {
        const char* charset;
        std::u16string text;
        std::string bytes;
    } cases[] = {
        {"UTF-8", u"한글", "\xED\x95\x9C\xEA\xB8\x80"},
        {"CP949", u"한글", "\xC7\xD1\xB1\xDB"},
        {"EUC-KR", u"한글", "\xC7\xD1\xB1\xDB"},
        {"CP949", u"똠", "\x8C" "c"},
        {"ISO-8859-1", u"café", "caf\xE9"},
        {"UTF-8", u"\U0001F600", "\xF0\x9F\x98\x80"},
    };
    for (const auto& c : cases) {
        TextEncoder encoder(c.charset);
        std::string out = "<";
        ASSERT_TRUE(encoder.Encode(c.text.data(), c.text.size(), out)) << c.charset;
        EXPECT_EQ(out, "<" + c.bytes) << c.charset;
    }
}

TEST(TextEncoder, CharacterWithoutAFormIsRefusedWhole)
{
    TextEncoder encoder("ISO-8859-1");
    const std::u16string text = u"ab한c";
    std::string out = "keep";
    std::size_t failedAt = 99;
    EXPECT_FALSE(encoder.Encode(text.data(), text.size(), out, &failedAt));
    EXPECT_EQ(out, "keep");
    EXPECT_EQ(failedAt, 2u);
    // The encoder goes on working.
    const std::u16string next = u"xy";
    EXPECT_TRUE(encoder.Encode(next.data(), next.size(), out));
    EXPECT_EQ(out, "keepxy");
}

TEST(TextEncoder, UnpairedSurrogateIsRefused)
{
    TextEncoder encoder("UTF-8");
    const char16_t text[] = {u'a', 0xD83D};
    std::string out;
    std::size_t failedAt = 0;
    EXPECT_FALSE(encoder.Encode(text, 2, out, &failedAt));
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(failedAt, 1u);
}

TEST(TerminalCharset, NamesTheCLibraryConverts)
{
    for (const char* name : {"UTF-8", "CP949", "EUC-KR", "ISO-8859-1", "utf8", "UHC"})
        EXPECT_TRUE(IsUsableCharset(name)) << name;
    for (const char* name : {"", "NO-SUCH-CHARSET", "UTF-9"})
        EXPECT_FALSE(IsUsableCharset(name)) << name;
}

TEST(TerminalCharset, RunChoiceOverridesTheLocaleAndEmptyGoesBack)
{
    SetTerminalCharset("CP949");
    EXPECT_EQ(TerminalCharset(), "CP949");
    EXPECT_EQ(TextEncoder().Charset(), "CP949");
    SetTerminalCharset("");
    EXPECT_EQ(TerminalCharset(), LocaleCharset());
}

TEST(TerminalCharset, LocaleCodesetAndThePlainCLocale)
{
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
    EXPECT_EQ(LocaleCharset(), "UTF-8");  // 7-bit ASCII counts as UTF-8
    // A Korean EUC locale where one is installed (tools/setup.sh makes it).
    if (std::setlocale(LC_ALL, "ko_KR.EUC-KR") != nullptr) {
        EXPECT_EQ(LocaleCharset(), "EUC-KR");
    }
    if (std::setlocale(LC_ALL, "ko_KR.UTF-8") != nullptr) {
        EXPECT_EQ(LocaleCharset(), "UTF-8");
    }
    std::setlocale(LC_ALL, saved.c_str());
}

}  // namespace
