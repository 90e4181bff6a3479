// The terminal text with its older pieces on disk, against a plain string:
// small pieces and a tiny memory budget move text to the history file all
// the time, so every read below comes back from disk. Searching, on disk and
// in memory, against a plain search.

#include "common/TestFiles.h"
#include "common/TextReference.h"
#include "terminal/TerminalFile.h"
#include "terminal/TextSearch.h"
#include "text/HistoryFile.h"
#include "text/PieceCodec.h"
#include "text/TextSnapshot.h"

#include <QFile>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>
#include <thread>

namespace {

using testtext::All;
using testtext::Append;
using testtext::Reference;

// A plain search: where `pattern` first stands at or after `from`, else
// before it (wrapped); ASCII letters folded unless `matchCase`. An empty
// pattern is never found.
std::optional<std::pair<std::uint64_t, bool>> PlainFind(std::u16string all, std::u16string pattern, std::size_t from,
                                                        bool matchCase)
{
    for (std::u16string* s : {&all, &pattern})
        for (char16_t& c : *s)
            c = !matchCase && c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
    if (const std::size_t at = all.find(pattern, from); !pattern.empty() && at != std::u16string::npos)
        return std::pair{std::uint64_t(at), false};
    if (const std::size_t at = all.find(pattern); !pattern.empty() && at != std::u16string::npos)
        return std::pair{std::uint64_t(at), true};
    return std::nullopt;
}

// A match as PlainFind gives it, its end checked against the pattern.
std::optional<std::pair<std::uint64_t, bool>> Found(const std::optional<TextMatch>& match, const std::u16string& pattern)
{
    if (!match)
        return std::nullopt;
    EXPECT_EQ(match->to, match->from + pattern.size());
    return std::pair{match->from, match->wrapped};
}

// A text whose pieces go to disk as soon as they are sealed.
struct SmallText : TerminalText {
    explicit SmallText(std::size_t pieceUnits = 64, std::uint64_t diskBudget = 0)
    {
        SetPieceUnits(pieceUnits);
        SetMemoryBudget(1);
        SetDiskBudget(diskBudget);
    }
};

class HistoryText : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(m_dir.path().empty()); }
    void TearDown() override { HistoryFile::SetWriteFault({}); }

    testfiles::TempDir m_dir{"kestrana-history"};
    testfiles::ScopedEnv m_cache{"XDG_CACHE_HOME", m_dir.path()};
};

TEST_F(HistoryText, MatchesAPlainTextWhilePiecesMoveToDisk)
{
    // Lines stay shorter than half a piece, so every piece ends at a line
    // break and rows follow the plain rule exactly.
    const std::u16string pieces[] = {u"x", u"hello ", u"\n", u"한글", u"가\n", u"\U0001F600", u"\U0001D400",
                                     u"漢字 ", u"0123456789", u"a\nb", u"41 0D 0A "};
    const std::uint32_t colors[] = {0x0000FF, 0xFF0000, 0x00FF00};
    for (const int columns : {1, 7, 80}) {
        std::mt19937 random(static_cast<unsigned>(columns));
        SmallText text;
        text.SetWrapColumns(columns);
        Reference ref;
        std::u16string line;
        for (int step = 0; step < 1500; ++step) {
            const auto action = random() % 10;
            if (action < 7 || ref.units.empty()) {
                std::u16string piece = pieces[random() % std::size(pieces)];
                if (line.size() + piece.size() > 24)
                    piece += u'\n';
                const std::size_t nl = piece.rfind(u'\n');
                line = nl == std::u16string::npos ? line + piece : piece.substr(nl + 1);
                Append(text, ref, piece, colors[random() % std::size(colors)]);
            } else if (action < 9) {
                // Backspace: a unit or a pair at the end, also when the
                // newest piece was just sealed and the unit is on disk.
                std::size_t n = 1;
                const std::size_t size = ref.units.size();
                if (size >= 2 && ref.units[size - 1] >= 0xDC00 && ref.units[size - 1] <= 0xDFFF)
                    n = 2;
                text.Erase(size - n, n);
                ref.units.resize(size - n);
                ref.colors.resize(size - n);
                const std::size_t nl = ref.units.rfind(u'\n');
                line = nl == std::u16string::npos ? ref.units : ref.units.substr(nl + 1);
            } else {
                text.SetWrapColumns(text.WrapColumns() == columns ? columns + 3 : columns);
            }
            if (step % 250 == 249) {
                ASSERT_TRUE(text.WaitForWriter(10000));
                testtext::ExpectSame(text, ref, "columns " + std::to_string(columns) + " step " + std::to_string(step));
                if (HasFatalFailure())
                    return;
            }
        }
        EXPECT_GT(text.PiecesOnDisk(), 10u);
        EXPECT_GT(text.HistoryFileBytes(), 0u);
    }
}

