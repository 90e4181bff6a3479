// Hostile settings files: keys nested too deep, hex items too long, and files
// of many megabytes. None may crash the program or take more than linear
// time; an unreadable file is set aside and the settings go on being saved.

#include "support/Registry.h"
#include "support/RegistryFile.h"
#include "RegistryTestSupport.h"

#include <gtest/gtest.h>

#include <pthread.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

using namespace support;
using registry_test::FileNames;
using registry_test::ReadWholeFile;
using registry_test::StoreFolder;
using registry_test::TempDir;

namespace {

constexpr const char* kAppKey = "HKEY_CURRENT_USER\\Software\\Trevane Desk2\\Trevane2";

// "a\a\...\a" with `depth` parts.
std::string Chain(std::size_t depth)
{
    std::string path = "a";
    for (std::size_t i = 1; i < depth; ++i)
        path += "\\a";
    return path;
}

std::string FileWithKey(std::size_t depth)
{
    return "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\" + Chain(depth) + "]\r\n\"v\"=dword:00000007\r\n";
}

bool Parses(const std::string& text, RegKey& root, std::string& error)
{
    return ParseRegFile(text, "HKEY_CURRENT_USER", 0, root, error);
}

// Runs `work` on a thread whose stack is far too small for one call frame
// per level of a deep tree, so any recursion over the levels crashes.
void RunOnSmallStack(const std::function<void()>& work)
{
    pthread_attr_t attr;
    ASSERT_EQ(pthread_attr_init(&attr), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attr, 128 * 1024), 0);
    pthread_t thread;
    auto body = [](void* arg) -> void* {
        (*static_cast<const std::function<void()>*>(arg))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attr, body, const_cast<std::function<void()>*>(&work)), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
}

TEST(RegistryFileLimitsTest, KeysNestUpTo512LevelsAndNoDeeper)
{
    RegKey root;
    std::string error;
    ASSERT_TRUE(Parses(FileWithKey(kMaxKeyDepth), root, error)) << error;
    const RegKey* key = &root;
    for (std::size_t i = 0; i < kMaxKeyDepth && key != nullptr; ++i)
        key = key->FindSubKey("a");
    ASSERT_NE(key, nullptr);
    EXPECT_NE(key->FindValue("v"), nullptr);
    EXPECT_TRUE(key->subKeys.empty());

    EXPECT_FALSE(Parses(FileWithKey(kMaxKeyDepth + 1), root, error));
    EXPECT_EQ(error, "key nested too deep at line 3");
}

TEST(RegistryFileLimitsTest, HexItemsOfThreeOrMoreDigitsAreRejected)
{
    const struct {
        const char* data;
        bool ok;
        std::vector<std::uint8_t> bytes;
    } cases[] = {
        {"hex:1,0f,FF", true, {0x01, 0x0f, 0xff}},
        {"hex:", true, {}},
        {"hex:100", false, {}},
        {"hex:123456789", false, {}},          // past a signed int after eight digits
        {"hex:ffffffffffffffffff", false, {}}, // and past 64 bits
        {"hex:01,fffffffff,02", false, {}},
        {"hex(3):0000000001", false, {}},
        {"dword:123456789", false, {}},
    };
    for (const auto& c : cases) {
        RegKey root;
        std::string error;
        const std::string text = std::string("REGEDIT4\r\n[HKEY_CURRENT_USER]\r\n\"v\"=") + c.data;
        ASSERT_EQ(Parses(text, root, error), c.ok) << c.data << ": " << error;
        if (c.ok) {
            ASSERT_NE(root.FindValue("v"), nullptr);
            EXPECT_EQ(root.FindValue("v")->data, c.bytes) << c.data;
        } else {
            EXPECT_EQ(error, "bad value data at line 3") << c.data;
        }
    }
}

TEST(RegistryFileLimitsTest, ManyValuesAndALongContinuedValueParse)
{
    // Some megabytes: 100,000 values in one key and one value continued over
    // 200,000 lines. A parser that searched values one by one, or copied a
    // continued value again for every line, would not finish in the test's
    // time limit.
    constexpr int kValues = 100000;
    constexpr int kLines = 200000;
    std::string text = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Big]\r\n";
    char line[64];
    for (int i = 0; i < kValues; ++i) {
        std::snprintf(line, sizeof line, "\"Value%d\"=dword:%08x\r\n", i, i);
        text += line;
    }
    text += "\"Long\"=hex:";
    for (int i = 0; i < kLines; ++i) {
        std::snprintf(line, sizeof line, "%02x,%02x%s\r\n", i & 0xff, (i >> 8) & 0xff,
                      i + 1 < kLines ? ",\\" : "");
        text += line;
        if (i + 1 < kLines)
            text += "  ";
    }
    // A second setting of an existing name (any case) replaces it in place.
    text += "\"VALUE7\"=dword:ffffffff\r\n";
    ASSERT_GT(text.size(), 4u * 1000 * 1000);

    RegKey root;
    std::string error;
    ASSERT_TRUE(Parses(text, root, error)) << error;
    const RegKey* big = root.FindSubKey("big");
    ASSERT_NE(big, nullptr);
    ASSERT_EQ(big->Values().size(), static_cast<std::size_t>(kValues) + 1);
    EXPECT_EQ(big->Values()[7].name, "Value7");
    EXPECT_EQ(big->Values()[7].data, (std::vector<std::uint8_t>{0xff, 0xff, 0xff, 0xff}));
    const RegValue* last = big->FindValue("value99999");
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->data, (std::vector<std::uint8_t>{0x9f, 0x86, 0x01, 0x00}));
    const RegValue* longValue = big->FindValue("Long");
    ASSERT_NE(longValue, nullptr);
    ASSERT_EQ(longValue->data.size(), 2u * kLines);
    for (int i = 0; i < kLines; ++i) {
        ASSERT_EQ(longValue->data[2 * i], i & 0xff) << i;
        ASSERT_EQ(longValue->data[2 * i + 1], (i >> 8) & 0xff) << i;
    }

    // And what the store writes back reads the same.
    RegKey again;
    ASSERT_TRUE(Parses(FormatRegFile(root), again, error)) << error;
    ASSERT_NE(again.FindSubKey("Big"), nullptr);
    EXPECT_EQ(again.FindSubKey("Big")->Values().size(), big->Values().size());
    EXPECT_EQ(again.FindSubKey("Big")->FindValue("Long")->data, longValue->data);
}

