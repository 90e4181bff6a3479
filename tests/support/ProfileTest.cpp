// The per-user profile: integers and strings in sections below the
// application key.

#include "support/Profile.h"
#include "support/Registry.h"
#include "RegistryTestSupport.h"

#include <gtest/gtest.h>

#include <climits>

using namespace support;
using registry_test::FileNames;
using registry_test::ReadWholeFile;
using registry_test::StoreFolder;
using registry_test::TempDir;

namespace {

class ProfileTest : public ::testing::Test {
protected:
    TempDir m_dir;
    StoreFolder m_folder{m_dir.path()};
};

TEST_F(ProfileTest, DefaultKeyIsTheApplicationKey)
{
    EXPECT_EQ(ProfileKey(), "HKEY_CURRENT_USER\\Software\\Trevane Desk2\\Trevane2");
}

TEST_F(ProfileTest, DefaultsWhenAbsentAndReadsCreateNothing)
{
    EXPECT_EQ(GetProfileInt("CommPortSettings", "Port", 3), 3);
    EXPECT_EQ(GetProfileInt("CommPortSettings", "Port", -9), -9);
    EXPECT_EQ(GetProfileString("CommPortSettings", "Device1", "/dev/ttyS0"), "/dev/ttyS0");
    EXPECT_TRUE(FileNames(m_dir.path()).empty()) << "a read must not write";

    ASSERT_TRUE(WriteProfileInt("CommPortSettings", "Port", 1));
    EXPECT_EQ(GetProfileInt("CommPortSettings", "BaudRate", 6), 6);
    EXPECT_EQ(GetProfileInt("Other Section", "Port", 4), 4);
}

TEST_F(ProfileTest, IntegersRoundTripAsDwords)
{
    const int values[] = {0, 1, 7, -1, INT_MAX, INT_MIN, 123456};
    for (int value : values) {
        ASSERT_TRUE(WriteProfileInt("CommPortSettings", "BaudRate", value));
        EXPECT_EQ(GetProfileInt("CommPortSettings", "BaudRate", 99), value);
    }
    ASSERT_TRUE(WriteProfileInt("CommPortSettings", "Parity", -2));

    CRegistry registry;
    ASSERT_TRUE(registry.CreateKeyByPath(
        "HKEY_CURRENT_USER\\Software\\Trevane Desk2\\Trevane2\\CommPortSettings"));
    DWORD type = 0;
    DWORD raw = 0;
    DWORD size = sizeof raw;
    ASSERT_TRUE(registry.QueryValue("Parity", &type, &raw, &size));
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(raw, 0xFFFFFFFEu);
    const std::string text = ReadWholeFile(m_dir.path() + "/HKEY_CURRENT_USER.reg");
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Trevane Desk2\\Trevane2\\CommPortSettings]"),
              std::string::npos);
    EXPECT_NE(text.find("\"Parity\"=dword:fffffffe"), std::string::npos);
}

TEST_F(ProfileTest, StringsRoundTrip)
{
    const std::string values[] = {"/dev/ttyUSB0", "", "한글 장치", "line\r\nbreak",
                                  std::string(5000, 'z')};
    for (const std::string& value : values) {
        ASSERT_TRUE(WriteProfileString("CommPortSettings", "Device1", value));
        EXPECT_EQ(GetProfileString("CommPortSettings", "Device1", "default"), value);
    }
}

TEST_F(ProfileTest, WrongTypeGivesTheDefault)
{
    ASSERT_TRUE(WriteProfileString("CommPortSettings", "Port", "2"));
    EXPECT_EQ(GetProfileInt("CommPortSettings", "Port", 5), 5);
    ASSERT_TRUE(WriteProfileInt("CommPortSettings", "Device1", 2));
    EXPECT_EQ(GetProfileString("CommPortSettings", "Device1", "dflt"), "dflt");
}

TEST_F(ProfileTest, OtherProfileKey)
{
    const std::string saved = ProfileKey();
    SetProfileKey("HKEY_USERS\\Elsewhere");
    EXPECT_TRUE(WriteProfileInt("Sec", "N", 12));
    EXPECT_EQ(GetProfileInt("Sec", "N", 0), 12);
    SetProfileKey(saved);
    EXPECT_EQ(GetProfileInt("Sec", "N", 0), 0);
    EXPECT_TRUE(std::filesystem::exists(m_dir.path() + "/HKEY_USERS.reg"));
}

}  // namespace
