// A refused open says what failed, on which device, and why.

#include "CommTestSupport.h"

#include "tests/common/TestFiles.h"

#include <sys/fsuid.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <fstream>

using namespace commtest;

namespace {

class EngineOpenFailure : public ::testing::Test {
protected:
    void TearDown() override { ClearRunDevicePaths(); }

    // Opens slot 1 mapped to `path`; expects a refusal and returns its cause.
    std::string Refusal(const std::string& path)
    {
        SetRunDevicePath(1, path);
        port.m_nPort = 0;
        EXPECT_FALSE(port.OpenPort()) << path;
        EXPECT_EQ(port.m_bConnected, 0);
        EXPECT_TRUE(diagnostics.Has("CreateFile Failed!"));
        EXPECT_TRUE(diagnostics.Has(port.LastOpenError())) << port.LastOpenError();
        return port.LastOpenError();
    }

    DiagnosticCapture diagnostics;
    CCommPort2 port;
    testfiles::TempDir temp{"kestrana-open"};
};

}  // namespace

TEST_F(EngineOpenFailure, MissingDevices)
{
    EXPECT_EQ(Refusal("/dev/kestrana-nonexist"), "Cannot open /dev/kestrana-nonexist: No such file or directory");
    EXPECT_EQ(Refusal(temp.path() + "/no/such/tty"),
              "Cannot open " + temp.path() + "/no/such/tty: No such file or directory");
}

TEST_F(EngineOpenFailure, AFileThatIsNoTerminal)
{
    const std::string file = temp.path() + "/plain";
    std::ofstream(file) << "x";
    EXPECT_EQ(Refusal(file), "Cannot open " + file + ": Inappropriate ioctl for device");
}

TEST_F(EngineOpenFailure, ASlotBeyondTheLast)
{
    port.m_nPort = 8;
    EXPECT_FALSE(port.OpenPort());
    EXPECT_EQ(port.LastOpenError(), "Cannot open COM9: No such device");
}

TEST_F(EngineOpenFailure, ADeviceHeldByAnotherProgram)
{
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    CCommPort2 holder;
    MapSlotToPty(holder, pty);
    ASSERT_TRUE(holder.OpenPort());
    // The exclusive mode refuses others; the lock refuses root too.
    EXPECT_EQ(Refusal(pty.path()), "Cannot open " + pty.path() + ": Device or resource busy (another program is using it)");
    EXPECT_TRUE(holder.ClosePort());

    SetRunDevicePath(1, pty.path());
    EXPECT_TRUE(port.OpenPort());
    EXPECT_EQ(port.LastOpenError(), "");  // a success forgets the last failure
    EXPECT_TRUE(port.ClosePort());
}

TEST_F(EngineOpenFailure, AForbiddenDevice)
{
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    ASSERT_EQ(::chmod(pty.path().c_str(), 0), 0);
    SetRunDevicePath(1, pty.path());
    bool opened = false;
    std::string cause;
    std::thread([&] {
        // Root passes any permission; with a file-system identity of its own
        // this thread (only) is held to the file's mode like anyone else.
        if (::geteuid() == 0)
            ::setfsuid(65534);
        opened = port.OpenPort();
        cause = port.LastOpenError();
        if (opened)
            port.ClosePort();
    }).join();
    if (opened)
        GTEST_SKIP() << "this user opens a device with mode 000 anyway";
    EXPECT_EQ(cause, "Cannot open " + pty.path() + ": Permission denied (add yourself to the dialout group)");
}
