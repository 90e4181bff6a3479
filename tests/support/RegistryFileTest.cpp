// The settings file's parser and writer on their own: what they refuse and
// why, and trees too deep for a call frame per level.

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
        EXPECT_EQ(ParseRegFile(c.text, "HKEY_CURRENT_USER", 0, root, error), *c.error == '\0') << c.text.substr(0, 60);
        EXPECT_EQ(error, c.error) << c.text.substr(0, 60);
    }
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
    bool formatted = false, freed = false;
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
    EXPECT_TRUE(formatted && freed);
}

}  // namespace
