// The settings store: CRegistry and the profile helpers on a store folder of
// the test's own (paths and names it refuses, result codes callers act on,
// exact round trips of every kind of value through the text file); the
// file's parser and writer on their own (what they refuse and why, trees too
// deep for a call frame per level); and the store on disk (unreadable and
// hostile files kept aside, a folder that cannot be written, several
// processes at once, and processes killed while they write).

#include "platform/LocalTime.h"
#include "support/Profile.h"
#include "support/Registry.h"
#include "support/RegistryFile.h"
#include "tests/common/ChildProcess.h"
#include "tests/common/DiagnosticCapture.h"
#include "tests/common/TestFiles.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>

#include <climits>
#include <functional>
#include <random>
#include <thread>
#include <tuple>

using namespace support;
using testdiag::DiagnosticCapture;
using testfiles::ReadFile;

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

// The second program on the store (child/registry_child.cpp) with `args`.
std::vector<std::string> ChildCommand(std::vector<std::string> args)
{
    args.insert(args.begin(), KESTRANA_REGISTRY_CHILD);
    return args;
}

// Runs the child with `args` to its end (killed after 60 s); its output.
std::string RunChild(const std::vector<std::string>& args)
{
    testchild::ChildProcess child;
    if (!child.Start(ChildCommand(args)))
        return "(not started)";
    std::string output = child.ReadToEnd(std::chrono::seconds(60));
    if (!child.WaitExit(std::chrono::seconds(5)))
        output += "(timed out)";
    return output;
}

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

std::vector<std::string> SetAside(const std::string& dir)
{
    std::vector<std::string> names;
    for (const std::string& name : testfiles::FileNames(dir))
        if (name.find(".corrupt-") != std::string::npos)
            names.push_back(name);
    return names;
}

TEST_F(RegistryTest, AnUnreadableFileIsKeptAsideOnceAndReportedOnce)
{
    const std::string garbage = "this is not a settings file\r\n\x01\x02\x03";
    testfiles::WriteFile(m_store.File(), garbage);
    platform::SetLocalTimeSource([] { return platform::LocalTime{2024, 1, 2, 3, 4, 5, 0}; });
    DiagnosticCapture diagnostics;

    CRegistry registry;
    DWORD disposition = 0;
    ASSERT_TRUE(registry.CreateKeyByPath(kAppKey, &disposition));
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY) << "the store starts empty";
    ASSERT_TRUE(registry.WriteDword("After", 1));
    EXPECT_FALSE(registry.OpenKey("Missing", KEY_READ));
    const std::string first = "HKEY_CURRENT_USER.reg.corrupt-20240102-030405";
    ASSERT_EQ(diagnostics.texts().size(), 1u);
    EXPECT_NE(diagnostics.texts()[0].find(first), std::string::npos) << diagnostics.texts()[0];
    ASSERT_EQ(SetAside(m_store.path()), std::vector<std::string>{first});
    EXPECT_EQ(ReadFile(m_store.path() + "/" + first), garbage) << "kept unchanged";

    // A second bad file in the same second, found by a read, does not
    // replace the first copy.
    testfiles::WriteFile(m_store.File(), "REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\nbroken\r\n");
    CRegistry reader;
    ASSERT_TRUE(reader.CreateKeyByPath("HKEY_CURRENT_USER"));
    EXPECT_FALSE(reader.OpenKey("A", KEY_READ));
    EXPECT_EQ(diagnostics.texts().size(), 2u);
    EXPECT_EQ(SetAside(m_store.path()), (std::vector<std::string>{first, first + "-2"}));
    EXPECT_EQ(ReadFile(m_store.path() + "/" + first), garbage);
    platform::SetLocalTimeSource({});

    // The next start of the program finds a good file and says nothing.
    EXPECT_EQ(RunChild({"read", "Software\\Trevane Desk2\\Trevane2", "After"}), "reports 0 found 0 value 0\n");
    EXPECT_EQ(SetAside(m_store.path()).size(), 2u);
}

TEST_F(RegistryTest, ADeepKeyFileIsSetAsideAndNoKeyIsMadeDeeperThanItCanRead)
{
    // One 120 KB line of nested key names: it once crashed the save at exit.
    const std::string hostile = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\" + Chain(60000) + "]\r\n";
    testfiles::WriteFile(m_store.File(), hostile);
    CRegistry registry;
    ASSERT_TRUE(registry.CreateKeyByPath(kAppKey)) << registry.LastErrorText();
    ASSERT_TRUE(registry.CreateKeyByPath("HKEY_CURRENT_USER"));
    const std::vector<std::string> aside = SetAside(m_store.path());
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(ReadFile(m_store.path() + "/" + aside[0]), hostile);

    ASSERT_TRUE(registry.CreateKey(Chain(kMaxKeyDepth - 1).c_str()));
    ASSERT_TRUE(registry.CreateKey("last"));  // level 512
    EXPECT_FALSE(registry.CreateKey("one-more"));
    EXPECT_EQ(registry.LastError(), ERROR_INVALID_PARAMETER);
    ASSERT_TRUE(registry.WriteDword("Deep", 5));

    // What was saved reads back, from a file nobody had to set aside.
    EXPECT_EQ(RunChild({"read", Chain(kMaxKeyDepth - 1) + "\\last", "Deep"}), "reports 0 found 1 value 5\n");
}

