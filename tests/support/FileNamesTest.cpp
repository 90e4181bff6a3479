// The log folder, made on demand with every level, or a failure that says why.
// (Numbered names and the rename that never overwrites are walked by the log
// file tests.)

#include "support/LogFolder.h"

#include "tests/common/TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

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

}  // namespace
