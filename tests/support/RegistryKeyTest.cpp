// CRegistry: choosing roots, walking keys on the stack, path parsing and the
// result codes callers see.

#include "support/Registry.h"
#include "support/RegistryStore.h"
#include "RegistryTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace support;
using registry_test::StoreFolder;
using registry_test::TempDir;

namespace {

constexpr const char* kAppKey = "HKEY_CURRENT_USER\\Software\\Trevane Desk2\\Trevane2";

class RegistryKeyTest : public ::testing::Test {
protected:
    TempDir m_dir;
    StoreFolder m_folder{m_dir.path()};
};

TEST_F(RegistryKeyTest, ApplicationKeyIsCreatedThenOpened)
{
    CRegistry registry;
    DWORD disposition = 0;
    ASSERT_TRUE(registry.CreateKeyByPath(kAppKey, &disposition));
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    EXPECT_EQ(registry.LastError(), 0);
    EXPECT_EQ(registry.m_hRootKey, HKEY_CURRENT_USER);
    EXPECT_EQ(registry.m_strRootName, "HKEY_CURRENT_USER");
    EXPECT_EQ(registry.m_strSubKey, "Software\\Trevane Desk2\\Trevane2");
    EXPECT_NE(registry.m_hCurrentKey, 0u);
    EXPECT_EQ(registry.m_samAccess, KEY_ALL_ACCESS);
    // The current-user root is not pushed; only the subkey is.
    EXPECT_EQ(registry.m_keyStack.m_nTop, 0);

    DWORD again = 0;
    ASSERT_TRUE(registry.CreateKeyByPath(kAppKey, &again));
    EXPECT_EQ(again, REG_OPENED_EXISTING_KEY);

    CRegistry other;
    DWORD third = 0;
    ASSERT_TRUE(other.CreateKeyByPath(
        "HKEY_CURRENT_USER\\software\\TREVANE DESK2\\trevane2", &third));
    EXPECT_EQ(third, REG_OPENED_EXISTING_KEY) << "key names ignore case";
}

TEST_F(RegistryKeyTest, ResetStateAfterConstruction)
{
    CRegistry registry;
    EXPECT_EQ(registry.m_hCurrentKey, 0u);
    EXPECT_EQ(registry.m_hRootKey, 0u);
    EXPECT_EQ(registry.m_samAccess, KEY_READ);
    EXPECT_EQ(registry.m_keyStack.m_nTop, -1);
    EXPECT_EQ(registry.LastError(), 0);
    EXPECT_STREQ(registry.GetRuntimeClass(), "CRegistry");
}

TEST_F(RegistryKeyTest, RootOnlyPathStandsOnTheRoot)
{
    CRegistry registry;
    ASSERT_TRUE(registry.CreateKeyByPath("HKEY_USERS"));
    EXPECT_EQ(registry.m_hCurrentKey, 0u);
    EXPECT_NE(registry.m_hRootKey, 0u);
    EXPECT_EQ(registry.m_strRootName, "HKEY_USERS");
    EXPECT_EQ(registry.m_keyStack.m_nTop, 0);  // the connected root

    EXPECT_FALSE(registry.OpenKey("Software", KEY_ALL_ACCESS));
    EXPECT_EQ(registry.LastError(), ERROR_FILE_NOT_FOUND);
    ASSERT_TRUE(registry.CreateKey("Software"));
    ASSERT_TRUE(registry.WriteDword("Marker", 7));

    CRegistry second;
    ASSERT_TRUE(second.CreateKeyByPath("HKEY_USERS"));
    ASSERT_TRUE(second.OpenKey("Software", KEY_READ));
    DWORD marker = 0;
    ASSERT_TRUE(second.ReadDword("Marker", &marker));
    EXPECT_EQ(marker, 7u);

    const auto names = registry_test::FileNames(m_dir.path());
    EXPECT_NE(std::find(names.begin(), names.end(), "HKEY_USERS.reg"), names.end());
}

TEST_F(RegistryKeyTest, ComputerNameIsIgnoredForCurrentUser)
{
    CRegistry registry;
    DWORD disposition = 0;
    ASSERT_TRUE(registry.CreateKeyByPath("\\\\FARAWAY\\HKEY_CURRENT_USER\\Software\\Remote",
                                         &disposition));
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    EXPECT_EQ(registry.m_hRootKey, HKEY_CURRENT_USER);
    EXPECT_NE(registry.m_strComputerName, "FARAWAY");

    CRegistry local;
    EXPECT_TRUE(local.CreateKeyByPath("HKEY_CURRENT_USER"));
    EXPECT_TRUE(local.OpenKey("Software\\Remote", KEY_READ)) << "created on this computer";
}

TEST_F(RegistryKeyTest, RemoteComputerIsRefused)
{
    CRegistry registry;
    EXPECT_FALSE(registry.CreateKeyByPath("\\\\FARAWAY\\HKEY_LOCAL_MACHINE\\Software"));
    EXPECT_EQ(registry.LastError(), ERROR_BAD_NETPATH);
    EXPECT_EQ(registry.m_keyStack.m_nTop, -1);

    CRegistry direct;
    EXPECT_FALSE(direct.Connect(HKEY_LOCAL_MACHINE, "FARAWAY"));
    EXPECT_EQ(direct.LastError(), ERROR_BAD_NETPATH);
    EXPECT_FALSE(direct.Connect(HKEY_CURRENT_USER, "FARAWAY"));
    EXPECT_EQ(direct.LastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(direct.Connect(HKEY_CLASSES_ROOT, ""));
    EXPECT_EQ(direct.LastError(), ERROR_INVALID_HANDLE);

    ASSERT_TRUE(direct.Connect(HKEY_LOCAL_MACHINE, nullptr));
    EXPECT_EQ(direct.m_strRootName, "HKEY_LOCAL_MACHINE");
    EXPECT_EQ(direct.m_strComputerName, LocalComputerName());
    EXPECT_EQ(direct.m_keyStack.m_nTop, 0);
}

TEST_F(RegistryKeyTest, LowerCaseRootIsNotRecognised)
{
    CRegistry registry;
    EXPECT_EQ(CRegistry::RootKeyFromName("hkey_current_user"), 0u);
    EXPECT_FALSE(registry.CreateKeyByPath("hkey_current_user\\Software"));
    EXPECT_EQ(registry.LastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(registry.m_hCurrentKey, 0u);
}

TEST_F(RegistryKeyTest, MalformedPathsFailWithoutAnErrorCode)
{
    const char* const paths[] = {
        "\\HKEY_CURRENT_USER\\Software",  // one leading backslash
        "\\\\COMPUTER",                   // computer, nothing after
        "\\\\COMPUTER\\",                 // computer and backslash, no root
        "",
        nullptr,
    };
    for (const char* path : paths) {
        CRegistry registry;
        ASSERT_TRUE(registry.CreateKeyByPath("HKEY_CURRENT_USER"));
        EXPECT_FALSE(registry.OpenKey("Missing", KEY_READ));
        ASSERT_EQ(registry.LastError(), ERROR_FILE_NOT_FOUND);
        EXPECT_FALSE(registry.CreateKeyByPath(path)) << (path ? path : "(null)");
        EXPECT_EQ(registry.LastError(), 0) << (path ? path : "(null)");
        EXPECT_EQ(registry.m_hRootKey, 0u);
    }
}

TEST_F(RegistryKeyTest, ParsePathSplitsItsParts)
{
    CRegistry registry;
    ASSERT_TRUE(registry.ParsePath("\\\\HOST\\HKEY_USERS\\A\\B\\"));
    EXPECT_EQ(registry.m_strComputerName, "HOST");
    EXPECT_EQ(registry.m_strRootName, "HKEY_USERS");
    EXPECT_EQ(registry.m_strSubKey, "A\\B\\");
    EXPECT_FALSE(registry.ParsePath("HKEY_USERS")) << "refused until reset";
    registry.Reset();
    ASSERT_TRUE(registry.ParsePath("HKEY_DYN_DATA\\"));
    EXPECT_EQ(registry.m_strRootName, "HKEY_DYN_DATA");
    EXPECT_EQ(registry.m_strSubKey, "");
    registry.Reset();
    ASSERT_TRUE(registry.ParsePath(" HKEY_USERS"));
    EXPECT_EQ(registry.m_strRootName, " HKEY_USERS") << "no trimming";
}

TEST_F(RegistryKeyTest, RootTableBothWays)
{
    const std::pair<const char*, HKEY> roots[] = {
        {"HKEY_CLASSES_ROOT", 0x80000000u},  {"HKEY_CURRENT_USER", 0x80000001u},
        {"HKEY_LOCAL_MACHINE", 0x80000002u}, {"HKEY_USERS", 0x80000003u},
        {"HKEY_PERFORMANCE_DATA", 0x80000004u}, {"HKEY_CURRENT_CONFIG", 0x80000005u},
        {"HKEY_DYN_DATA", 0x80000006u},
    };
    for (const auto& [name, key] : roots) {
        EXPECT_EQ(CRegistry::RootKeyFromName(name), key);
        EXPECT_STREQ(CRegistry::RootKeyName(key), name);
    }
    EXPECT_STREQ(CRegistry::RootKeyName(0x80000007u), "");
    EXPECT_EQ(CRegistry::RootKeyFromName(nullptr), 0u);
}

TEST_F(RegistryKeyTest, CloseKeyOnEmptyStackFails)
{
    CRegistry registry;
    EXPECT_FALSE(registry.CloseKey());
}

TEST_F(RegistryKeyTest, KeysCloseBackToTheirParents)
{
    CRegistry registry;
    ASSERT_TRUE(registry.CreateKeyByPath(kAppKey));
    const HKEY appKey = registry.m_hCurrentKey;
    ASSERT_TRUE(registry.CreateKey("Outer"));
    ASSERT_TRUE(registry.CreateKey("Inner\\Deep"));
    EXPECT_EQ(registry.m_strSubKey, "Inner\\Deep");
    EXPECT_EQ(registry.m_keyStack.m_nTop, 2);

    ASSERT_TRUE(registry.CloseKey());
    EXPECT_EQ(registry.m_strSubKey, "Outer");
    ASSERT_TRUE(registry.CloseKey());
    EXPECT_EQ(registry.m_hCurrentKey, appKey);
    EXPECT_EQ(registry.m_strSubKey, "Software\\Trevane Desk2\\Trevane2");
    ASSERT_TRUE(registry.CloseKey());
    EXPECT_EQ(registry.m_hCurrentKey, 0u);
    EXPECT_EQ(registry.m_strSubKey, "");
    EXPECT_FALSE(registry.CloseKey());
}

TEST_F(RegistryKeyTest, OpenOfMissingSubkeyKeepsTheParent)
{
    CRegistry registry;
    ASSERT_TRUE(registry.CreateKeyByPath(kAppKey));
    ASSERT_TRUE(registry.WriteDword("OnParent", 1));
    const HKEY parent = registry.m_hCurrentKey;

    EXPECT_FALSE(registry.OpenKey("No Such Section", KEY_ALL_ACCESS));
    EXPECT_EQ(registry.LastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(registry.m_hCurrentKey, parent);
    EXPECT_EQ(registry.m_keyStack.m_nTop, 0);
    DWORD value = 0;
    EXPECT_TRUE(registry.ReadDword("OnParent", &value));
    EXPECT_EQ(value, 1u);
    EXPECT_TRUE(registry.CloseKey());
}

TEST_F(RegistryKeyTest, MissingValueAndMissingArguments)
{
    CRegistry registry;
    ASSERT_TRUE(registry.CreateKeyByPath(kAppKey));
    DWORD value = 1234;
    EXPECT_FALSE(registry.ReadDword("Nothing", &value));
    EXPECT_EQ(registry.LastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(value, 1234u);

    EXPECT_FALSE(registry.ReadDword(nullptr, &value));
    EXPECT_EQ(registry.LastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(registry.CreateKey(nullptr));
    EXPECT_EQ(registry.LastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(registry.SetValue("x", REG_BINARY, nullptr, 0));
    EXPECT_EQ(registry.LastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(registry.SetValue(nullptr, REG_BINARY, "x", 1));
    EXPECT_EQ(registry.LastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(registry.WriteDword(nullptr, 1));
    EXPECT_EQ(registry.LastError(), ERROR_INVALID_PARAMETER);
    DWORD size = 4;
    EXPECT_FALSE(registry.QueryValue(nullptr, nullptr, &value, &size));
    EXPECT_EQ(registry.LastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryKeyTest, ValueCallsWithoutACurrentKeyFail)
{
    CRegistry registry;
    DWORD value = 0;
    EXPECT_FALSE(registry.ReadDword("x", &value));
    EXPECT_EQ(registry.LastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(registry.WriteDword("x", 1));
    EXPECT_EQ(registry.LastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(registry.CreateKey("x")) << "no root chosen";
    EXPECT_FALSE(registry.OpenKey("x", KEY_READ));
}

TEST_F(RegistryKeyTest, BadSubkeyPaths)
{
    CRegistry registry;
    ASSERT_TRUE(registry.CreateKeyByPath("HKEY_CURRENT_USER"));
    EXPECT_FALSE(registry.CreateKey("\\Leading"));
    EXPECT_EQ(registry.LastError(), ERROR_BAD_PATHNAME);
    EXPECT_FALSE(registry.CreateKey("Two\\\\Slashes"));
    EXPECT_EQ(registry.LastError(), ERROR_BAD_PATHNAME);
    EXPECT_FALSE(registry.CreateKey("Line\nBreak"));
    EXPECT_EQ(registry.LastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(registry.CreateKey(std::string(256, 'k').c_str()));
    EXPECT_EQ(registry.LastError(), ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(registry.CreateKey("Trailing\\"));
    EXPECT_TRUE(registry.CloseKey());
    EXPECT_TRUE(registry.CreateKey("한글 키"));
}

TEST_F(RegistryKeyTest, ReadOnlyKeyRefusesWrites)
{
    CRegistry writer;
    ASSERT_TRUE(writer.CreateKeyByPath(kAppKey));
    CRegistry reader;
    ASSERT_TRUE(reader.CreateKeyByPath("HKEY_CURRENT_USER"));
    ASSERT_TRUE(reader.OpenKey("Software\\Trevane Desk2\\Trevane2", KEY_READ));
    EXPECT_EQ(reader.m_samAccess, KEY_READ);
    EXPECT_FALSE(reader.WriteDword("x", 1));
    EXPECT_EQ(reader.LastError(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(reader.CreateKey("NewSection"));
    EXPECT_EQ(reader.LastError(), ERROR_ACCESS_DENIED);
}

TEST_F(RegistryKeyTest, KeyInformationIsRefreshedOnOpen)
{
    const std::uint64_t before = FileTimeToUInt64(CRegistry().m_ftLastWriteTime);
    EXPECT_EQ(before, 0u);
    const auto now = [] {
        return 116444736000000000ULL +
               static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                              std::chrono::system_clock::now().time_since_epoch())
                                              .count() /
                                          100);
    };
    const std::uint64_t start = now();
    {
        CRegistry writer;
        ASSERT_TRUE(writer.CreateKeyByPath(kAppKey));
        ASSERT_TRUE(writer.CreateKey("Sub", nullptr, "ClassOfSub"));
        ASSERT_TRUE(writer.CloseKey());
        ASSERT_TRUE(writer.CreateKey("LongerSubkey"));
        ASSERT_TRUE(writer.CloseKey());
        ASSERT_TRUE(writer.WriteDword("A", 1));
        ASSERT_TRUE(writer.SetValue("LongestName", REG_BINARY, "0123456789", 10));
    }
    const std::uint64_t end = now();

    CRegistry registry;
    ASSERT_TRUE(registry.CreateKeyByPath("HKEY_CURRENT_USER"));
    ASSERT_TRUE(registry.OpenKey("Software\\Trevane Desk2\\Trevane2", KEY_READ));
    EXPECT_EQ(registry.m_dwSubKeys, 2u);
    EXPECT_EQ(registry.m_dwValues, 2u);
    EXPECT_EQ(registry.m_dwMaxSubKeyLen, 12u);
    EXPECT_EQ(registry.m_dwMaxClassLen, 10u);
    EXPECT_EQ(registry.m_dwMaxValueNameLen, 11u);
    EXPECT_EQ(registry.m_dwMaxValueLen, 10u);
    EXPECT_EQ(registry.m_strClassName, "");
    const std::uint64_t written = FileTimeToUInt64(registry.m_ftLastWriteTime);
    EXPECT_GE(written, start);
    EXPECT_LE(written, end);

    ASSERT_TRUE(registry.OpenKey("Sub", KEY_READ));
    EXPECT_EQ(registry.m_strClassName, "ClassOfSub");
    EXPECT_EQ(registry.m_dwSubKeys, 0u);
    EXPECT_EQ(registry.m_dwValues, 0u);
}

TEST_F(RegistryKeyTest, OpenWithoutNameOpensTheSameKey)
{
    CRegistry registry;
    ASSERT_TRUE(registry.CreateKeyByPath(kAppKey));
    ASSERT_TRUE(registry.WriteDword("Here", 5));
    ASSERT_TRUE(registry.OpenKey(nullptr, KEY_READ));
    EXPECT_EQ(registry.m_keyStack.m_nTop, 1);
    DWORD value = 0;
    EXPECT_TRUE(registry.ReadDword("Here", &value));
    EXPECT_EQ(value, 5u);
}

TEST(RegKeyStackTest, PushPopPeek)
{
    CRegKeyStack stack;
    EXPECT_FALSE(stack.Push(nullptr));
    EXPECT_EQ(stack.m_nTop, -1);
    EXPECT_EQ(stack.Pop(), nullptr);
    EXPECT_EQ(stack.Peek(0), nullptr);

    EXPECT_TRUE(stack.Push(std::make_unique<RegKeyEntry>(0, "a")));
    EXPECT_TRUE(stack.Push(std::make_unique<RegKeyEntry>(0, "b")));
    EXPECT_EQ(stack.m_nTop, 1);
    ASSERT_NE(stack.Peek(0), nullptr);
    EXPECT_EQ(stack.Peek(0)->m_strName, "b");
    EXPECT_EQ(stack.Peek(1)->m_strName, "a");
    EXPECT_EQ(stack.Peek(2), nullptr);
    EXPECT_EQ(stack.Peek(-1), nullptr);

    auto top = stack.Pop();
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->m_strName, "b");
    EXPECT_EQ(stack.m_nTop, 0);
    stack.RemoveAll();
    EXPECT_EQ(stack.m_nTop, -1);
    EXPECT_TRUE(stack.IsEmpty());
}

}  // namespace
