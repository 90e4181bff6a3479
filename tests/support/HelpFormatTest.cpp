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
    const std::string longText =
        "use the device PATH for the port slot COMn (1 to 8) for this run only, without "
        "changing the stored mapping; may be given for several slots";
    const struct {
        const char* synopsis;
        std::string text;
        bool textOnFirstLine;
    } cases[] = {
        {"--echo", "send back every byte received", true},
        {"--device COMn=PATH", longText, true},
        {"--exactly-twenty-chr", "fits with two spaces to spare", true},
        {"--a-synopsis-too-long", "goes below it", false},
        {"--much-longer-synopsis VALUE", longText, false},
    };
    for (const auto& c : cases) {
        const std::vector<std::string> lines = Lines(support::FormatHelp("usage: p", "", {{c.synopsis, c.text}}));
        auto row = std::find(lines.begin(), lines.end(), "Options:");
        ASSERT_NE(row, lines.end());
        ++row;
        ASSERT_NE(row, lines.end());
        EXPECT_EQ(row->rfind(std::string("  ") + c.synopsis, 0), 0u) << *row;
        if (!c.textOnFirstLine) {
            EXPECT_EQ(*row++, std::string("  ") + c.synopsis);
        }
        std::vector<std::string> text;
        for (auto line = row; line != lines.end(); ++line) {
            // From the text column on; before it, spaces only (or the synopsis).
            ASSERT_GT(line->size(), support::kHelpTextColumn) << *line;
            EXPECT_EQ(line->find_first_not_of(' ', line == row && c.textOnFirstLine ? 2 + std::strlen(c.synopsis) : 0),
                      support::kHelpTextColumn)
                << *line;
            text.push_back(line->substr(support::kHelpTextColumn));
        }
        EXPECT_EQ(Words(text), Words({c.text}, false)) << c.synopsis;
    }
}

TEST(HelpFormat, OptionNames)
{
    const struct {
        const char* text;
        std::vector<std::string> names;
    } cases[] = {
        {"usage: p [--lines[=RATE]] [--flood RATE [--bytes N]]", {"--lines", "--flood", "--bytes"}},
        {"-h, --help", {"-h", "--help"}},
        {"--device COMn=PATH", {"--device"}},
        {"a pseudo-terminal and /dev/ttyS(n-1)", {}},
        {"[FILE] -- ---x", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(support::OptionNames(c.text), c.names) << c.text;
}

}  // namespace
