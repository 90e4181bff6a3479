#include "support/LogFolder.h"

#include "tests/common/TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

class LogFolderTest : public ::testing::Test {
protected:
    void TearDown() override { support::SetLogFolder({}); }
    testfiles::TempDir m_temp{"kestrana-logfolder"};
};

TEST_F(LogFolderTest, NamesGoInTheChosenFolder)
{
    EXPECT_EQ(support::LogFilePath("event1206.log"), "event1206.log");
    support::SetLogFolder("/var/log/k");
    EXPECT_EQ(support::LogFilePath("event1206.log"), "/var/log/k/event1206.log");
    support::SetLogFolder("logs/");
    EXPECT_EQ(support::LogFilePath("receive1206.log"), "logs/receive1206.log");
}

TEST_F(LogFolderTest, AMissingFolderIsCreated)
{
    const std::string folder = m_temp.path() + "/logs/today";
    std::string failure;
    ASSERT_TRUE(support::PrepareLogFolder(folder, failure)) << failure;
    EXPECT_TRUE(std::filesystem::is_directory(folder));
}

TEST_F(LogFolderTest, AnUnusableFolderIsNamedWithTheReason)
{
    const std::string blocker = m_temp.path() + "/plain-file";
    std::ofstream(blocker) << "x";
    std::string failure;
    EXPECT_FALSE(support::PrepareLogFolder(blocker, failure));
    EXPECT_EQ(failure, "Cannot use log folder " + blocker + ": Not a directory");
    EXPECT_FALSE(support::PrepareLogFolder(blocker + "/logs", failure));
    EXPECT_EQ(failure, "Cannot create log folder " + blocker + "/logs: Not a directory");
}

}  // namespace
