// The --help layout that the manual pages are made from: wrapping never
// loses or reorders a word, never splits a bracketed usage item, keeps the
// text column, and stays inside the width.

#include "support/HelpFormat.h"

#include <gtest/gtest.h>

#include <algorithm>
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

std::vector<std::string> Words(const std::string& text)
{
    std::vector<std::string> words;
    std::istringstream in(text);
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

const std::string kLongUsage =
    "usage: program [FILE] [--device COMn=PATH]... [--connect] [--registry-dir DIR] "
    "[--no-splash] [--flood RATE [--bytes N]] [--tcp-server[=PORT]] [--tcp-bind ADDR] "
    "[--help] [--version]";

TEST(HelpFormat, UsageWrapsBetweenItemsUnderTheFirstItem)
{
    const std::vector<std::string> lines = Lines(support::FormatHelp(kLongUsage, "", {}));
    // The usage block ends at the first blank line.
    std::vector<std::string> usage;
    for (const std::string& line : lines) {
        if (line.empty())
            break;
        usage.push_back(line);
    }
    ASSERT_GE(usage.size(), 2u);
    EXPECT_EQ(usage[0].rfind("usage: program [FILE] ", 0), 0u);
    std::string joined = usage[0];
    for (std::size_t i = 1; i < usage.size(); ++i) {
        // Continuations start under "[FILE]".
        EXPECT_EQ(usage[i].find_first_not_of(' '), std::string("usage: program ").size()) << usage[i];
        joined += ' ' + usage[i].substr(usage[i].find_first_not_of(' '));
    }
    for (const std::string& line : usage) {
        EXPECT_LE(line.size(), support::kHelpWidth) << line;
        // A line break never falls inside brackets.
        int depth = 0;
        for (char c : line)
            depth += c == '[' ? 1 : c == ']' ? -1 : 0;
        EXPECT_EQ(depth, 0) << line;
    }
    EXPECT_EQ(joined, kLongUsage);
}

TEST(HelpFormat, RowsKeepTheTextColumnAndEveryWord)
{
    const std::string longText =
        "use the device PATH for the port slot COMn (1 to 8) for this run only, without "
        "changing the stored mapping; may be given for several slots";
    struct Case {
        const char* synopsis;
        std::string text;
        bool textOnFirstLine;
    };
    const Case cases[] = {
        {"--echo", "send back every byte received", true},
        {"--device COMn=PATH", longText, true},
        {"--exactly-twenty-chr", "fits with two spaces to spare", true},
        {"--a-synopsis-too-long", "goes below it", false},
        {"--much-longer-synopsis VALUE", longText, false},
    };
    for (const Case& c : cases) {
        const std::string help = support::FormatHelp("usage: p", "", {{c.synopsis, c.text}});
        const std::vector<std::string> lines = Lines(help);
        const auto heading = std::find(lines.begin(), lines.end(), "Options:");
        ASSERT_NE(heading, lines.end()) << help;
        std::vector<std::string> row(heading + 1, lines.end());
        ASSERT_FALSE(row.empty());
        EXPECT_EQ(row[0].rfind(std::string("  ") + c.synopsis, 0), 0u) << row[0];
        std::string text;
        for (std::size_t i = 0; i < row.size(); ++i) {
            EXPECT_LE(row[i].size(), support::kHelpWidth) << row[i];
            if (i == 0 && !c.textOnFirstLine) {
                EXPECT_EQ(row[0], std::string("  ") + c.synopsis);
                continue;
            }
            ASSERT_GT(row[i].size(), support::kHelpTextColumn) << row[i];
            EXPECT_NE(row[i][support::kHelpTextColumn], ' ') << row[i];
            EXPECT_EQ(row[i].find_first_not_of(' ', i == 0 ? 2 + std::string(c.synopsis).size() : 0),
                      support::kHelpTextColumn)
                << row[i];
            text += ' ' + row[i].substr(support::kHelpTextColumn);
        }
        EXPECT_EQ(Words(text), Words(c.text)) << c.synopsis;
    }
}

TEST(HelpFormat, DescriptionParagraphsAreWrappedAndSeparated)
{
    const std::string first(30, 'a');
    std::string paragraph;
    for (int i = 0; i < 12; ++i)
        paragraph += (i ? " " : "") + first.substr(0, 5 + i);
    const std::string help = support::FormatHelp("usage: p", paragraph + "\n\nsecond one", {});
    const std::vector<std::string> lines = Lines(help);
    // usage, blank, paragraph lines, blank, "second one", blank, "Options:"
    ASSERT_GE(lines.size(), 7u);
    EXPECT_EQ(lines[1], "");
    std::string text;
    std::size_t i = 2;
    for (; i < lines.size() && !lines[i].empty(); ++i) {
        EXPECT_LE(lines[i].size(), support::kHelpWidth);
        text += ' ' + lines[i];
    }
    EXPECT_EQ(Words(text), Words(paragraph));
    ASSERT_LT(i + 3, lines.size());
    EXPECT_EQ(lines[i + 1], "second one");
    EXPECT_EQ(lines[i + 2], "");
    EXPECT_EQ(lines[i + 3], "Options:");
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