TEST_F(HistoryText, FindAndSaveReadTheWholeHistory)
{
    SmallText text;
    Reference ref;
    std::mt19937 random(99);
    // The needle inside a line of the oldest third.
    const std::u16string needle = u"needle 바늘";
    std::size_t at = 0;
    for (int i = 0; i < 400; ++i) {
        const std::u16string line = u"line " + std::u16string(1, static_cast<char16_t>(u'a' + random() % 26)) +
                                    u" 한 " + std::u16string(random() % 40, u'-') + u"\n";
        const std::uint32_t color = i % 3 == 0 ? 0xFF0000 : 0x0000FF;
        Append(text, ref, line.substr(0, 7), color);
        if (i == 133)
            at = ref.units.size(), Append(text, ref, needle, 0x00FF00);
        Append(text, ref, line.substr(7), color);
    }
    ASSERT_TRUE(text.WaitForWriter(10000));
    ASSERT_GT(text.PiecesOnDisk(), 5u);

    const auto hit = FindInText(text, needle, ref.units.size() / 2, true);
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->from, at);
    EXPECT_TRUE(hit->wrapped);
    EXPECT_FALSE(FindInText(text, u"not there at all", 0, false));

    const QString plain = QString::fromStdString(m_dir.path() + "/plain.txt");
    ASSERT_TRUE(TerminalFile::SavePlain(text, plain));
    QFile file(plain);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(file.readAll()).toStdU16String(), ref.units);

    const QString coloured = QString::fromStdString(m_dir.path() + "/coloured.rtf");
    ASSERT_TRUE(TerminalFile::SaveColoured(text, coloured));
    // Loading goes through the history as receiving does.
    SmallText loaded;
    std::string failure;
    ASSERT_TRUE(TerminalFile::Load(loaded, coloured, 0, failure)) << failure;
    ASSERT_TRUE(loaded.WaitForWriter(10000));
    EXPECT_GT(loaded.PiecesOnDisk(), 5u);
    ASSERT_EQ(All(loaded), ref.units);
    for (std::size_t i = 0; i < ref.units.size(); ++i)
        ASSERT_EQ(loaded.ColorAt(i), ref.colors[i]) << i;
}

