// The settings file's parser and writer on their own: what they refuse and
// why, and hostile files (keys nested too deep, hex items too long, many
// megabytes) that may neither crash them nor take more than linear time.

#include "support/RegistryFile.h"
#include "RegistryTestSupport.h"

#include <gtest/gtest.h>

#include <pthread.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

using namespace support;
using registry_test::Chain;

namespace {

bool Parses(const std::string& text, RegKey& root, std::string& error)
{
    return ParseRegFile(text, "HKEY_CURRENT_USER", 0, root, error);
}

TEST(RegistryFile, WhatItCannotReadIsRefusedWithTheLine)
{
    const std::string key = "REGEDIT4\r\n[HKEY_CURRENT_USER]\r\n\"a\"=";
    const struct {
        std::string text;
        const char* error;  // "" when it is read
    } cases[] = {
        {"REGEDIT4\r\n", ""},
        {"REGEDIT4\r\n[HKEY_CURRENT_USER\\" + Chain(kMaxKeyDepth) + "]\r\n", ""},
        {"", "first line is not REGEDIT4"},
        {"REGEDIT4\r\n\"Orphan\"=dword:1\r\n", "value outside a key at line 2"},
        {"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\X]\r\n", "key of another root at line 2"},
        {"REGEDIT4\r\n[HKEY_CURRENT_USER\\\\X]\r\n", "bad key name at line 2"},
        {"REGEDIT4\r\n[HKEY_CURRENT_USER\\" + Chain(kMaxKeyDepth + 1) + "]\r\n", "key nested too deep at line 2"},
        {"REGEDIT4\r\n[HKEY_CURRENT_USER]\r\ngarbage\r\n", "bad value name at line 3"},
        {"REGEDIT4\r\n[HKEY_CURRENT_USER]\r\n;LastWriteTime=abc\r\n", "bad last write time at line 3"},
        {key + "-\r\n", "bad value data at line 3"},
        {key + "\"bad \\q escape\"\r\n", "bad value data at line 3"},
        {key + "hex:01,\\\r\n", "continuation past the end at line 4"},
        {key + "hex:1,2,zz\r\n", "bad value data at line 3"},
        // Items of three digits or more; past a signed int after eight, and past 64 bits.
        {key + "hex:100\r\n", "bad value data at line 3"},
        {key + "hex:01,fffffffff,02\r\n", "bad value data at line 3"},
        {key + "hex:ffffffffffffffffff\r\n", "bad value data at line 3"},
        {key + "dword:123456789\r\n", "bad value data at line 3"},
    };
    for (const auto& c : cases) {
        RegKey root;
        std::string error;
        EXPECT_EQ(Parses(c.text, root, error), *c.error == '\0') << c.text.substr(0, 60);
        EXPECT_EQ(error, c.error) << c.text.substr(0, 60);
    }
}

TEST(RegistryFile, WhatItWritesItReadsBack)
{
    RegKey root;
    root.name = "HKEY_USERS";
    root.lastWriteTime = 42;
    RegKey& child = root.AddSubKey("Child");
    child.className = "Cls \"x\"\n";
    child.lastWriteTime = 133000000000000000ULL;
    child.SetValue({"v", REG_SZ, {'a', 0}});
    child.SetValue({"h", REG_BINARY, {0x01, 0x0f, 0xff}});
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
    ASSERT_NE(found->FindValue("H"), nullptr);
    EXPECT_EQ(found->FindValue("H")->data, (std::vector<std::uint8_t>{0x01, 0x0f, 0xff}));
    EXPECT_EQ(FormatRegFile(parsed), text);
}

TEST(RegistryFile, ManyValuesAndALongContinuedValueParseInLinearTime)
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
        std::snprintf(line, sizeof line, "%02x,%02x%s\r\n  ", i & 0xff, (i >> 8) & 0xff, i + 1 < kLines ? ",\\" : "");
        text += line;
    }
    text += "\"VALUE7\"=dword:ffffffff\r\n";  // a name set again (any case) is replaced in place

    RegKey root;
    std::string error;
    ASSERT_TRUE(Parses(text, root, error)) << error;
    const RegKey* big = root.FindSubKey("big");
    ASSERT_NE(big, nullptr);
    ASSERT_EQ(big->Values().size(), static_cast<std::size_t>(kValues) + 1);
    EXPECT_EQ(big->Values()[7].name, "Value7");
    EXPECT_EQ(big->Values()[7].data, (std::vector<std::uint8_t>{0xff, 0xff, 0xff, 0xff}));
    ASSERT_NE(big->FindValue("value99999"), nullptr);
    EXPECT_EQ(big->FindValue("value99999")->data, (std::vector<std::uint8_t>{0x9f, 0x86, 0x01, 0x00}));
    const RegValue* longValue = big->FindValue("Long");
    ASSERT_NE(longValue, nullptr);
    ASSERT_EQ(longValue->data.size(), 2u * kLines);
    for (int i = 0; i < kLines; ++i) {
        ASSERT_EQ(longValue->data[2 * i], i & 0xff) << i;
        ASSERT_EQ(longValue->data[2 * i + 1], (i >> 8) & 0xff) << i;
    }
    RegKey again;
    ASSERT_TRUE(Parses(FormatRegFile(root), again, error)) << error;
    EXPECT_EQ(again.FindSubKey("Big")->FindValue("Long")->data, longValue->data);
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

TEST(RegistryFile, FormattingAndFreeingDoNotRecursePerLevel)
{
    // Deeper than any file may hold, built in memory.
    bool formatted = false;
    bool freed = false;
    RunOnSmallStack([&] {
        {
            RegKey root;
            root.name = "HKEY_CURRENT_USER";
            RegKey* key = &root;
            for (int i = 0; i < 3000; ++i)
                key = &key->AddSubKey("a");
            formatted = FormatRegFile(root).find("[HKEY_CURRENT_USER\\" + Chain(3000) + "]") != std::string::npos;
            for (int i = 0; i < 200000; ++i)
                key = &key->AddSubKey(i % 2 == 0 ? "a" : "b");
        }
        freed = true;
    });
    EXPECT_TRUE(formatted);
    EXPECT_TRUE(freed);
}

}  // namespace
