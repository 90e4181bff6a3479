// The file-system steps under the logs and the settings store: numbered
// names, folders made on demand with failures that say why, and a rename
// that never overwrites.

#include "support/FileNames.h"
#include "support/LogFolder.h"

#include "tests/common/TestFiles.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

namespace {

TEST(FileNames, NumberedNameGoesBeforeTheExtension)
{
    const struct {
        const char* path;
        unsigned n;
        const char* expected;
    } cases[] = {
        {"/var/k.d/event1206.log", 12, "/var/k.d/event1206.12.log"},
        {"dir.x/noextension", 5, "dir.x/noextension.5"},  // a dot in a folder is no extension
        {"/tmp/.log", 2, "/tmp/.log.2"},                  // nor is a leading dot
    };
    for (const auto& c : cases)
        EXPECT_EQ(support::NumberedName(c.path, c.n), c.expected) << c.path;
}

TEST(FileNames, FoldersAreMadeWithEveryLevelOrTheFailureNamesThePartAndWhy)
{
    testfiles::TempDir temp;
    const std::string blocker = temp.path() + "/file";
    testfiles::WriteFile(blocker, "x");
    std::string failure;
    ASSERT_TRUE(support::PrepareLogFolder(temp.path() + "/logs/today", failure)) << failure;
    EXPECT_TRUE(std::filesystem::is_directory(temp.path() + "/logs/today"));
    EXPECT_FALSE(support::PrepareLogFolder(blocker + "/sub/deeper", failure));
    EXPECT_EQ(failure, "Cannot create log folder " + blocker + "/sub: Not a directory");
    support::SetLogFolder("logs/");
    EXPECT_EQ(support::LogFilePath("receive1206.log"), "logs/receive1206.log");
    support::SetLogFolder({});
}

TEST(FileNames, RenameNoReplaceNeverOverwrites)
{
    testfiles::TempDir temp;
    const std::string from = temp.path() + "/from";
    const std::string to = temp.path() + "/to";
    testfiles::WriteFile(from, "new");
    testfiles::WriteFile(to, "old");
    EXPECT_FALSE(support::RenameNoReplace(from, to));
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(testfiles::ReadFile(to), "old");
    std::filesystem::remove(to);
    EXPECT_TRUE(support::RenameNoReplace(from, to));
    EXPECT_EQ(testfiles::ReadFile(to), "new");
    EXPECT_FALSE(std::filesystem::exists(from));
}

}  // namespace
