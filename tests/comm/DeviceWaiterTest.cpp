// The device waiter against real folders, links and pseudo-terminals: what
// announces a device, what does not, and that nothing but a change wakes it.

#include "comm/DeviceWaiter.h"
#include "comm/StableDeviceName.h"
#include "platform/MessageQueue.h"
#include "tests/common/PtyPair.h"
#include "tests/common/TestFiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

namespace {

using namespace std::chrono_literals;

struct Scene {
    testfiles::TempDir dir{"kestrana-wait"};
    testpty::PtyPair first, second;
    std::string At(const std::string& name) const { return dir.path() + "/" + name; }
    // Moved into place at once, as udev and the simulator do.
    void Link(const std::string& name, const std::string& target) const
    {
        ASSERT_EQ(::symlink(target.c_str(), At(name + ".new").c_str()), 0);
        ASSERT_EQ(::rename(At(name + ".new").c_str(), At(name).c_str()), 0);
    }
};

struct WaitCase {
    const char* name;
    const char* path;                    // under the scene's folder
    std::function<void(Scene&)> before;  // before the wait starts
    bool goneIsFirst;                    // the node that went away is the first pty
    std::function<void(Scene&)> change;  // while it waits
    bool announced;
};

const WaitCase kWaitCases[] = {
    {"FoldersMadeLaterThenTheLink", "a/b/dev", [](Scene&) {}, false,
     [](Scene& s) {
         std::filesystem::create_directories(s.At("a/b"));
         s.Link("a/b/dev", s.first.SlavePath());
     },
     true},
    {"AStaleLinkMovedToANewNode", "dev", [](Scene& s) { s.Link("dev", s.At("gone/pts9")); }, false,
     [](Scene& s) { s.Link("dev", s.first.SlavePath()); }, true},
    {"TheLastLinkOfAChainChanges", "dev",
     [](Scene& s) {
         s.Link("dev", s.At("mid"));
         s.Link("mid", s.At("nothing"));
     },
     false, [](Scene& s) { s.Link("mid", s.second.SlavePath()); }, true},
    {"TheNodeThatWentAwayIsNoReturnNorIsAnotherName", "dev", [](Scene& s) { s.Link("dev", s.first.SlavePath()); },
     true, [](Scene& s) { s.Link("other", s.second.SlavePath()); }, false},
    {"TheSameNodeWithNewPermissionsIsWorthAnotherTry", "dev", [](Scene& s) { s.Link("dev", s.first.SlavePath()); },
     true, [](Scene& s) { ASSERT_EQ(::chmod(s.first.SlavePath().c_str(), 0640), 0); }, true},
};

class DeviceWaiterTest : public ::testing::TestWithParam<WaitCase> {};

TEST_P(DeviceWaiterTest, AnnouncesOnlyANodeWorthOpening)
{
    const WaitCase& c = GetParam();
    Scene scene;
    ASSERT_TRUE(scene.first.Open(false) && scene.second.Open(false));
    c.before(scene);
    platform::MessageQueue owner;
    DeviceWaiter waiter;
    std::string failure;
    DeviceWaiter::Departed gone;
    if (c.goneIsFirst)
        gone.node = platform::FileIdentity::Of(scene.first.SlavePath());
    ASSERT_TRUE(waiter.Start(scene.At(c.path), gone, &owner, failure)) << failure;
    EXPECT_FALSE(owner.Take(100ms)) << "announced before anything changed";
    c.change(scene);
    const auto message = owner.Take(c.announced ? 3000ms : 300ms);
    ASSERT_EQ(message.has_value(), c.announced);
    if (message) {
        EXPECT_EQ(message->message, WM_DEVICEBACK);
        EXPECT_EQ(message->wParam, waiter.WaitNumber());
        // A change made in several steps (folders, then a link moved into
        // place) may be announced once per step it is seen in, but then the
        // wait is quiet: nothing announces itself again and again.
        int more = 0;
        while (owner.Take(200ms) && more < 10)
            ++more;
        EXPECT_LE(more, 2) << "announced again and again";
    }
}

INSTANTIATE_TEST_SUITE_P(Scenes, DeviceWaiterTest, ::testing::ValuesIn(kWaitCases),
                         [](const auto& scene) { return std::string(scene.param.name); });

// A device already there is announced at once; a wait with nothing going on
// sleeps (one wake-up at most, for the start), and Stop ends it at once.
TEST(DeviceWaiter, ADeviceAlreadyThereIsAnnouncedAndAnIdleWaitSleeps)
{
    Scene scene;
    ASSERT_TRUE(scene.first.Open(false));
    platform::MessageQueue owner;
    DeviceWaiter waiter;
    std::string failure;
    ASSERT_TRUE(waiter.Start(scene.first.SlavePath(), {}, &owner, failure)) << failure;
    EXPECT_TRUE(owner.Take(2000ms));
    ASSERT_TRUE(waiter.Start(scene.At("never"), {}, &owner, failure)) << failure;
    std::this_thread::sleep_for(500ms);
    EXPECT_LE(waiter.Wakeups(), 1u);
    waiter.Stop();
    EXPECT_FALSE(waiter.Waiting());
}

TEST(StableDeviceName, IsTheLinkInTheFolderThatLeadsToTheSameNode)
{
    Scene scene;
    ASSERT_TRUE(scene.first.Open(false) && scene.second.Open(false));
    std::filesystem::create_directories(scene.At("by-id"));
    scene.Link("by-id/usb-A", scene.first.SlavePath());
    scene.Link("node-alias", scene.first.SlavePath());
    SetStableNameFolder(scene.At("by-id"));
    EXPECT_EQ(StableDeviceName(scene.first.SlavePath()), scene.At("by-id/usb-A"));
    EXPECT_EQ(StableDeviceName(scene.At("node-alias")), scene.At("by-id/usb-A"));
    EXPECT_EQ(StableDeviceName(scene.second.SlavePath()), "");
    EXPECT_TRUE(IsStableDeviceName(scene.At("by-id/usb-A")));
    EXPECT_FALSE(IsStableDeviceName(scene.first.SlavePath()));
    SetStableNameFolder("/dev/serial/by-id");
}

}  // namespace
