// The --help layout that the manual pages are made from: wrapping never
// loses or reorders a word, never splits a bracketed usage item, keeps the
// text column, and stays inside the width.

#include "support/HelpFormat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

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
