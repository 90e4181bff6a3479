// CRegistry and the profile helpers on a store folder of the test's own:
// paths and names it refuses, result codes callers act on, and exact round
// trips of every kind of value through the text file.

#include "support/Profile.h"
#include "support/Registry.h"
#include "RegistryTestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

using namespace support;
using registry_test::kAppKey;
using testfiles::ReadFile;

namespace {

class RegistryTest : public ::testing::Test {
protected:
    testfiles::TempStore m_store;
};

TEST_F(RegistryTest, KeysAreCreatedOnceFoundInAnyCaseAndCloseBackToTheirParents)
{
    CRegistry registry;
    DWORD disposition = 0;
    ASSERT_TRUE(registry.CreateKeyByPath(kAppKey, &disposition));
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    ASSERT_TRUE(registry.WriteDword("MixedCase", 1));
    ASSERT_TRUE(registry.WriteDword("mixedcase", 2));  // the same value: it keeps its first name
    ASSERT_TRUE(registry.CreateKey("Outer"));
    ASSERT_TRUE(registry.CreateKey("Inner\\Deep"));
    EXPECT_FALSE(registry.CreateKey("Two\\\\Slashes"));
    EXPECT_EQ(registry.LastError(), ERROR_BAD_PATHNAME);
    EXPECT_FALSE(registry.OpenKey("No Such Section", KEY_ALL_ACCESS));
    EXPECT_EQ(registry.LastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(registry.m_strSubKey, "Inner\\Deep") << "a failed open keeps the current key";
    ASSERT_TRUE(registry.CloseKey());
    EXPECT_EQ(registry.m_strSubKey, "Outer");
    ASSERT_TRUE(registry.CloseKey());
    DWORD value = 0;
    ASSERT_TRUE(registry.ReadDword("MIXEDCASE", &value)) << "back on the application key";
    EXPECT_EQ(value, 2u);
    const std::uint8_t two[2] = {0x34, 0x12};
    ASSERT_TRUE(registry.SetValue("MixedCase", REG_BINARY, two, 2));
    ASSERT_TRUE(registry.ReadDword("MixedCase", &value));
    EXPECT_EQ(value, 0x1234u) << "no stale upper bytes";
    ASSERT_TRUE(registry.CloseKey());
    EXPECT_FALSE(registry.CloseKey()) << "nothing left to close";

    CRegistry other;
    ASSERT_TRUE(other.CreateKeyByPath("HKEY_CURRENT_USER\\software\\TREVANE DESK2\\trevane2", &disposition));
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    const std::string text = ReadFile(m_store.File());
    EXPECT_NE(text.find("\"MixedCase\"=hex:34,12"), std::string::npos) << text;
    EXPECT_EQ(text.find("mixedcase"), std::string::npos);
}

TEST_F(RegistryTest, EveryKindOfValueRoundTripsThroughTheFile)
{
    using namespace std::string_literals;
    std::string binary;
    for (int i = 0; i < 300; ++i)
        binary += static_cast<char>(i * 7);
    const struct Sample {
        std::string name;
        DWORD type;
        std::string data;
    } samples[] = {
        {"", REG_SZ, "the default value\0"s},
        {"@", REG_SZ, "named like the default\0"s},
        {"Back\\slash \"quoted\"", REG_SZ, "C:\\dir\\\"file\".txt\\\0"s},
        {"Line\r\nBreak", REG_SZ, "first\r\nsecond\nthird\r\0"s},
        {"한글 이름", REG_SZ, "값 — ünïcödé\0"s},
        {"Bad\xff\xfe utf8", REG_SZ, "latin-1 \xe9\xe8\0"s},
        {"NoTerminator", REG_SZ, "abc"},
        {"EmbeddedNul", REG_SZ, "a\0b\0"s},
        {"Binary", REG_BINARY, binary},
        {"ShortDword", REG_DWORD, "\x01\x02"},
        {"OddType", 0x12345, "x"},
    };
    const char* const values = "Software\\Trevane Desk2\\Trevane2\\Values";
    {
        CRegistry registry;
        ASSERT_TRUE(registry.CreateKeyByPath((std::string(kAppKey) + "\\Values").c_str()));
        for (const Sample& s : samples)
            ASSERT_TRUE(registry.SetValue(s.name.c_str(), s.type, s.data.data(), static_cast<DWORD>(s.data.size())))
                << s.name;
        ASSERT_TRUE(registry.CreateKey("Sub \"quoted\" ]key[ 한글"));
    }
    // A copy in a folder this process has never read: everything comes from
    // the text alone.
    testfiles::TempStore copy;
    std::filesystem::copy_file(m_store.File(), copy.File());
    CRegistry registry;
    ASSERT_TRUE(registry.CreateKeyByPath("HKEY_CURRENT_USER"));
    ASSERT_TRUE(registry.OpenKey(values, KEY_READ));
    EXPECT_EQ(registry.m_dwValues, std::size(samples));
    for (const Sample& s : samples) {
        std::string data(s.data.size() + 1, '\xEE');
        DWORD type = 0, size = static_cast<DWORD>(data.size());
        ASSERT_TRUE(registry.QueryValue(s.name.c_str(), &type, data.data(), &size)) << s.name;
        data.resize(size);
        EXPECT_TRUE(type == s.type && data == s.data) << s.name;
    }
    EXPECT_TRUE(registry.OpenKey("SUB \"QUOTED\" ]KEY[ 한글", KEY_READ));
}

TEST_F(RegistryTest, TheFileIsRegedit4WithCrLfAndAHandWrittenOneIsRead)
{
    {
        CRegistry registry;
        ASSERT_TRUE(registry.CreateKeyByPath("HKEY_CURRENT_USER\\Software\\Format"));
        ASSERT_TRUE(registry.WriteDword("Count", 10));
        ASSERT_TRUE(registry.SetValue("", REG_SZ, "default", 8));
        ASSERT_TRUE(registry.SetValue("Path", REG_SZ, "C:\\dir \"q\"", 11));
        ASSERT_TRUE(registry.SetValue("Lines", REG_SZ, "a\r\nb", 5));
        const std::vector<std::uint8_t> big(100, 0xAB);
        ASSERT_TRUE(registry.SetValue("Big", REG_BINARY, big.data(), 100));
    }
    const std::string text = ReadFile(m_store.File());
    EXPECT_EQ(text.rfind("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER]\r\n", 0), 0u) << text;
    for (const char* line : {"\r\n[HKEY_CURRENT_USER\\Software\\Format]\r\n", "\r\n\"Count\"=dword:0000000a\r\n",
                             "\r\n@=\"default\"\r\n", "\r\n\"Path\"=\"C:\\\\dir \\\"q\\\"\"\r\n",
                             "\r\n\"Lines\"=hex(1):61,0d,0a,62,00\r\n", ",\\\r\n  ab,ab"})
        EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;
    for (std::size_t i = 0; i < text.size(); ++i)
        ASSERT_FALSE(text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) << "bare LF at " << i;

    testfiles::WriteFile(m_store.File(),
                         "REGEDIT4\n\n; written by hand\n[hkey_current_user\\Software\\Hand\\Made]\n"
                         "\"Number\"=dword:ff\n\"Data\"=hex:01,02,\\\n   03,04\n@=\"dflt\"\n"
                         "\"Number\"=dword:00000010\n");
    CRegistry registry;
    ASSERT_TRUE(registry.CreateKeyByPath("HKEY_CURRENT_USER"));
    ASSERT_TRUE(registry.OpenKey("software\\HAND", KEY_READ)) << "implied parent";
    ASSERT_TRUE(registry.OpenKey("made", KEY_READ));
    DWORD number = 0;
    ASSERT_TRUE(registry.ReadDword("Number", &number));
    EXPECT_EQ(number, 16u) << "a later line wins";
    for (const auto& [name, type, data] : {std::tuple<const char*, DWORD, std::string>{"Data", REG_BINARY, "\x01\x02\x03\x04"},
                                           {"", REG_SZ, std::string("dflt", 5)}}) {
        char got[8];
        DWORD size = sizeof got, gotType = 0;
        ASSERT_TRUE(registry.QueryValue(name, &gotType, got, &size)) << name;
        EXPECT_TRUE(gotType == type && std::string(got, size) == data) << name;
    }
}

TEST_F(RegistryTest, ProfileValuesRoundTripAndReadsWriteNothing)
{
    EXPECT_EQ(GetProfileInt("CommPortSettings", "Port", -9), -9);
    EXPECT_EQ(GetProfileString("CommPortSettings", "Device1", "/dev/ttyS0"), "/dev/ttyS0");
    EXPECT_TRUE(testfiles::FileNames(m_store.path()).empty()) << "a read must not write";

    for (int value : {-1, INT_MAX, INT_MIN}) {
        ASSERT_TRUE(WriteProfileInt("CommPortSettings", "BaudRate", value));
        EXPECT_EQ(GetProfileInt("CommPortSettings", "BaudRate", 99), value);
    }
    for (const std::string& value : {std::string(), std::string("line\r\nbreak"), std::string(5000, 'z')}) {
        ASSERT_TRUE(WriteProfileString("CommPortSettings", "Device1", value));
        EXPECT_EQ(GetProfileString("CommPortSettings", "Device1", "default"), value);
    }
    EXPECT_EQ(GetProfileInt("CommPortSettings", "Device1", 5), 5) << "a string is no number";
    EXPECT_EQ(GetProfileString("CommPortSettings", "BaudRate", "dflt"), "dflt") << "nor a number a string";
    EXPECT_NE(ReadFile(m_store.File()).find("\"BaudRate\"=dword:80000000"), std::string::npos);
}

}  // namespace
