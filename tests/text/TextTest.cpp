// The text layer. The text model against a plain string: lines, colour runs
// and the rows of the wrapped text, however the text arrives and is cut. The
// terminal's one character set both ways: received bytes decoded however the
// blocks cut them, typed text encoded or refused whole, and the set in use.

#include "tests/common/TextReference.h"
#include "text/TerminalCharset.h"
#include "text/TextDecoder.h"
#include "text/TextEncoder.h"

#include <algorithm>
#include <clocale>
#include <random>

namespace {

using testtext::Reference;

TEST(TerminalText, AppendEraseAndRewrapMatchAPlainText)
{
    // Random pieces in three colours (an empty one among them), cut at the
    // end (as Backspace does), in the middle and right through lines, with a
    // change of width or a clear now and then; after every step the model
    // holds what a plain string holds.
    std::mt19937 random(4321);
    const std::u16string pieces[] = {u"x", u"hello ", u"\n", u"한글", u"가", u"\U0001F600", u"",
                                     u"\U0001D400", u"漢字 ", u"0123456789", u"a\nb"};
    const std::uint32_t colors[] = {0x0000FF, 0xFF0000, 0x00FF00};
    TerminalText text;
    Reference ref;
    text.SetWrapColumns(7);
    for (int step = 0; step < 1500; ++step) {
        const auto action = static_cast<unsigned>(random() % 10);
        std::string what;
        if (action < 5 || ref.units.empty()) {
            const std::u16string& piece = pieces[random() % std::size(pieces)];
            const std::uint32_t color = colors[random() % std::size(colors)];
            const std::size_t cut = random() % (piece.size() + 1);  // a pair may be cut too
            testtext::Append(text, ref, piece.substr(0, cut), color);
            testtext::Append(text, ref, piece.substr(cut), color);
            what = "append";
        } else if (action < 8) {
            const std::size_t n = std::min<std::size_t>(1 + random() % 3, ref.units.size());
            const std::size_t at = ref.units.size() - n;
            text.Erase(at, n);
            ref.units.erase(at, n);
            ref.colors.erase(ref.colors.begin() + static_cast<long>(at), ref.colors.end());
            what = "erase at end";
        } else if (action < 9) {
            const std::size_t at = random() % ref.units.size();
            const std::size_t n = std::min<std::size_t>(random() % 30, ref.units.size() - at);
            text.Erase(at, n);
            ref.units.erase(at, n);
            ref.colors.erase(ref.colors.begin() + static_cast<long>(at),
                             ref.colors.begin() + static_cast<long>(at + n));
            what = "erase in the middle";
        } else {
            text.SetWrapColumns(1 + static_cast<int>(random() % 12));
            what = "wrap";
        }
        if (step % 250 == 249) {
            text.Clear();
            ref = {};
            what += " and clear";
        }
        testtext::ExpectSame(text, ref, "step " + std::to_string(step) + " (" + what + ")");
        if (::testing::Test::HasFatalFailure())
            return;
        // Keep the text small enough to check in full every step.
        if (ref.units.size() > 600) {
            text.Truncate(200);
            ref.units.resize(200);
            ref.colors.resize(200);
        }
    }
}

TEST(TerminalText, WideCharactersTakeTwoCellsSurrogatePairsStayTogetherAndAnErasedBreakReopensItsLine)
{
    const struct {
        int columns;
        std::u16string text;
        std::vector<std::pair<std::size_t, std::uint64_t>> rows;
    } cases[] = {
        // A wide character does not go on a row with one cell left.
        {4, u"가나다라마\na가나\nabc가", {{0, 0}, {0, 2}, {0, 4}, {1, 0}, {1, 2}, {2, 0}, {2, 3}}},
        {2, u"a\U0001D400b", {{0, 0}, {0, 3}}},           // one cell in two units, never cut
        {2, u"ab\U0001F600c", {{0, 0}, {0, 2}, {0, 4}}},  // two cells: a row of its own
        // "가나" fits four columns exactly, so its closed line keeps no row
        // table; cutting its break must still know its two characters take four cells.
        {4, u"가나\n", {{0, 0}, {0, 2}}},
    };
    for (const auto& c : cases) {
        TerminalText text;
        text.SetWrapColumns(c.columns);
        text.Append(c.text.data(), c.text.size(), 1);
        if (c.text.back() == u'\n') {
            text.Erase(text.Size() - 1, 1);
            text.Append(u"a", 1, 1);
        }
        std::vector<std::pair<std::size_t, std::uint64_t>> rows;
        for (std::size_t row = 0; row < text.RowCount(); ++row)
            rows.push_back(text.RowPosition(row));
        EXPECT_EQ(rows, c.rows) << "case " << &c - cases;
    }
}

struct Conversion {
    const char* charset;
    std::string bytes;
    std::u16string text;
};

// Text that goes out as these bytes and comes back from them.
const Conversion kBothWays[] = {
    {"UTF-8", "A\xED\x95\x9C\xEA\xB8\x80" "B", u"A한글B"},
    {"UTF-8", "\xF0\x9F\x98\x80", u"\U0001F600"},
    {"EUC-KR", "A\xC7\xD1\xB1\xDB" "B", u"A한글B"},
    {"CP949", "A\xC7\xD1\xB1\xDB" "B", u"A한글B"},
    {"CP949", "x\x8C" "cy", u"x똠y"},  // only in CP949; its second byte is the letter c
    {"ISO-8859-1", "caf\xE9", u"café"},
};

// Received bytes only.
const Conversion kReceived[] = {
    {"ISO-2022-KR", "\x1B$)C\x0E\x47\x51\x0F" "A", u"한A"},  // shift state kept
    // A bad byte is one replacement and never swallows the next character.
    {"UTF-8", "A\xFF" "B\xC0z", u"A\uFFFD" "B\uFFFD" "z"},
    {"UTF-8", "\xED\x95" "A", u"\uFFFD\uFFFD" "A"},
    {"UTF-8", "\xFF\xED\x95\x9C", u"\uFFFD한"},
    {"CP949", "\xC7 A", u"\uFFFD A"},  // a lead byte without its trail
    {"CP949", "\xFF\xC7\xD1", u"\uFFFD한"},
    {"EUC-KR", "\xC7\xD1\xFF\xB1\xDB", u"한\uFFFD글"},
    // Every line end is one break; NUL shows as nothing.
    {"UTF-8", "a\rb\nc\r\nd\n\re\r\r", u"a\nb\nc\nd\n\ne\n\n"},
    {"UTF-8", std::string("AB\0CD\r\0\ny", 9), u"ABCD\ny"},
    {"NO-SUCH-CHARSET", "\xED\x95\x9C", u"한"},  // decoded as UTF-8
};

std::u16string Decode(TextDecoder& decoder, const std::string& bytes)
{
    std::vector<char16_t> out;
    decoder.Decode(bytes.data(), bytes.size(), out);
    return std::u16string(out.begin(), out.end());
}

TEST(TextDecoder, EveryCutIntoThreeBlocksGivesTheTextOfOneBlock)
{
    std::vector<Conversion> cases(std::begin(kBothWays), std::end(kBothWays));
    cases.insert(cases.end(), std::begin(kReceived), std::end(kReceived));
    for (const Conversion& c : cases) {
        for (std::size_t i = 0; i <= c.bytes.size(); ++i)
            for (std::size_t j = i; j <= c.bytes.size(); ++j) {
                TextDecoder decoder(c.charset);
                std::u16string got = Decode(decoder, c.bytes.substr(0, i));
                got += Decode(decoder, c.bytes.substr(i, j - i));
                got += Decode(decoder, c.bytes.substr(j));
                ASSERT_EQ(got, c.text) << c.charset << " " << testing::PrintToString(c.bytes) << " cut at "
                                       << i << " and " << j;
            }
    }
}

// UTF-8 takes a path of its own; under another name of the same set the C
// library decodes every byte. Both must give the same text, in any blocks.
TEST(TextDecoder, Utf8GivesWhatTheCLibraryGivesForAnyBytes)
{
    std::uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u, static_cast<unsigned char>(seed >> 16); };
    const std::string tricky = "\xC0\x80\xE0\x80\x80\xED\xA0\x80\xF4\x90\x80\x80\xF0\x9F\x98\x80\xE2\x82\xAC\xC3";
    for (int round = 0; round < 200; ++round) {
        std::string bytes = round == 0 ? tricky : std::string();
        for (int i = 0; i < 300; ++i) {
            const unsigned char b = next();
            // Mostly lead and continuation bytes, so that whole characters occur.
            bytes += static_cast<char>(b < 96 ? 0x80 | (b & 0x3F) : b < 128 ? 0xC2 + (b & 0x32) : b);
        }
        TextDecoder fast("UTF-8");
        TextDecoder plain("ISO-10646/UTF8/");
        ASSERT_EQ(plain.Charset(), "ISO-10646/UTF8/");
        // Cut into blocks anywhere, a character's bytes sometimes over three of them.
        std::vector<std::size_t> cuts = {0, next() % bytes.size(), next() % bytes.size(), bytes.size()};
        cuts.push_back(std::min(cuts[1] + 1, bytes.size()));
        std::sort(cuts.begin(), cuts.end());
        std::u16string got, want;
        for (std::size_t k = 0; k + 1 < cuts.size(); ++k) {
            got += Decode(fast, bytes.substr(cuts[k], cuts[k + 1] - cuts[k]));
            want += Decode(plain, bytes.substr(cuts[k], cuts[k + 1] - cuts[k]));
        }
        ASSERT_EQ(got, want) << testing::PrintToString(bytes) << " cut at " << cuts[1] << ", " << cuts[2];
        EXPECT_NE(got.find(u'\uFFFD'), std::u16string::npos);
    }
}