TEST_F(HistoryText, FindOnASnapshotAgreesWithAPlainSearch)
{
    // Few letters, so patterns hit often, straddle pieces and run longer
    // than a piece; the snapshot is searched while the text moves on.
    SmallText text;
    std::mt19937 random(7);
    const char16_t letters[] = {u'a', u'b', u'A', u'B', u'한', u'\n'};
    std::u16string all;
    for (int i = 0; i < 6000; ++i)
        all += letters[random() % std::size(letters)];
    text.Append(all.data(), all.size(), 1);
    ASSERT_TRUE(text.WaitForWriter(10000));
    ASSERT_GT(text.PiecesOnDisk(), 50u);
    const auto snapshot = text.Snapshot();
    text.Clear();  // the snapshot keeps its history file open

    for (int round = 0; round < 300; ++round) {
        const std::size_t length = round % 10 == 0 ? 70 + random() % 80 : 1 + random() % 6;
        std::u16string pattern = all.substr(random() % (all.size() - length), length);
        if (round % 7 == 0)
            pattern.back() = u'z';  // not there
        const std::uint64_t from = random() % (all.size() + 1);
        const SearchOutcome outcome = FindInSnapshot(*snapshot, pattern, from, round % 2 == 0);
        ASSERT_TRUE(outcome.failure.empty()) << outcome.failure;
        ASSERT_EQ(Found(outcome.match, pattern), PlainFind(all, pattern, from, round % 2 == 0)) << "round " << round;
    }

    // Pieces large enough to be read ahead while the one before is searched.
    SmallText large(10000);
    std::u16string many;
    for (int i = 0; i < 12; ++i)
        many += all;
    large.Append(many.data(), many.size(), 1);
    ASSERT_TRUE(large.WaitForWriter(10000));
    ASSERT_GT(large.PiecesOnDisk(), 4u);
    const auto largeSnapshot = large.Snapshot();
    for (const std::size_t at : {9990, 20000, 40005, 69990}) {
        const std::u16string pattern = many.substr(at, 12);
        const SearchOutcome outcome = FindInSnapshot(*largeSnapshot, pattern, at - 3, true);
        ASSERT_TRUE(outcome.match);
        EXPECT_EQ(outcome.match->from, many.find(pattern, at - 3));
    }
    const SearchOutcome none = FindInSnapshot(*largeSnapshot, u"zz", 5000, true);
    EXPECT_FALSE(none.match);
    EXPECT_TRUE(none.failure.empty());

    // Progress reaches the whole text; a stopped search says so.
    std::uint64_t done = 0, total = 0;
    FindInSnapshot(*snapshot, u"zzz", 100, true, {}, [&](std::uint64_t d, std::uint64_t t) { done = d, total = t; });
    EXPECT_EQ(done, total);
    EXPECT_EQ(total, all.size() + 2);
    std::stop_source stop;
    stop.request_stop();
    const SearchOutcome stopped = FindInSnapshot(*snapshot, u"ab", 0, true, stop.get_token());
    EXPECT_TRUE(stopped.stopped);
    EXPECT_FALSE(stopped.match);
}

TEST_F(HistoryText, RowsOfPiecesOnDiskBecomeExactAfterAWidthChangeWithoutReadingThem)
{
    SmallText text;
    std::mt19937 random(11);
    const std::u16string words[] = {u"한글 ", u"abc ", u"\U0001F600", u"漢字", u"x", u"\n"};
    // Lines stay shorter than half a piece (see above).
    std::u16string all;
    std::size_t lineStart = 0;
    for (int i = 0; i < 3000; ++i) {
        all += words[random() % std::size(words)];
        if (all.size() - lineStart > 24)
            all += u'\n';
        if (all.back() == u'\n')
            lineStart = all.size();
    }
    text.Append(all.data(), all.size(), 1);
    ASSERT_TRUE(text.WaitForWriter(10000));
    ASSERT_GT(text.PiecesOnDisk(), 50u);
    for (const int columns : {7, 3, 1, 120}) {
        SCOPED_TRACE(columns);
        text.SetWrapColumns(columns);
        EXPECT_FALSE(text.RowsExact());  // estimates from the line lengths first
        // Polled as the window's thread does; nothing here reads a piece.
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!text.RowsExact() && std::chrono::steady_clock::now() < until) {
            text.Poll();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        ASSERT_TRUE(text.RowsExact());
        EXPECT_EQ(text.RowCount(), testtext::ExpectedRows(all, columns).size());
    }
}

