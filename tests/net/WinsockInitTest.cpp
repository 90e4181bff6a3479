// Process-wide socket start and clean-up.

#include "net/WinsockInit.h"

#include <gtest/gtest.h>

#include <signal.h>

namespace {

TEST(WinsockInitTest, StartsNestEachCleansUpOnceAndAPeerGoneCannotEndTheProcess)
{
    const int before = net::CWinsockInit::ActiveStarts();
    EXPECT_EQ(net::CWinsockInit(0x0100).Start(), 2) << "version 0.1";
    net::CWinsockInit outer(0x0101);
    EXPECT_EQ(outer.Start(), 0);
    {
        net::CWinsockInit inner(0x0202);
        ASSERT_EQ(inner.Start(), 0);
        EXPECT_EQ(inner.Data().wVersion, 0x0101) << "the highest offered";
        EXPECT_EQ(inner.CleanUp(), 0);
        EXPECT_EQ(inner.CleanUp(), 2) << "nothing left to clean up";
        net::CWinsockInit held(0x0101);
        ASSERT_EQ(held.Start(), 0);
    }
    EXPECT_EQ(net::CWinsockInit::ActiveStarts(), before + 1) << "destruction cleans up";
    struct sigaction current{};
    sigaction(SIGPIPE, nullptr, &current);
    EXPECT_EQ(current.sa_handler, SIG_IGN) << "the outer start still holds";
    EXPECT_EQ(outer.CleanUp(), 0);
    EXPECT_EQ(net::CWinsockInit::ActiveStarts(), before);
}

}  // namespace
