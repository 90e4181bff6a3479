// Values in the settings store: sizes and result codes, and exact round trips
// through the text file of every kind of name and data.

#include "support/Registry.h"
#include "support/RegistryFile.h"
#include "RegistryTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using namespace support;
using registry_test::ReadWholeFile;
using registry_test::StoreFolder;
using registry_test::TempDir;

namespace {

constexpr const char* kKey = "HKEY_CURRENT_USER\\Software\\Trevane Desk2\\Trevane2\\Values";

std::vector<std::uint8_t> Bytes(std::string_view text)
{
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

struct Sample {
    std::string name;
    DWORD type;
    std::vector<std::uint8_t> data;
};

std::vector<Sample> Samples()
{
    std::vector<std::uint8_t> binary;
    for (int i = 0; i < 300; ++i)
        binary.push_back(static_cast<std::uint8_t>(i * 7));
    using namespace std::string_literals;
    return {
        {"Plain", REG_SZ, Bytes("hello world\0"s)},
        {"", REG_SZ, Bytes("the default value\0"s)},
        {"@", REG_SZ, Bytes("named like the default\0"s)},
        {"Back\\slash \"quoted\"", REG_SZ, Bytes("C:\\dir\\\"file\".txt\\\0"s)},
        {"Line\r\nBreak", REG_SZ, Bytes("first\r\nsecond\nthird\r\0"s)},
        {"한글 이름", REG_SZ, Bytes("값 — ünïcödé\0"s)},
        {"Bad\xff\xfe utf8", REG_SZ, Bytes("latin-1 \xe9\xe8\0"s)},
        {"Tab\there", REG_SZ, Bytes("tab\there\0"s)},
        {"EmptyString", REG_SZ, Bytes("\0"s)},
        {"NoTerminator", REG_SZ, Bytes("abc")},
        {"NothingAtAll", REG_SZ, {}},
        {"EmbeddedNul", REG_SZ, Bytes("a\0b\0"s)},
        {"Ends with backslash\\", REG_SZ, Bytes("trailing\\\0"s)},
        {"Binary", REG_BINARY, binary},
        {"EmptyBinary", REG_BINARY, {}},
        {"Dword", REG_DWORD, {0x0a, 0x00, 0x00, 0x80}},
        {"ShortDword", REG_DWORD, {0x01, 0x02}},
        {"Multi", REG_MULTI_SZ, Bytes("one\0two\0\0"s)},
        {"OddType", 0x12345, Bytes("x")},
    };
}

class RegistryValueTest : public ::testing::Test {
protected:
    TempDir m_dir;
    StoreFolder m_folder{m_dir.path()};
    std::string StoreFile() const { return m_dir.path() + "/HKEY_CURRENT_USER.reg"; }
};

TEST_F(RegistryValueTest, BufferTooSmallReportsTheNeededSize)
{
    CRegistry registry;
    ASSERT_TRUE(registry.CreateKeyByPath(kKey));
    ASSERT_TRUE(registry.SetValue("Text", REG_SZ, "123456789", 10));

    char small[4] = {'x', 'x', 'x', 'x'};
    DWORD size = sizeof small;
    DWORD type = 0;
    EXPECT_FALSE(registry.QueryValue("Text", &type, small, &size));
    EXPECT_EQ(registry.LastError(), ERROR_MORE_DATA);
    EXPECT_EQ(size, 10u);
    EXPECT_EQ(type, 0u) << "type is written back only on success";

    DWORD sizeOnly = 0;
    EXPECT_TRUE(registry.QueryValue("Text", &type, nullptr, &sizeOnly));
    EXPECT_EQ(registry.LastError(), 0);
    EXPECT_EQ(sizeOnly, 10u);
    EXPECT_EQ(type, REG_SZ);

    char exact[10];
    size = sizeof exact;
    ASSERT_TRUE(registry.QueryValue("Text", &type, exact, &size));
    EXPECT_EQ(size, 10u);
    EXPECT_STREQ(exact, "123456789");

    DWORD number = 0;
    EXPECT_FALSE(registry.ReadDword("Text", &number));
    EXPECT_EQ(registry.LastError(), ERROR_MORE_DATA);
}

TEST_F(RegistryValueTest, ReadDwordTakesAnyDataThatFits)
{
    CRegistry registry;
    ASSERT_TRUE(registry.CreateKeyByPath(kKey));
    ASSERT_TRUE(registry.WriteDword("Four", 0xDEADBEEF));
    const std::uint8_t two[2] = {0x34, 0x12};
    ASSERT_TRUE(registry.SetValue("Two", REG_BINARY, two, 2));

    DWORD value = 0;
    ASSERT_TRUE(registry.ReadDword("Four", &value));
    EXPECT_EQ(value, 0xDEADBEEFu);
    ASSERT_TRUE(registry.ReadDword("Two", &value));
    EXPECT_EQ(value, 0x1234u) << "no stale upper bytes";
}

TEST_F(RegistryValueTest, ValueNamesIgnoreCaseAndKeepTheirs)
{
    CRegistry registry;
    ASSERT_TRUE(registry.CreateKeyByPath(kKey));
    ASSERT_TRUE(registry.WriteDword("MixedCase", 1));
    ASSERT_TRUE(registry.WriteDword("mixedcase", 2));
    EXPECT_EQ(registry.m_dwValues, 0u);  // as of the create
    DWORD value = 0;
    ASSERT_TRUE(registry.ReadDword("MIXEDCASE", &value));
    EXPECT_EQ(value, 2u);
    const std::string text = ReadWholeFile(StoreFile());
    EXPECT_NE(text.find("\"MixedCase\"=dword:00000002"), std::string::npos) << text;
    EXPECT_EQ(text.find("mixedcase"), std::string::npos);
}

TEST_F(RegistryValueTest, EveryKindOfValueRoundTripsThroughTheFile)
{
    {
        CRegistry registry;
        ASSERT_TRUE(registry.CreateKeyByPath(kKey));
        for (const Sample& sample : Samples()) {
            const char* data = sample.data.empty()
                                   ? ""
                                   : reinterpret_cast<const char*>(sample.data.data());
            ASSERT_TRUE(registry.SetValue(sample.name.c_str(), sample.type, data,
                                          static_cast<DWORD>(sample.data.size())))
                << sample.name;
        }
        ASSERT_TRUE(registry.CreateKey("Sub \"quoted\" ]key[ 한글"));
    }

    // A copy in a folder this process has never read: everything comes from
    // the text alone.
    TempDir copy;
    std::filesystem::copy_file(StoreFile(), copy.path() + "/HKEY_CURRENT_USER.reg");
    StoreFolder other(copy.path());

    CRegistry registry;
    ASSERT_TRUE(registry.CreateKeyByPath("HKEY_CURRENT_USER"));
    ASSERT_TRUE(registry.OpenKey("Software\\Trevane Desk2\\Trevane2\\Values", KEY_READ));
    EXPECT_EQ(registry.m_dwValues, Samples().size());
    for (const Sample& sample : Samples()) {
        DWORD type = 0;
        DWORD size = 0;
        ASSERT_TRUE(registry.QueryValue(sample.name.c_str(), &type, nullptr, &size))
            << sample.name;
        std::vector<std::uint8_t> data(size + 1, 0xEE);
        ASSERT_TRUE(registry.QueryValue(sample.name.c_str(), &type, data.data(), &size));
        data.resize(size);
        EXPECT_EQ(type, sample.type) << sample.name;
        EXPECT_EQ(data, sample.data) << sample.name;
    }
    EXPECT_TRUE(registry.OpenKey("SUB \"QUOTED\" ]KEY[ 한글", KEY_READ));
}

TEST_F(RegistryValueTest, FileIsRegedit4WithCrLf)
{
    {
        CRegistry registry;
        ASSERT_TRUE(registry.CreateKeyByPath("HKEY_CURRENT_USER\\Software\\Format"));
        ASSERT_TRUE(registry.WriteDword("Count", 10));
        ASSERT_TRUE(registry.SetValue("", REG_SZ, "default", 8));
        ASSERT_TRUE(registry.SetValue("Bin", REG_BINARY, "\x01\x02", 2));
        ASSERT_TRUE(registry.SetValue("Path", REG_SZ, "C:\\dir \"q\"", 11));
        ASSERT_TRUE(registry.SetValue("Lines", REG_SZ, "a\r\nb", 5));
        std::vector<std::uint8_t> big(100, 0xAB);
        ASSERT_TRUE(registry.SetValue("Big", REG_BINARY, big.data(), 100));
    }
    const std::string text = ReadWholeFile(StoreFile());
    EXPECT_EQ(text.rfind("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER]\r\n", 0), 0u) << text;
    EXPECT_NE(text.find("\r\n[HKEY_CURRENT_USER\\Software]\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\n[HKEY_CURRENT_USER\\Software\\Format]\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\n\"Count\"=dword:0000000a\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\n@=\"default\"\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\n\"Bin\"=hex:01,02\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\n\"Path\"=\"C:\\\\dir \\\"q\\\"\"\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\n\"Lines\"=hex(1):61,0d,0a,62,00\r\n"), std::string::npos);
    EXPECT_NE(text.find(",\\\r\n  ab,ab"), std::string::npos) << "long lists go on over lines";
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << "bare LF at " << i;
        }
    }
    EXPECT_TRUE(text.ends_with("\r\n"));
}

