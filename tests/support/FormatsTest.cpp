// The support layer's text formats: hex text both ways and the CRC-16/DNP a
// hex line may carry; and the --help layout the manual pages are made from,
// whose wrapping never loses or reorders a word, never splits a bracketed
// usage item, keeps the text column, and stays inside the width.

#include "support/Crc16Dnp.h"
#include "support/HelpFormat.h"
#include "support/HexCodec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

TEST(HexCodec, EveryByteGoesThereAndBackInEitherCase)
{
    for (unsigned b = 0; b < 256; ++b) {
        char out[3] = {'x', 'x', 'x'};
        EXPECT_EQ(support::ByteToHex(out, static_cast<std::uint8_t>(b)), out + 2);
        char expected[3];
        std::snprintf(expected, sizeof expected, "%02X", b);
        EXPECT_EQ(std::string(out, 3), std::string(expected, 2) + "x") << "two upper-case characters, no NUL";
        EXPECT_EQ(support::HexPairToByte(out), b);
        const char lower[2] = {static_cast<char>(std::tolower(out[0])), static_cast<char>(std::tolower(out[1]))};
        EXPECT_EQ(support::HexPairToByte(lower), b);
    }

    EXPECT_EQ(support::NormalizeHexText(" 0a 1B\tc "), "0A1B\tC");
}

TEST(HexCodec, HexToBytesDecodesWholePairsAndStopsAtTheEnd)
{
    const struct {
        std::string text;
        std::vector<std::uint8_t> bytes;
    } cases[] = {
        {"0", {}},
        {"ABCDE", {0xAB, 0xCD}},                // the unpaired last character gives nothing
        {std::string("12\0" "34", 5), {0x12}},  // a NUL ends the text
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> out(c.text.size() / 2 + 4, 0xEE);
        out.resize(support::HexToBytes(out.data(), c.text) + 1);
        EXPECT_EQ(out, [&] { auto e = c.bytes; e.push_back(0xEE); return e; }()) << c.text << ": nothing written past the bytes";
    }
    // An allocation of exactly the text's length, no NUL after it: an odd
    // last character must not be paired with what lies beyond (the address
    // sanitizer build catches any such read).
    auto storage = std::make_unique<char[]>(3);
    std::memcpy(storage.get(), "123", 3);
    std::uint8_t out[2] = {0, 0};
    EXPECT_EQ(support::HexToBytes(out, std::string_view(storage.get(), 3)), 1u);
    EXPECT_EQ(out[0], 0x12);
}

// The textbook form, one bit at a time: the table must agree with it.
std::uint16_t BitwiseCrc16Dnp(const std::uint8_t* data, std::size_t count)
{
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < count; ++i)
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<std::uint16_t>((crc >> 1) ^ (((crc ^ (data[i] >> bit)) & 1) != 0 ? 0xA6BC : 0));
    return static_cast<std::uint16_t>(crc ^ 0xFFFF);
}

