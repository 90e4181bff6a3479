// The settings file's parser and writer on their own: what they refuse and
// why, and hostile files (keys nested too deep, hex items too long) that may
// not crash them.

#include "support/RegistryFile.h"
#include "RegistryTestSupport.h"

#include <gtest/gtest.h>

#include <pthread.h>

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

// How fast a big file parses is a benchmark (bench/registry_bench.cpp); here,
// that a continued value is joined in order and a name set again (any case)
// is replaced in place.
TEST(RegistryFile, AContinuedValueIsJoinedAndARepeatedNameReplacedInPlace)
{
    const std::string text = "REGEDIT4\r\n[HKEY_CURRENT_USER\\Big]\r\n\"Value0\"=dword:00000000\r\n"
                             "\"Value1\"=dword:00000001\r\n\"Long\"=hex:00,01,\\\r\n  02,03,\\\r\n  04\r\n"
                             "\"VALUE0\"=dword:ffffffff\r\n";
    RegKey root;
    std::string error;
    ASSERT_TRUE(Parses(text, root, error)) << error;
    const RegKey* big = root.FindSubKey("big");
    ASSERT_NE(big, nullptr);
    ASSERT_EQ(big->Values().size(), 3u);
    EXPECT_EQ(big->Values()[0].name, "Value0");
    EXPECT_EQ(big->Values()[0].data, (std::vector<std::uint8_t>{0xff, 0xff, 0xff, 0xff}));
    ASSERT_NE(big->FindValue("long"), nullptr);
    EXPECT_EQ(big->FindValue("long")->data, (std::vector<std::uint8_t>{0, 1, 2, 3, 4}));
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
