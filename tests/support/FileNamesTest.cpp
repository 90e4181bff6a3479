#include "support/FileNames.h"

#include "tests/common/TestFiles.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

namespace {

TEST(FileNamesTest, NumberedNameGoesBeforeTheExtension)
{
    const struct {
        const char* path;
        unsigned n;
        const char* expected;
    } cases[] = {
        {"event1206.log", 1, "event1206.1.log"},
        {"receive0101.log", 12, "receive0101.12.log"},
        {"logs/event1206.log", 2, "logs/event1206.2.log"},
        {"/var/k.d/event1206.log", 3, "/var/k.d/event1206.3.log"},
        {"a.b.c", 4, "a.b.4.c"},
        {"noextension", 1, "noextension.1"},
        {"dir.x/noextension", 5, "dir.x/noextension.5"},  // a dot in a folder is no extension
        {"/tmp/.log", 2, "/tmp/.log.2"},                  // nor is a leading dot
    };
    for (const auto& c : cases)
        EXPECT_EQ(support::NumberedName(c.path, c.n), c.expected) << c.path;
}

class FolderTest : public ::testing::Test {
protected:
    testfiles::TempDir m_temp{"kestrana-folders"};
};

TEST_F(FolderTest, MakeFoldersCreatesEveryMissingLevel)
{
    const std::string folder = m_temp.path() + "/a/b/c";
    std::string failure;
    ASSERT_TRUE(support::MakeFolders(folder, 0700, "test folder", failure)) << failure;
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    // Existing folders are fine.
    EXPECT_TRUE(support::MakeFolders(folder, 0700, "test folder", failure)) << failure;
}

TEST_F(FolderTest, MakeFoldersNamesThePartThatFailedAndWhy)
{
    const std::string blocker = m_temp.path() + "/file";
    std::ofstream(blocker) << "x";
    std::string failure;
    EXPECT_FALSE(support::MakeFolders(blocker + "/sub/deeper", 0700, "test folder", failure));
    EXPECT_EQ(failure, "Cannot create test folder " + blocker + "/sub: Not a directory");
    EXPECT_FALSE(support::MakeFolders(blocker, 0700, "test folder", failure));
    EXPECT_EQ(failure, "Cannot use test folder " + blocker + ": Not a directory");
}

TEST_F(FolderTest, RenameNoReplaceNeverOverwrites)
{
    const std::string from = m_temp.path() + "/from";
    const std::string to = m_temp.path() + "/to";
    std::ofstream(from) << "new";
    std::ofstream(to) << "old";
    EXPECT_FALSE(support::RenameNoReplace(from, to));
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(testfiles::ReadFile(to), "old");
    std::filesystem::remove(to);
    EXPECT_TRUE(support::RenameNoReplace(from, to));
    EXPECT_EQ(testfiles::ReadFile(to), "new");
    EXPECT_FALSE(std::filesystem::exists(from));
}

}  // namespace
