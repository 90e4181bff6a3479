// The text model against a plain string: lines, colour runs and the rows of
// the wrapped text, however the text arrives and is cut.

#include "tests/common/TextReference.h"

#include <gtest/gtest.h>

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

}  // namespace
