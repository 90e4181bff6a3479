#include "TerminalTestSupport.h"

#include "terminal/LineFeedCount.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

namespace {

std::string Repeat(const std::string& piece, int times)
{
    std::string out;
    for (int i = 0; i < times; ++i)
        out += piece;
    return out;
}

// n bytes, none of them a line feed.
std::string Filler(std::size_t n) { return std::string(n, 'S'); }

struct CountCase {
    const char* name;
    std::string content;
    std::uint32_t expected;
};

class LineFeedCountTest : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const std::string& content)
    {
        const std::string path = m_dir.Path() + "/" + name;
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    terminal_test::TempWorkDir m_dir;
};

TEST_F(LineFeedCountTest, CountsEveryLineFeedAcrossBlockBoundaries)
{
    const CountCase cases[] = {
        {"1000 CR LF lines", Repeat("S1130000285F245F2212226A000424290008237C2A\r\n", 1000), 1000},
        {"empty", "", 0},
        {"255 bytes, no line feed", Filler(255), 0},
        {"exactly 256 bytes ending in a line feed", Filler(255) + "\n", 1},
        {"exactly 256 line feeds", std::string(256, '\n'), 256},
        {"257 bytes, the last a line feed", Filler(256) + "\n", 1},
        {"line feeds on both sides of 256", Filler(255) + "\n\n" + Filler(254) + "\n", 3},
        {"exactly 512 bytes", Repeat(Filler(127) + "\n", 4), 4},
        {"last line without a line feed", "S0\nS1\nS9", 2},
        {"carriage returns only", "S0\rS1\rS9\r", 0},
        {"binary bytes", std::string("\x00\x0A\xFF\x0A\x0D", 5), 2},
        // Around the reader's own block of 64 KiB.
        {"65535 bytes and a line feed", Filler(65535) + "\n", 1},
        {"a line feed on each side of 65536", Filler(65535) + "\n\n" + Filler(70000) + "\n", 3},
        {"exactly 65536 line feeds", std::string(65536, '\n'), 65536},
    };
    int i = 0;
    for (const CountCase& c : cases) {
        const std::string path = Write("case" + std::to_string(i++) + ".mot", c.content);
        const LineFeedCount count = CountFileLineFeeds(path);
        EXPECT_TRUE(count.ok()) << c.name << ": " << count.failure;
        EXPECT_EQ(count.lineFeeds, c.expected) << c.name;
        EXPECT_EQ(CountLineFeeds(c.content.data(), c.content.size()), c.expected) << c.name;
    }
}

TEST_F(LineFeedCountTest, FilesThatCannotBeReadNameThemselvesAndTheReason)
{
    const std::string plain = Write("plain.mot", "S0\n");
    const std::string fifo = m_dir.Path() + "/pipe.mot";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    struct FailCase {
        std::string path;
        std::string expected;
    };
    const FailCase cases[] = {
        {m_dir.Path() + "/missing.mot",
         "Cannot open " + m_dir.Path() + "/missing.mot: No such file or directory"},
        {plain + "/child.mot", "Cannot open " + plain + "/child.mot: Not a directory"},
        {m_dir.Path(), "Cannot read " + m_dir.Path() + ": Is a directory"},
        // A pipe or a device might never end; neither may hold the caller.
        {fifo, "Cannot read " + fifo + ": not a regular file"},
        {"/dev/zero", "Cannot read /dev/zero: not a regular file"},
    };
    for (const FailCase& c : cases) {
        const LineFeedCount count = CountFileLineFeeds(c.path);
        EXPECT_FALSE(count.ok()) << c.path;
        EXPECT_EQ(count.failure, c.expected);
        EXPECT_EQ(count.lineFeeds, 0u);
    }
}

TEST_F(LineFeedCountTest, UnreadableFileIsRefused)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads any file";
    const std::string path = Write("locked.mot", "S0\n");
    ASSERT_EQ(::chmod(path.c_str(), 0), 0);
    const LineFeedCount count = CountFileLineFeeds(path);
    EXPECT_EQ(count.failure, "Cannot open " + path + ": Permission denied");
}

}  // namespace