TEST(RegistryUnwritableTest, AFolderThatCannotBeWrittenGivesAccessDeniedAndSaysWhy)
{
    testfiles::TempDir dir;
    const std::string blocker = dir.path() + "/a-file";
    testfiles::WriteFile(blocker, "in the way");
    testfiles::ScopedEnv folder("KESTRANA_REGISTRY_DIR", blocker + "/registry");
    const std::string cause = "Cannot create settings folder " + blocker + "/registry: Not a directory";

    CRegistry registry;
    EXPECT_FALSE(registry.CreateKeyByPath(kAppKey));
    EXPECT_TRUE(registry.LastError() == ERROR_ACCESS_DENIED && registry.LastErrorText() == cause) << registry.LastErrorText();
    ASSERT_TRUE(registry.CreateKeyByPath("HKEY_CURRENT_USER"));
    ASSERT_TRUE(registry.OpenKey(nullptr, KEY_ALL_ACCESS));
    EXPECT_FALSE(registry.WriteDword("Number", 1));
    EXPECT_TRUE(registry.LastError() == ERROR_ACCESS_DENIED && registry.LastErrorText() == cause) << registry.LastErrorText();
    DWORD value = 0;
    EXPECT_FALSE(registry.ReadDword("Number", &value));
    EXPECT_EQ(registry.LastErrorText(), "") << "a missing value has no outside cause";
    EXPECT_EQ(ReadFile(blocker), "in the way");
}

TEST_F(RegistryTest, TwoProcessesWritingAtOnceKeepEachOthersValues)
{
    CRegistry registry;
    ASSERT_TRUE(registry.CreateKeyByPath(kAppKey));
    ASSERT_TRUE(registry.WriteDword("Mine", 1));
    constexpr int kCount = 150;
    testchild::ChildProcess first;
    testchild::ChildProcess second;
    ASSERT_TRUE(first.Start(ChildCommand({"write", kAppKey, "First", std::to_string(kCount)})));
    ASSERT_TRUE(second.Start(ChildCommand({"write", kAppKey, "Second", std::to_string(kCount)})));
    EXPECT_EQ(first.ReadToEnd(std::chrono::seconds(90)), "done\n");
    EXPECT_EQ(second.ReadToEnd(std::chrono::seconds(90)), "done\n");

    // Their changes are seen here, and a write here keeps them.
    ASSERT_TRUE(registry.WriteDword("Mine", 5));
    CRegistry reader;
    ASSERT_TRUE(reader.CreateKeyByPath(kAppKey));
    EXPECT_EQ(reader.m_dwValues, static_cast<DWORD>(2 * kCount + 1));
    for (const char* prefix : {"First", "Second"}) {
        for (int i = 0; i < kCount; ++i) {
            const std::string name = prefix + std::to_string(i);
            DWORD value = 0;
            ASSERT_TRUE(reader.ReadDword(name.c_str(), &value)) << name;
            EXPECT_EQ(value, static_cast<DWORD>(i));
        }
    }
}

DWORD Dword(const std::vector<std::uint8_t>& d) { return d[0] | d[1] << 8 | d[2] << 16 | static_cast<DWORD>(d[3]) << 24; }

// What the writing child leaves: "Last" = step n, and "V<k>" holding the
// pattern of some step j with j % 20 == k and j <= n + 1.
void ExpectConsistentLoopState(const std::string& file, DWORD& last)
{
    RegKey root;
    std::string error;
    ASSERT_TRUE(ParseRegFile(ReadFile(file), "HKEY_CURRENT_USER", 0, root, error)) << error;
    const RegKey* key = &root;
    for (const char* name : {"Software", "Trevane Desk2", "Trevane2"})
        ASSERT_NE(key = key->FindSubKey(name), nullptr) << name;
    const RegValue* lastValue = key->FindValue("Last");
    ASSERT_TRUE(lastValue != nullptr && lastValue->data.size() == 4u);
    const DWORD n = Dword(lastValue->data);
    EXPECT_GE(n, last) << "went back to an older state";
    last = n;
    for (const RegValue& value : key->Values()) {
        if (value.name == "Last")
            continue;
        ASSERT_GE(value.data.size(), 4u);
        const DWORD step = Dword(value.data);
        EXPECT_EQ(value.name, "V" + std::to_string(step % 20));
        EXPECT_LE(step, n + 1);
        ASSERT_EQ(value.data.size(), 4u + step % 500) << value.name;
        for (std::size_t i = 4; i < value.data.size(); ++i)
            ASSERT_EQ(value.data[i], static_cast<std::uint8_t>(step)) << value.name;
    }
}

TEST_F(RegistryTest, AProcessKilledWhileWritingLeavesAWholeFile)
{
    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<int> pause(5, 60);
    DWORD last = 0;
    for (int round = 0; round < 20; ++round) {
        testchild::ChildProcess child;
        ASSERT_TRUE(child.Start(ChildCommand({"loop", kAppKey})));
        ASSERT_EQ(child.ReadLine(std::chrono::seconds(30)), "started");
        std::this_thread::sleep_for(std::chrono::milliseconds(pause(random)));
        child.Kill();
        EXPECT_EQ(child.WaitExit(std::chrono::seconds(0)), 128 + SIGKILL) << "the writer stopped by itself";
        const DWORD before = last;
        ExpectConsistentLoopState(m_store.File(), last);
        if (HasFatalFailure())
            return;
        EXPECT_TRUE(round == 0 || last > before) << "each round stores at least one step";
    }
    EXPECT_TRUE(SetAside(m_store.path()).empty());
    EXPECT_EQ(RunChild({"read", "Software\\Trevane Desk2\\Trevane2", "Last"}),
              "reports 0 found 1 value " + std::to_string(last) + "\n");
}

}  // namespace
