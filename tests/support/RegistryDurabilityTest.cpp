// The settings store on disk: unreadable files kept aside, a folder that
// cannot be written, several processes at once, and processes killed while
// they write.

#include "support/Registry.h"
#include "support/RegistryFile.h"
#include "platform/Diagnostic.h"
#include "platform/LocalTime.h"
#include "RegistryTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

using namespace support;
using registry_test::ChildResult;
using registry_test::FileNames;
using registry_test::ReadWholeFile;
using registry_test::RunChild;
using registry_test::StoreFolder;
using registry_test::TempDir;

namespace {

constexpr const char* kAppKey = "HKEY_CURRENT_USER\\Software\\Trevane Desk2\\Trevane2";

// Collects the diagnostic texts while alive.
class DiagnosticRecorder {
public:
    DiagnosticRecorder()
    {
        platform::SetDiagnosticSink([this](std::string_view text) { texts.emplace_back(text); });
    }
    ~DiagnosticRecorder() { platform::SetDiagnosticSink({}); }
    std::vector<std::string> texts;
};

class PinnedClock {
public:
    explicit PinnedClock(platform::LocalTime time)
    {
        platform::SetLocalTimeSource([time] { return time; });
    }
    ~PinnedClock() { platform::SetLocalTimeSource({}); }
};

std::vector<std::string> CorruptCopies(const std::string& dir)
{
    std::vector<std::string> names;
    for (const std::string& name : FileNames(dir)) {
        if (name.find(".corrupt-") != std::string::npos)
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

class RegistryDurabilityTest : public ::testing::Test {
protected:
    TempDir m_dir;
    StoreFolder m_folder{m_dir.path()};
    std::string StoreFile() const { return m_dir.path() + "/HKEY_CURRENT_USER.reg"; }
};

TEST_F(RegistryDurabilityTest, UnreadableFileIsKeptAsideAndReportedOnce)
{
    const std::string garbage = "this is not a settings file\r\n\x01\x02\x03";
    registry_test::WriteWholeFile(StoreFile(), garbage);
    PinnedClock clock({2024, 1, 2, 3, 4, 5, 0});
    DiagnosticRecorder diagnostics;

    CRegistry registry;
    DWORD disposition = 0;
    ASSERT_TRUE(registry.CreateKeyByPath(kAppKey, &disposition));
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY) << "the store starts empty";
    ASSERT_TRUE(registry.WriteDword("After", 1));
    DWORD value = 0;
    EXPECT_TRUE(registry.ReadDword("After", &value));
    ASSERT_EQ(diagnostics.texts.size(), 1u);
    EXPECT_NE(diagnostics.texts[0].find("HKEY_CURRENT_USER.reg.corrupt-20240102-030405"),
              std::string::npos)
        << diagnostics.texts[0];

    const auto copies = CorruptCopies(m_dir.path());
    ASSERT_EQ(copies, std::vector<std::string>{"HKEY_CURRENT_USER.reg.corrupt-20240102-030405"});
    EXPECT_EQ(ReadWholeFile(m_dir.path() + "/" + copies[0]), garbage) << "kept unchanged";

    RegKey root;
    std::string error;
    EXPECT_TRUE(ParseRegFile(ReadWholeFile(StoreFile()), "HKEY_CURRENT_USER", 0, root, error))
        << error;

    // A second bad file in the same second does not replace the first copy.
    registry_test::WriteWholeFile(StoreFile(), "REGEDIT4\r\nnonsense\r\n");
    CRegistry again;
    EXPECT_TRUE(again.CreateKeyByPath(kAppKey, &disposition));
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    EXPECT_EQ(diagnostics.texts.size(), 2u);
    EXPECT_EQ(CorruptCopies(m_dir.path()),
              (std::vector<std::string>{"HKEY_CURRENT_USER.reg.corrupt-20240102-030405",
                                        "HKEY_CURRENT_USER.reg.corrupt-20240102-030405-2"}));
    EXPECT_EQ(ReadWholeFile(m_dir.path() + "/" + copies[0]), garbage);

    // The next start of the program finds a good file and says nothing.
    const ChildResult next = RunChild({"read", "Software\\Trevane Desk2\\Trevane2", "Nothing"});
    ASSERT_FALSE(next.timedOut);
    EXPECT_EQ(next.output, "reports 0 found 0 value 0\n");
    EXPECT_EQ(CorruptCopies(m_dir.path()).size(), 2u);
}

TEST_F(RegistryDurabilityTest, UnreadableFileFoundByAReadIsKeptAside)
{
    registry_test::WriteWholeFile(StoreFile(), "REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\nbroken\r\n");
    DiagnosticRecorder diagnostics;
    CRegistry registry;
    ASSERT_TRUE(registry.CreateKeyByPath("HKEY_CURRENT_USER"));
    EXPECT_FALSE(registry.OpenKey("A", KEY_READ));
    EXPECT_EQ(registry.LastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(registry.OpenKey("A", KEY_READ));
    EXPECT_EQ(diagnostics.texts.size(), 1u);
    EXPECT_EQ(CorruptCopies(m_dir.path()).size(), 1u);
}

TEST(RegistryUnwritableTest, FolderThatCannotBeWrittenGivesAccessDenied)
{
    TempDir dir;
    const std::string blocker = dir.path() + "/a-file";
    registry_test::WriteWholeFile(blocker, "in the way");
    StoreFolder folder(blocker + "/registry");

    // Every failure names the folder and says why.
    const std::string cause =
        "Cannot create settings folder " + blocker + "/registry: Not a directory";
    CRegistry registry;
    EXPECT_FALSE(registry.CreateKeyByPath(kAppKey));
    EXPECT_EQ(registry.LastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(registry.LastErrorText(), cause);

    ASSERT_TRUE(registry.CreateKeyByPath("HKEY_CURRENT_USER"));
    EXPECT_EQ(registry.LastErrorText(), "");
    ASSERT_TRUE(registry.OpenKey(nullptr, KEY_ALL_ACCESS));
    EXPECT_FALSE(registry.SetValue("Name", REG_SZ, "x", 2));
    EXPECT_EQ(registry.LastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(registry.LastErrorText(), cause);
    EXPECT_FALSE(registry.WriteDword("Number", 1));
    EXPECT_EQ(registry.LastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(registry.LastErrorText(), cause);
    DWORD value = 0;
    EXPECT_FALSE(registry.ReadDword("Number", &value));
    EXPECT_EQ(registry.LastError(), ERROR_FILE_NOT_FOUND) << "nothing was stored";
    EXPECT_EQ(registry.LastErrorText(), "") << "a missing value has no outside cause";
    EXPECT_FALSE(registry.ReadDword(nullptr, &value));
    EXPECT_EQ(registry.LastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(registry.LastErrorText(), "");
    EXPECT_EQ(ReadWholeFile(blocker), "in the way");
}

TEST_F(RegistryDurabilityTest, DispositionHoldsAcrossProcesses)
{
    const ChildResult first = RunChild({"create", kAppKey});
    ASSERT_FALSE(first.timedOut);
    EXPECT_EQ(first.output, "disposition 1 error 0\n");
    const ChildResult second = RunChild({"create", kAppKey});
    EXPECT_EQ(second.output, "disposition 2 error 0\n");

    CRegistry registry;
    DWORD disposition = 0;
    ASSERT_TRUE(registry.CreateKeyByPath(kAppKey, &disposition));
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
}

TEST_F(RegistryDurabilityTest, ChangesOfAnotherProcessAreSeen)
{
    CRegistry registry;
    ASSERT_TRUE(registry.CreateKeyByPath(kAppKey));
    ASSERT_TRUE(registry.WriteDword("Mine", 1));
    DWORD value = 0;
    EXPECT_FALSE(registry.ReadDword("Theirs0", &value));

    const ChildResult child = RunChild({"write", kAppKey, "Theirs", "3"});
    ASSERT_EQ(child.output, "done\n");

    ASSERT_TRUE(registry.ReadDword("Theirs2", &value));
    EXPECT_EQ(value, 2u);
    ASSERT_TRUE(registry.ReadDword("Mine", &value)) << "the child kept our value";
    EXPECT_EQ(value, 1u);
    ASSERT_TRUE(registry.WriteDword("Mine", 5));
    ASSERT_TRUE(registry.ReadDword("Theirs0", &value)) << "our write kept theirs";
}

TEST_F(RegistryDurabilityTest, TwoWritersKeepEachOthersValues)
{
    constexpr int kCount = 150;
    registry_test::Child first(
        {registry_test::ChildProgram(), "write", kAppKey, "First", std::to_string(kCount)});
    registry_test::Child second(
        {registry_test::ChildProgram(), "write", kAppKey, "Second", std::to_string(kCount)});
    ASSERT_TRUE(first.started());
    ASSERT_TRUE(second.started());
    EXPECT_EQ(first.Wait(std::chrono::seconds(90)).output, "done\n");
    EXPECT_EQ(second.Wait(std::chrono::seconds(90)).output, "done\n");

    CRegistry registry;
    ASSERT_TRUE(registry.CreateKeyByPath(kAppKey));
    EXPECT_EQ(registry.m_dwValues, static_cast<DWORD>(2 * kCount));
    for (const char* prefix : {"First", "Second"}) {
        for (int i = 0; i < kCount; ++i) {
            const std::string name = prefix + std::to_string(i);
            DWORD value = 0;
            ASSERT_TRUE(registry.ReadDword(name.c_str(), &value)) << name;
            EXPECT_EQ(value, static_cast<DWORD>(i));
        }
    }
}

// What the writing child leaves: "Last" = step n, and "V<k>" holding the
// pattern of some step j with j % 20 == k and j <= n + 1.
void ExpectConsistentLoopState(const std::string& file, DWORD& last)
{
    const std::string text = ReadWholeFile(file);
    RegKey root;
    std::string error;
    ASSERT_TRUE(ParseRegFile(text, "HKEY_CURRENT_USER", 0, root, error)) << error;
    const RegKey* key = root.FindSubKey("Software");
    key = key ? key->FindSubKey("Trevane Desk2") : nullptr;
    key = key ? key->FindSubKey("Trevane2") : nullptr;
    ASSERT_NE(key, nullptr);
    const RegValue* lastValue = key->FindValue("Last");
    ASSERT_NE(lastValue, nullptr);
    ASSERT_EQ(lastValue->type, REG_DWORD);
    ASSERT_EQ(lastValue->data.size(), 4u);
    const DWORD n = lastValue->data[0] | (lastValue->data[1] << 8) |
                    (lastValue->data[2] << 16) | (static_cast<DWORD>(lastValue->data[3]) << 24);
    EXPECT_GE(n, last) << "went back to an older state";
    last = n;
    for (const RegValue& value : key->Values()) {
        if (value.name == "Last")
            continue;
        ASSERT_EQ(value.type, REG_BINARY);
        ASSERT_GE(value.data.size(), 4u);
        const DWORD step = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                           (static_cast<DWORD>(value.data[3]) << 24);
        EXPECT_EQ(value.name, "V" + std::to_string(step % 20));
        EXPECT_LE(step, n + 1);
        ASSERT_EQ(value.data.size(), 4u + step % 500) << value.name;
        for (std::size_t i = 4; i < value.data.size(); ++i)
            ASSERT_EQ(value.data[i], static_cast<std::uint8_t>(step)) << value.name;
    }
}

TEST_F(RegistryDurabilityTest, ProcessKilledWhileWritingLeavesAWholeFile)
{
    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<int> pause(5, 60);
    DWORD last = 0;
    for (int round = 0; round < 20; ++round) {
        registry_test::Child child({registry_test::ChildProgram(), "loop", kAppKey});
        ASSERT_TRUE(child.started());
        ASSERT_TRUE(child.WaitForOutput("started\n", std::chrono::seconds(30)));
        std::this_thread::sleep_for(std::chrono::milliseconds(pause(random)));
        child.Kill();
        const ChildResult result = child.Wait(std::chrono::seconds(30));
        EXPECT_EQ(result.signal, SIGKILL) << "the writer stopped by itself: " << result.exitCode;

        const DWORD before = last;
        ExpectConsistentLoopState(StoreFile(), last);
        if (HasFatalFailure())
            return;
        // Each round stores at least one step before it is killed.
        if (round > 0) {
            EXPECT_GT(last, before);
        }
    }
    EXPECT_TRUE(CorruptCopies(m_dir.path()).empty());

    // The store is still usable afterwards, from this process too.
    DiagnosticRecorder diagnostics;
    CRegistry registry;
    ASSERT_TRUE(registry.CreateKeyByPath(kAppKey));
    DWORD value = 0;
    EXPECT_TRUE(registry.ReadDword("Last", &value));
    EXPECT_EQ(value, last);
    EXPECT_TRUE(diagnostics.texts.empty());
}

}  // namespace
