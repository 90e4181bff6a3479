// The settings store on disk: unreadable and hostile files kept aside, a
// folder that cannot be written, several processes at once, and processes
// killed while they write.

#include "support/Registry.h"
#include "support/RegistryFile.h"
#include "platform/LocalTime.h"
#include "tests/common/DiagnosticCapture.h"
#include "RegistryTestSupport.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace support;
using registry_test::Chain;
using registry_test::kAppKey;
using registry_test::RunChild;
using testdiag::DiagnosticCapture;
using testfiles::ReadFile;

namespace {

std::vector<std::string> SetAside(const std::string& dir)
{
    std::vector<std::string> names;
    for (const std::string& name : testfiles::FileNames(dir))
        if (name.find(".corrupt-") != std::string::npos)
            names.push_back(name);
    return names;
}

class RegistryDurabilityTest : public ::testing::Test {
protected:
    testfiles::TempStore m_store;
};

TEST_F(RegistryDurabilityTest, AnUnreadableFileIsKeptAsideOnceAndReportedOnce)
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

TEST_F(RegistryDurabilityTest, ADeepKeyFileIsSetAsideAndNoKeyIsMadeDeeperThanItCanRead)
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

TEST_F(RegistryDurabilityTest, TwoProcessesWritingAtOnceKeepEachOthersValues)
{
    CRegistry registry;
    ASSERT_TRUE(registry.CreateKeyByPath(kAppKey));
    ASSERT_TRUE(registry.WriteDword("Mine", 1));
    constexpr int kCount = 150;
    testchild::ChildProcess first;
    testchild::ChildProcess second;
    ASSERT_TRUE(first.Start(registry_test::ChildCommand({"write", kAppKey, "First", std::to_string(kCount)})));
    ASSERT_TRUE(second.Start(registry_test::ChildCommand({"write", kAppKey, "Second", std::to_string(kCount)})));
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

TEST_F(RegistryDurabilityTest, AProcessKilledWhileWritingLeavesAWholeFile)
{
    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<int> pause(5, 60);
    DWORD last = 0;
    for (int round = 0; round < 20; ++round) {
        testchild::ChildProcess child;
        ASSERT_TRUE(child.Start(registry_test::ChildCommand({"loop", kAppKey})));
        ASSERT_TRUE(child.WaitForOutput("started\n", std::chrono::seconds(30)));
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