TEST_F(RegistryValueTest, HandWrittenFileIsRead)
{
    registry_test::WriteWholeFile(StoreFile(),
                                  "REGEDIT4\n"
                                  "\n"
                                  "; written by hand\n"
                                  "[hkey_current_user\\Software\\Hand\\Made]\n"
                                  "\"Number\"=dword:ff\n"
                                  "\"Data\"=hex:01,02,\\\n"
                                  "   03,04\n"
                                  "@=\"dflt\"\n"
                                  "\"Number\"=dword:00000010\n");
    CRegistry registry;
    ASSERT_TRUE(registry.CreateKeyByPath("HKEY_CURRENT_USER"));
    ASSERT_TRUE(registry.OpenKey("software\\HAND", KEY_READ)) << "implied parent";
    ASSERT_TRUE(registry.OpenKey("made", KEY_READ));
    EXPECT_NE(FileTimeToUInt64(registry.m_ftLastWriteTime), 0u) << "the file's time";
    DWORD number = 0;
    ASSERT_TRUE(registry.ReadDword("Number", &number));
    EXPECT_EQ(number, 16u) << "a later line wins";
    std::uint8_t data[8];
    DWORD size = sizeof data;
    DWORD type = 0;
    ASSERT_TRUE(registry.QueryValue("Data", &type, data, &size));
    EXPECT_EQ(type, REG_BINARY);
    ASSERT_EQ(size, 4u);
    EXPECT_EQ(data[3], 4);
    char text[8];
    size = sizeof text;
    ASSERT_TRUE(registry.QueryValue("", &type, text, &size));
    EXPECT_STREQ(text, "dflt");
}