TEST_F(HistoryText, LinesLongerThanAPieceKeepTheirText)
{
    SmallText text;
    Reference ref;
    // A hex-mode stream: groups run on with no line break at all.
    for (int i = 0; i < 200; ++i)
        Append(text, ref, i % 50 == 49 ? u"\U0001F600 " : u"4A ", 5);
    ASSERT_TRUE(text.WaitForWriter(10000));
    EXPECT_GT(text.PiecesOnDisk(), 3u);
    EXPECT_EQ(All(text), ref.units);
    EXPECT_EQ(text.LineCount(), 1u);
    EXPECT_EQ(text.LineLength(0), ref.units.size());
    // Every row starts where the one before it ends.
    std::uint64_t next = 0;
    for (std::uint64_t row = 0; row < text.RowCount(); ++row) {
        ASSERT_EQ(text.RowStart(row), next);
        next += text.RowLength(row);
        ASSERT_EQ(text.RowPosition(row).second, text.RowStart(row));
    }
    EXPECT_EQ(next, ref.units.size());
}

// Marker line, newest text whole, notice once.
void ExpectDroppedOldest(TerminalText& text, const Reference& ref, const std::string& why)
{
    const std::u16string all = All(text);
    const std::size_t markerEnd = all.find(u'\n');
    ASSERT_NE(markerEnd, std::u16string::npos);
    const QString marker = QString::fromStdU16String(all.substr(0, markerEnd));
    EXPECT_TRUE(marker.contains(QStringLiteral("characters of the oldest text were dropped"))) << marker.toStdString();
    EXPECT_TRUE(marker.contains(QString::fromStdString(why))) << marker.toStdString();
    const std::u16string kept = all.substr(markerEnd + 1);
    ASSERT_LE(kept.size(), ref.units.size());
    EXPECT_EQ(kept, ref.units.substr(ref.units.size() - kept.size()));
    EXPECT_EQ(text.DroppedUnits(), ref.units.size() - kept.size());
    EXPECT_FALSE(text.TakeNotice().empty());
    EXPECT_TRUE(text.TakeNotice().empty());
}

