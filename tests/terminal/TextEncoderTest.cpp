#include "terminal/TerminalCharset.h"
#include "terminal/TextEncoder.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace {

TEST(TextEncoder, EncodesEachCharacterSetOrRefusesTheWholeText)
{
    constexpr std::size_t kSent = SIZE_MAX;
    const struct {
        const char* charset;
        std::u16string text;
        std::string bytes;   // when sent
        std::size_t failedAt;
    } cases[] = {
        {"UTF-8", u"한글", "\xED\x95\x9C\xEA\xB8\x80", kSent},
        {"CP949", u"한글", "\xC7\xD1\xB1\xDB", kSent},
        {"EUC-KR", u"한글", "\xC7\xD1\xB1\xDB", kSent},
        {"CP949", u"똠", "\x8C" "c", kSent},
        {"ISO-8859-1", u"café", "caf\xE9", kSent},
        {"UTF-8", u"\U0001F600", "\xF0\x9F\x98\x80", kSent},
        {"ISO-8859-1", u"ab한c", "", 2},
        {"UTF-8", std::u16string{u'a', char16_t(0xD83D)}, "", 1},  // an unpaired surrogate
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.charset) + ", case " + std::to_string(&c - cases));
        TextEncoder encoder(c.charset);
        std::string out = "<";
        std::size_t failedAt = kSent;
        EXPECT_EQ(encoder.Encode(c.text.data(), c.text.size(), out, &failedAt), c.failedAt == kSent);
        EXPECT_EQ(out, "<" + c.bytes);
        EXPECT_EQ(failedAt, c.failedAt);
        // The encoder goes on working after a refusal.
        const std::u16string next = u"xy";
        EXPECT_TRUE(encoder.Encode(next.data(), next.size(), out));
        EXPECT_EQ(out, "<" + c.bytes + "xy");
    }
}

TEST(TerminalCharset, NamesTheCLibraryConvertsAndTheRunsChoice)
{
    for (const char* name : {"UTF-8", "CP949", "EUC-KR", "ISO-8859-1", "utf8", "UHC"})
        EXPECT_TRUE(IsUsableCharset(name)) << name;
    for (const char* name : {"", "NO-SUCH-CHARSET", "UTF-9"})
        EXPECT_FALSE(IsUsableCharset(name)) << name;

    SetTerminalCharset("CP949");
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
    std::setlocale(LC_ALL, saved.c_str());
}

}  // namespace