TEST(RegistryFileFormatTest, RejectsWhatItCannotRead)
{
    const char* const bad[] = {
        "",
        "REGEDIT5\r\n",
        "Windows Registry Editor Version 5.00\r\n",
        "REGEDIT4\r\n\"Orphan\"=dword:1\r\n",
        "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\X]\r\n",
        "REGEDIT4\r\n[HKEY_CURRENT_USER\\X\r\n",
        "REGEDIT4\r\n[HKEY_CURRENT_USER\\\\X]\r\n",
        "REGEDIT4\r\n[HKEY_CURRENT_USER]\r\n\"a\"=dword:123456789\r\n",
        "REGEDIT4\r\n[HKEY_CURRENT_USER]\r\n\"a\"=hex:1,2,zz\r\n",
        "REGEDIT4\r\n[HKEY_CURRENT_USER]\r\n\"a\"=\"unterminated\r\n",
        "REGEDIT4\r\n[HKEY_CURRENT_USER]\r\n\"a\"=\"bad \\q escape\"\r\n",
        "REGEDIT4\r\n[HKEY_CURRENT_USER]\r\n\"a\"=hex:01,\\\r\n",
        "REGEDIT4\r\n[HKEY_CURRENT_USER]\r\n\"a\"=-\r\n",
        "REGEDIT4\r\n[HKEY_CURRENT_USER]\r\ngarbage\r\n",
        "REGEDIT4\r\n[HKEY_CURRENT_USER]\r\n;LastWriteTime=abc\r\n",
    };
    for (const char* text : bad) {
        RegKey root;
        std::string error;
        EXPECT_FALSE(ParseRegFile(text, "HKEY_CURRENT_USER", 0, root, error)) << text;
        EXPECT_FALSE(error.empty());
    }
    RegKey root;
    std::string error;
    EXPECT_TRUE(ParseRegFile("REGEDIT4\r\n", "HKEY_CURRENT_USER", 0, root, error)) << error;
}

TEST(RegistryFileFormatTest, FormatThenParseIsIdentity)
{
    RegKey root;
    root.name = "HKEY_USERS";
    root.lastWriteTime = 42;
    RegKey& child = root.AddSubKey("Child");
    child.className = "Cls \"x\"\n";
    child.lastWriteTime = 133000000000000000ULL;
    child.SetValue({"v", REG_SZ, {'a', 0}});
    const std::string text = FormatRegFile(root);

    RegKey parsed;
    std::string error;
    ASSERT_TRUE(ParseRegFile(text, "HKEY_USERS", 7, parsed, error)) << error;
    EXPECT_EQ(parsed.lastWriteTime, 42u);
    const RegKey* found = parsed.FindSubKey("CHILD");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->name, "Child");
    EXPECT_EQ(found->className, "Cls \"x\"\n");
    EXPECT_EQ(found->lastWriteTime, 133000000000000000ULL);
    EXPECT_EQ(FormatRegFile(parsed), text);
}

}  // namespace