TEST_F(HistoryText, DiskTroubleDropsTheOldestTextWithOneMarker)
{
    struct Case {
        const char* name;
        int error;
        const char* why;
    } cases[] = {
        {"disk full", ENOSPC, "No space left on device"},
        {"input/output error", EIO, "Input/output error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SmallText text;
        Reference ref;
        int writes = 0;
        HistoryFile::SetWriteFault([&writes, &c](std::size_t) { return ++writes > 5 ? c.error : 0; });
        for (int i = 0; i < 300; ++i) {
            Append(text, ref, u"row " + std::u16string(1, static_cast<char16_t>(u'A' + i % 26)) + u"\n");
            text.WaitForWriter(10000);
        }
        text.Poll();
        ExpectDroppedOldest(text, ref, c.why);
        EXPECT_LE(text.MemoryBytes(), 8u << 20);

        // Once writing works again, pieces go to disk and nothing more is dropped.
        HistoryFile::SetWriteFault({});
        const std::uint64_t dropped = text.DroppedUnits();
        const std::size_t onDisk = text.PiecesOnDisk();
        for (int i = 0; i < 100; ++i) {
            text.Append(u"later line\n", 11, 2);
            text.WaitForWriter(10000);
        }
        EXPECT_EQ(text.DroppedUnits(), dropped);
        EXPECT_GT(text.PiecesOnDisk(), onDisk);
    }
}

TEST_F(HistoryText, TheHistoryFileIsUnlinkedReplacedWhenCutShortUnderItAndDroppedByClear)
{
    SmallText text;
    Reference ref;
    for (int i = 0; i < 200; ++i)
        Append(text, ref, u"old " + std::u16string(static_cast<std::size_t>(i % 30), u'o') + u"\n");
    ASSERT_TRUE(text.WaitForWriter(10000));
    ASSERT_GT(text.PiecesOnDisk(), 5u);
    char target[512] = {};
    ASSERT_GT(::readlink(("/proc/self/fd/" + std::to_string(text.HistoryFileDescriptor())).c_str(), target,
                         sizeof target - 1), 0);
    // Unlinked from the start: nothing of it is left in the folder.
    EXPECT_NE(std::string(target).find("(deleted)"), std::string::npos) << target;
    EXPECT_EQ(std::string(target).rfind(m_dir.path(), 0), 0u) << target;

    ASSERT_EQ(::ftruncate(text.HistoryFileDescriptor(), 0), 0);
    text.At(0);  // reading the oldest text finds the file empty
    EXPECT_NE(text.Poll() & TerminalText::kDropped, 0u);
    ExpectDroppedOldest(text, ref, "cut short");
    for (int i = 0; i < 100; ++i)
        text.Append(u"new line\n", 9, 1);
    ASSERT_TRUE(text.WaitForWriter(10000));
    EXPECT_GT(text.PiecesOnDisk(), 0u);
    EXPECT_EQ(All(text).substr(All(text).size() - 9), u"new line\n");

    text.Clear();
    EXPECT_EQ(text.HistoryFileDescriptor(), -1);
    EXPECT_EQ(text.HistoryFileBytes(), 0u);
    EXPECT_EQ(text.Size(), 0u);
}

// Lines of 60 CJK characters, which hardly compress.
std::u16string UnpackableLine(std::mt19937& random)
{
    std::u16string line;
    for (int k = 0; k < 60; ++k)
        line += static_cast<char16_t>(0x4E00 + random() % 0x5000);
    return line + u'\n';
}

// The disk space the history file takes, once the writer has given back
// what was dropped (it does so after the results are in).
std::uint64_t SettledDiskSpace(const TerminalText& text, std::uint64_t atMost)
{
    std::uint64_t used = 0;
    for (int attempt = 0; attempt < 500; ++attempt) {
        struct stat st{};
        if (::fstat(text.HistoryFileDescriptor(), &st) != 0)
            return UINT64_MAX;
        used = std::uint64_t(st.st_blocks) * 512;
        if (used <= atMost)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return used;
}

TEST_F(HistoryText, TheHistoryFileKeepsWithinItsDiskBudgetDroppingTheOldestText)
{
    constexpr std::uint64_t kBudget = 64 << 10;
    SmallText text(4096, kBudget);
    Reference ref;
    std::mt19937 random(8);
    // 3 MB of text, 50 times the budget; a few blocks of the file system's
    // own (extent tree) may come on top.
    for (int i = 1; i <= 25000; ++i) {
        Append(text, ref, UnpackableLine(random));
        if (i % 2500 == 0) {
            ASSERT_TRUE(text.WaitForWriter(10000));
            EXPECT_LE(text.HistoryDiskBytes(), kBudget);
            EXPECT_LE(SettledDiskSpace(text, kBudget + 16384), kBudget + 16384) << "after line " << i;
        }
    }
    EXPECT_GT(text.PiecesOnDisk(), 3u);
    ExpectDroppedOldest(text, ref, "the history file is limited to 64 KiB");
}

TEST_F(HistoryText, AReallyFullFileSystem)
{
    const std::string mountPoint = m_dir.path() + "/small";
    ASSERT_EQ(::mkdir(mountPoint.c_str(), 0700), 0);
    if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root): " << std::strerror(errno);
    ::setenv("XDG_CACHE_HOME", mountPoint.c_str(), 1);
    // Without a budget of its own the file takes a quarter of the free
    // space; with a larger one the disk fills up.
    const struct {
        std::uint64_t budget;
        const char* why;
    } cases[] = {{0, "the history file is limited to 64 KiB"}, {1ull << 30, "No space left on device"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        SmallText text(4096, c.budget);
        Reference ref;
        std::mt19937 random(5);
        for (int i = 0; i < 2500; ++i) {
            Append(text, ref, UnpackableLine(random));
            text.WaitForWriter(10000);
        }
        text.Poll();
        ExpectDroppedOldest(text, ref, c.why);
        if (c.budget == 0) {
            EXPECT_LE(SettledDiskSpace(text, 64 << 10), 64u << 10);
        }
    }
    ::umount(mountPoint.c_str());
}

TerminalText Make(const std::u16string& s)
{
    TerminalText text;
    text.Append(s.data(), s.size(), 1);
    return text;
}

TEST(TextSearch, MatchesAcrossTheReadingWindowsAndChunks)
{
    // A text longer than a chunk, with the pattern at places that straddle
    // the search's windows and the text's chunks.
    std::u16string all(TerminalText::kChunkUnits + 300000, u'.');
    const std::u16string pattern = u"needle";
    const std::uint64_t places[] = {65533, 131070, TerminalText::kChunkUnits - 3, all.size() - pattern.size()};
    for (std::uint64_t at : places)
        all.replace(static_cast<std::size_t>(at), pattern.size(), pattern);
    const TerminalText text = Make(all);
    std::uint64_t from = 0;
    for (std::uint64_t at : places) {
        const auto match = FindInText(text, u"NEEDLE", from, false);
        ASSERT_TRUE(match && match->from == at && !match->wrapped) << at;
        from = match->to;
    }
    const auto again = FindInText(text, u"needle", from, true);
    EXPECT_TRUE(again && again->wrapped && again->from == places[0]);
}

TEST(TextSearch, AgreesWithAPlainSearchInEitherCaseFromAnywhere)
{
    // Short texts of a few letters in both cases, so that hits, wraps and
    // misses all come up; an empty pattern never matches.
    std::mt19937 random(99);
    auto letters = [&](std::size_t n) {
        std::u16string s;
        while (s.size() < n)
            s += u"abcAB"[random() % 5];
        return s;
    };
    for (int round = 0; round < 400; ++round) {
        const std::u16string all = letters(1 + random() % 60);
        const std::u16string pattern = letters(random() % 5);
        const bool matchCase = random() % 2 != 0;
        const std::uint64_t from = random() % (all.size() + 1);
        ASSERT_EQ(Found(FindInText(Make(all), pattern, from, matchCase), pattern), PlainFind(all, pattern, from, matchCase))
            << "round " << round;
    }
}

TEST(PieceCodec, RoundTripsEveryUnitAndRefusesDamage)
{
    std::mt19937 random(3);
    std::u16string units;
    for (int i = 0; i < 5000; ++i) {
        const auto kind = random() % 6;
        units += kind == 0   ? static_cast<char16_t>(random() % 0x80)
                 : kind == 1 ? static_cast<char16_t>(0x80 + random() % 0x780)
                 : kind == 2 ? static_cast<char16_t>(0xD800 + random() % 0x800)  // lone surrogates too
                 : kind == 3 ? static_cast<char16_t>(0xE000 + random() % 0x2000)
                             : static_cast<char16_t>(0xAC00 + random() % 100);
    }
    units += u"\U0001F600";
    const std::vector<PieceRun> runs = {{0, 1}, {100, 2}, {4000, 3}};
    PieceEncoder encoder;
    const std::string blob = encoder.Encode(units.data(), units.size(), runs);
    PieceDecoder decoder;
    DecodedPiece decoded;
    std::string why;
    ASSERT_TRUE(decoder.Decode(blob.data(), blob.size(), decoded, why)) << why;
    EXPECT_EQ(std::u16string(decoded.units.begin(), decoded.units.end()), units);
    ASSERT_EQ(decoded.runs.size(), runs.size());
    EXPECT_EQ(decoded.runs[2].start, 4000u);

    const struct {
        const char* name;
        std::size_t at;
    } damage[] = {{"magic", 0}, {"unit count", 5}, {"run count", 9}, {"compressed data", blob.size() / 2},
                  {"checksum", blob.size() - 1}};
    for (const auto& d : damage) {
        std::string bad = blob;
        bad[d.at] = static_cast<char>(bad[d.at] ^ 0x5A);
        EXPECT_FALSE(decoder.Decode(bad.data(), bad.size(), decoded, why)) << d.name;
    }
    EXPECT_FALSE(decoder.Decode(blob.data(), blob.size() - 3, decoded, why));
}

}  // namespace