TEST(RegistryFileLimitsTest, FormattingAndFreeingDoNotRecursePerLevel)
{
    // Deeper than any file may hold, built in memory: the tree must still
    // be written out and freed on a small stack.
    bool formatted = false;
    RunOnSmallStack([&formatted] {
        RegKey root;
        root.name = "HKEY_CURRENT_USER";
        RegKey* key = &root;
        for (int i = 0; i < 3000; ++i)
            key = &key->AddSubKey("a");
        const std::string text = FormatRegFile(root);
        formatted = text.find("[HKEY_CURRENT_USER\\" + Chain(3000) + "]") != std::string::npos;
    });
    EXPECT_TRUE(formatted);

    bool freed = false;
    RunOnSmallStack([&freed] {
        {
            RegKey root;
            RegKey* key = &root;
            for (int i = 0; i < 200000; ++i)
                key = &key->AddSubKey(i % 2 == 0 ? "a" : "b");
            key->AddSubKey("leaf");
        }
        freed = true;
    });
    EXPECT_TRUE(freed);
}

class RegistryHostileFileTest : public ::testing::Test {
protected:
    TempDir m_dir;
    StoreFolder m_folder{m_dir.path()};
    std::string StoreFile() const { return m_dir.path() + "/HKEY_CURRENT_USER.reg"; }
};

TEST_F(RegistryHostileFileTest, ADeepKeyFileIsSetAsideAndSettingsAreStillSaved)
{
    // One 120 KB line of nested key names.
    const std::string hostile = FileWithKey(60000);
    ASSERT_GT(hostile.size(), 120000u);
    registry_test::WriteWholeFile(StoreFile(), hostile);

    CRegistry registry;
    DWORD disposition = 0;
    ASSERT_TRUE(registry.CreateKeyByPath(kAppKey, &disposition)) << registry.LastErrorText();
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    ASSERT_TRUE(registry.WriteDword("Saved", 1));

    std::vector<std::string> aside;
    for (const std::string& name : FileNames(m_dir.path()))
        if (name.find(".corrupt-") != std::string::npos)
            aside.push_back(name);
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(ReadWholeFile(m_dir.path() + "/" + aside[0]), hostile);

    RegKey root;
    std::string error;
    ASSERT_TRUE(Parses(ReadWholeFile(StoreFile()), root, error)) << error;
    CRegistry reader;
    ASSERT_TRUE(reader.CreateKeyByPath(kAppKey));
    DWORD value = 0;
    ASSERT_TRUE(reader.ReadDword("Saved", &value));
    EXPECT_EQ(value, 1u);
}

TEST_F(RegistryHostileFileTest, TheStoreCreatesNoKeyDeeperThanItCanRead)
{
    CRegistry registry;
    ASSERT_TRUE(registry.CreateKeyByPath("HKEY_CURRENT_USER"));
    EXPECT_FALSE(registry.CreateKey(Chain(kMaxKeyDepth + 1).c_str()));
    EXPECT_EQ(registry.LastError(), ERROR_INVALID_PARAMETER);

    ASSERT_TRUE(registry.CreateKey(Chain(kMaxKeyDepth - 1).c_str()));
    ASSERT_TRUE(registry.CreateKey("last"));  // level 512
    EXPECT_FALSE(registry.CreateKey("one-more"));
    EXPECT_EQ(registry.LastError(), ERROR_INVALID_PARAMETER);
    ASSERT_TRUE(registry.WriteDword("Deep", 5));

    // A fresh reader finds it in the file.
    CRegistry reader;
    ASSERT_TRUE(reader.CreateKeyByPath(
        ("HKEY_CURRENT_USER\\" + Chain(kMaxKeyDepth - 1) + "\\last").c_str()));
    DWORD value = 0;
    ASSERT_TRUE(reader.ReadDword("Deep", &value));
    EXPECT_EQ(value, 5u);
}

}  // namespace