TEST(TextEncoder, EncodesEachCharacterSetOrRefusesTheWholeText)
{
    constexpr std::size_t kSent = SIZE_MAX;
    std::vector<std::pair<Conversion, std::size_t>> cases;  // with where a refusal stands
    for (const Conversion& c : kBothWays)
        cases.emplace_back(c, kSent);
    cases.push_back({{"ISO-8859-1", "", u"ab한c"}, 2});
    cases.push_back({{"UTF-8", "", std::u16string{u'a', char16_t(0xD83D)}}, 1});  // an unpaired surrogate
    for (const auto& [c, refusedAt] : cases) {
        SCOPED_TRACE(std::string(c.charset) + " " + testing::PrintToString(c.bytes));
        TextEncoder encoder(c.charset);
        std::string out = "<";
        std::size_t failedAt = kSent;
        EXPECT_EQ(encoder.Encode(c.text.data(), c.text.size(), out, &failedAt), refusedAt == kSent);
        EXPECT_EQ(out, "<" + c.bytes);
        EXPECT_EQ(failedAt, refusedAt);
        // The encoder goes on working after a refusal.
        const std::u16string next = u"xy";
        EXPECT_TRUE(encoder.Encode(next.data(), next.size(), out));
        EXPECT_EQ(out, "<" + c.bytes + "xy");
    }
}

TEST(TerminalCharset, NamesTheCLibraryConvertsAndTheRunsChoice)
{
    for (const char* name : {"UTF-8", "CP949", "utf8", "", "NO-SUCH-CHARSET"})
        EXPECT_EQ(IsUsableCharset(name), name[0] != '\0' && name[0] != 'N') << name;

    SetTerminalCharset("CP949");
    EXPECT_EQ(TextEncoder().Charset(), "CP949");
    EXPECT_EQ(TextDecoder().Charset(), "CP949");
    SetTerminalCharset("");
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
    EXPECT_EQ(TerminalCharset(), "UTF-8") << "the locale's, and 7-bit ASCII counts as UTF-8";
    std::setlocale(LC_ALL, saved.c_str());
}

}  // namespace
