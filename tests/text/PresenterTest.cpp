// Received and sent blocks as terminal text: stamps at the lines they begin,
// in their own colour and form, and hex frames with their direction, their
// join gap and their rows under the prefix. And the slabs the text's chunks
// come from.

#include "platform/StampClock.h"
#include "text/BlockPresenter.h"
#include "text/ChunkPages.h"
#include "text/TerminalText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using Dir = BlockPresenter::Direction;
constexpr std::int64_t kMs = 1'000'000;
constexpr std::uint32_t kRx = 1, kTx = 2, kStamp = 3;

std::u16string Units(const TerminalText& text)
{
    std::u16string out(text.Size(), u'\0');
    text.Copy(0, out.size(), out.data());
    return out;
}

// The text with every stamp-coloured run shown as "<S>".
std::string Marked(const TerminalText& text)
{
    std::string out;
    bool inStamp = false;
    for (std::uint64_t i = 0; i < text.Size(); ++i) {
        const bool stamp = text.ColorAt(i) == kStamp && text.At(i) != u'\n';
        if (stamp && !inStamp)
            out += "<S>";
        inStamp = stamp;
        if (!stamp)
            out += static_cast<char>(text.At(i));
    }
    return out;
}

struct Block {
    Dir dir;
    std::string bytes;
    std::int64_t atMs;
};

BlockPresenter MakePresenter(bool hex, bool frames, StampForm stamps, int gapMs = 0, int columns = 80)
{
    BlockPresenter presenter;
    presenter.SetColors({kRx, kTx, kStamp});
    BlockPresenter::Options options;
    options.hex = hex;
    options.frames = frames;
    options.stamps = stamps;
    options.joinGapMs = gapMs;
    options.columns = columns;
    presenter.SetOptions(options);
    return presenter;
}

std::string Show(BlockPresenter& presenter, const std::vector<Block>& blocks)
{
    TerminalText text;
    for (const Block& b : blocks)
        presenter.Present(text, b.dir, b.bytes.data(), b.bytes.size(), b.atMs * kMs, b.atMs * kMs);
    return Marked(text);
}