TEST(Crc16Dnp, CatalogueValueAndRandomBlocksAgreeWithTheBitwiseForm)
{
    const std::uint8_t text[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(support::Crc16Dnp(text, sizeof text), 0xEA82);
    EXPECT_EQ(support::Crc16Dnp(nullptr, 0), 0xFFFF);
    std::mt19937 random(20261205);
    for (int round = 0; round < 300; ++round) {
        std::vector<std::uint8_t> data(random() % 700);
        for (auto& b : data)
            b = static_cast<std::uint8_t>(random());
        ASSERT_EQ(support::Crc16Dnp(data.data(), data.size()), BitwiseCrc16Dnp(data.data(), data.size()))
            << "length " << data.size();
    }
}

TEST(Crc16Dnp, AppendedLowByteFirstUpToTheLongestBlockAndNeverBeyond)
{
    const struct {
        std::size_t total;  // data and the two CRC places
        bool appended;
    } cases[] = {{1, false}, {5, true}, {support::kMaxCrcBlock + 2, true}, {support::kMaxCrcBlock + 3, false}};
    for (const auto& c : cases) {
        std::vector<std::uint8_t> buffer(c.total + 1, 0x5A);
        for (std::size_t i = 0; i < std::min<std::size_t>(c.total, 3); ++i)
            buffer[i] = static_cast<std::uint8_t>(i + 1);  // 01 02 03 in the worked example
        const std::vector<std::uint8_t> before = buffer;
        const auto crc = support::AppendCrc16(buffer.data(), c.total);
        ASSERT_EQ(crc.has_value(), c.appended) << c.total;
        if (!c.appended) {
            EXPECT_EQ(buffer, before) << "nothing written for " << c.total;
            continue;
        }
        EXPECT_EQ(*crc, BitwiseCrc16Dnp(buffer.data(), c.total - 2)) << c.total;
        EXPECT_EQ(buffer[c.total - 2], *crc & 0xFF) << c.total;
        EXPECT_EQ(buffer[c.total - 1], *crc >> 8) << c.total;
        EXPECT_EQ(buffer[c.total], 0x5A) << "nothing past the CRC for " << c.total;
        if (c.total == 5) {
            EXPECT_EQ(*crc, 0xA740);
        }
    }
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The words of the lines; printed lines must lie inside the width.
std::string Words(const std::vector<std::string>& lines, bool printed = true)
{
    std::string words;
    for (const std::string& line : lines) {
        EXPECT_TRUE(!printed || line.size() <= support::kHelpWidth) << line;
        std::istringstream in(line);
        for (std::string word; in >> word;)
            words += word + " ";
    }
    return words;
}

TEST(HelpFormat, UsageWrapsBetweenItemsUnderTheFirstItemAndParagraphsFollow)
{
    const std::string usage =
        "usage: program [FILE] [--device COMn=PATH]... [--connect] [--registry-dir DIR] "
        "[--no-splash] [--flood RATE [--bytes N]] [--tcp-server[=PORT]] [--tcp-bind ADDR] [--help] [--version]";
    std::string paragraph;
    for (int i = 0; i < 12; ++i)
        paragraph += std::string(5 + i, 'a') + " ";
    const std::vector<std::string> lines = Lines(support::FormatHelp(usage, paragraph + "\n\nsecond one", {}));
    const auto blank = std::find(lines.begin(), lines.end(), "");
    const std::vector<std::string> usageLines(lines.begin(), blank);
    ASSERT_GE(usageLines.size(), 2u);
    EXPECT_EQ(usageLines[0].rfind("usage: program [FILE] ", 0), 0u);
    for (std::size_t i = 1; i < usageLines.size(); ++i)
        EXPECT_EQ(usageLines[i].find_first_not_of(' '), std::string("usage: program ").size()) << usageLines[i];
    for (const std::string& line : usageLines)
        EXPECT_EQ(std::count(line.begin(), line.end(), '['), std::count(line.begin(), line.end(), ']'))
            << "a break inside brackets: " << line;
    EXPECT_EQ(Words(usageLines), Words({usage}, false));

    const auto second = std::find(blank + 1, lines.end(), "");
    EXPECT_EQ(Words({blank + 1, second}), Words({paragraph}, false));
    ASSERT_GE(lines.end() - second, 4);
    EXPECT_EQ(std::vector<std::string>(second, second + 4), (std::vector<std::string>{"", "second one", "", "Options:"}));
}

TEST(HelpFormat, RowsKeepTheTextColumnAndEveryWord)
{
    const std::string text = "use the device PATH for the port slot COMn (1 to 8) for this run only, without "
                              "changing the stored mapping; may be given for several slots";
    // A synopsis that leaves two spaces before the column shares its first line.
    for (const char* synopsis : {"--exactly-twenty-chr", "--much-longer-synopsis VALUE"}) {
        const std::vector<std::string> lines = Lines(support::FormatHelp("usage: p", "", {{synopsis, text}}));
        auto row = std::find(lines.begin(), lines.end(), "Options:");
        ASSERT_TRUE(row != lines.end() && ++row != lines.end());
        const std::size_t skip = std::strlen(synopsis) <= support::kHelpTextColumn - 4 ? 2 + std::strlen(synopsis) : 0;
        if (skip == 0) {
            EXPECT_EQ(*row++, std::string("  ") + synopsis);
        }
        std::vector<std::string> texts;
        for (auto line = row; line != lines.end(); ++line) {
            EXPECT_EQ(line->find_first_not_of(' ', line == row ? skip : 0), support::kHelpTextColumn) << *line;
            texts.push_back(line->substr(std::min(line->size(), support::kHelpTextColumn)));
        }
        EXPECT_EQ(Words(texts), Words({text}, false)) << synopsis;
    }
}

TEST(HelpFormat, OptionNames)
{
    EXPECT_EQ(support::OptionNames("usage: p [--lines[=RATE]] [--flood RATE [--bytes N]] -h, --device COMn=PATH"),
              (std::vector<std::string>{"--lines", "--flood", "--bytes", "-h", "--device"}));
    EXPECT_TRUE(support::OptionNames("a pseudo-terminal and /dev/ttyS(n-1) [FILE] -- ---x").empty());
}

}  // namespace