TEST(Presenter, StampFormsReadAsTheirNamesSay)
{
    const std::int64_t at = platform::MonotonicNs();
    const platform::LocalTime local = platform::LocalTimeAt(at);
    char clock[16];
    std::snprintf(clock, sizeof clock, "%02d:%02d:%02d.%03d", local.hour, local.minute, local.second,
                  local.millisecond);
    struct Case {
        StampForm form;
        std::int64_t atNs, previousNs, originNs;
        std::string expected;
    } cases[] = {
        {StampForm::TimeOfDay, at, -1, 0, clock},
        {StampForm::SincePrevious, 5000 * kMs, -1, 0, "+0.000"},  // the first stamp
        {StampForm::SincePrevious, 5125 * kMs, 5000 * kMs, 0, "+0.125"},
        {StampForm::SincePrevious, 75000 * kMs + 999'999, 5000 * kMs, 0, "+70.000"},
        {StampForm::SinceOpen, 12345 * kMs, -1, 0, "[   12.345]"},
        {StampForm::SinceOpen, 1 * kMs, -1, 2 * kMs, "[    0.000]"},  // never negative
        {StampForm::None, at, -1, 0, ""},
    };
    for (const Case& c : cases) {
        std::u16string out;
        BlockPresenter::FormatStamp(c.form, c.atNs, c.previousNs, c.originNs, out);
        EXPECT_EQ(std::string(out.begin(), out.end()), c.expected) << static_cast<int>(c.form);
    }
    // One run maps the clock to the wall once: 1.5 s on the clock is 1.5 s on the stamps.
    auto msOfDay = [](const platform::LocalTime& t) {
        return ((t.hour * 60 + t.minute) * 60 + t.second) * 1000 + t.millisecond;
    };
    const int apart = msOfDay(platform::LocalTimeAt(at + 1500 * kMs)) - msOfDay(local);
    EXPECT_EQ((apart + 86'400'000) % 86'400'000, 1500);
}

TEST(Presenter, TextAndFramesAsTheOptionsSay)
{
    struct Case {
        const char* what;
        BlockPresenter presenter;
        std::vector<Block> blocks;
        std::string expected;
    } cases[] = {
        {"no stamps: the text as it came",
         MakePresenter(false, false, StampForm::None),
         {{Dir::Received, "ab\ncd", 0}, {Dir::Sent, "e\r\n", 1}},
         "ab\ncde\n"},
        {"a stamp at each line a block begins, one for a line filled by two blocks",
         MakePresenter(false, false, StampForm::SincePrevious),
         {{Dir::Received, "ab\ncd", 0}, {Dir::Received, "ef\n", 5}, {Dir::Sent, "x\n\ny", 9}},
         "<S>ab\n<S>cdef\n<S>x\n<S>\n<S>y"},
        {"hex without frames: groups run on, no stamps",
         MakePresenter(true, false, StampForm::TimeOfDay),
         {{Dir::Received, "\x01\x02", 0}, {Dir::Sent, "\xFF", 1}},
         "01 02 FF "},
        {"frames: every block a line of its own with its direction",
         MakePresenter(true, true, StampForm::None),
         {{Dir::Received, "\x01\x03", 0}, {Dir::Received, "\x04", 1}, {Dir::Sent, "\x0A", 2}},
         "RX 01 03 \nRX 04 \nTX 0A "},
        {"the join gap: closer blocks of one direction make one frame, a reply never joins",
         MakePresenter(true, true, StampForm::None, 10),
         {{Dir::Sent, "\x01", 0}, {Dir::Received, "\x02", 3}, {Dir::Received, "\x03", 12},
          {Dir::Received, "\x04", 30}},
         "TX 01 \nRX 02 03 \nRX 04 "},
        {"a long frame goes on under its prefix (stamp and mark)",
         MakePresenter(true, true, StampForm::SincePrevious, 0, 20),
         {{Dir::Received, "\x10\x11\x12\x13\x14", 0}},
         "<S>RX 10 11 12 \n          13 14 "},
    };
    for (Case& c : cases)
        EXPECT_EQ(Show(c.presenter, c.blocks), c.expected) << c.what;
}

TEST(Presenter, TypedTextIsStampedAndItsOffsetIsWhereTheTypingBegins)
{
    BlockPresenter presenter = MakePresenter(false, false, StampForm::SinceOpen);
    TerminalText text;
    const std::uint64_t first = presenter.PresentTyped(text, u"a", 2 * kMs);
    const std::uint64_t second = presenter.PresentTyped(text, u"b", 3 * kMs);
    EXPECT_EQ(Units(text), u"[    0.002] ab");
    EXPECT_EQ(first, 12u);
    EXPECT_EQ(second, 13u);
    EXPECT_EQ(text.ColorAt(first), kTx);

    // With frames a typed hex line starts on a line of its own.
    BlockPresenter hex = MakePresenter(true, true, StampForm::None);
    TerminalText frames;
    hex.Present(frames, Dir::Received, "\x01", 1, 0, 0);
    hex.BeginTypedHexLine(frames);
    hex.PresentTyped(frames, u"0", 0);
    EXPECT_EQ(Units(frames), u"RX 01 \n0");
}

}  // namespace

namespace {

TEST(ChunkPages, ChunksAreDistinctAndEmptySlabsGoBack)
{
    const std::size_t before = chunkpages::SlabCount();
    std::vector<char16_t*> chunks;
    for (int i = 0; i < 10; ++i) {
        chunks.push_back(chunkpages::Take());
        std::fill_n(chunks.back(), chunkpages::kChunkBytes / 2, static_cast<char16_t>(i));
    }
    EXPECT_GE(chunkpages::SlabCount(), before + 2);
    for (int i = 0; i < 10; ++i) {
        const char16_t* c = chunks[static_cast<std::size_t>(i)];
        EXPECT_TRUE(std::all_of(c, c + chunkpages::kChunkBytes / 2, [i](char16_t u) { return u == i; })) << i;
    }
    for (char16_t* c : chunks)
        chunkpages::Give(c);
    // One empty slab stays for the next chunk; the others went back.
    EXPECT_LE(chunkpages::SlabCount(), before + 1);
}

}  // namespace
