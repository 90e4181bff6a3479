// Process-wide socket start and clean-up.

#include "net/WinsockInit.h"

#include <gtest/gtest.h>

#include <signal.h>

namespace {

bool SigpipeIgnored()
{
    struct sigaction current{};
    sigaction(SIGPIPE, nullptr, &current);
    return current.sa_handler == SIG_IGN;
}

TEST(WinsockInitTest, StartsNestAndEachCleansUpOnce)
{
    const int before = net::CWinsockInit::ActiveStarts();
    net::CWinsockInit outer(0x0101);
    net::CWinsockInit inner(0x0101);
    EXPECT_EQ(outer.Start(), 0);
    EXPECT_EQ(inner.Start(), 0);
    EXPECT_EQ(outer.Result(), 0);
    EXPECT_EQ(outer.Data().wVersion, 0x0101);
    EXPECT_EQ(net::CWinsockInit::ActiveStarts(), before + 2);
    EXPECT_TRUE(SigpipeIgnored());

    EXPECT_EQ(inner.CleanUp(), 0);
    EXPECT_EQ(inner.CleanUp(), 2);  // nothing left to clean up
    EXPECT_NE(inner.LastError(), 0);
    EXPECT_EQ(net::CWinsockInit::ActiveStarts(), before + 1);
    // The outer start still holds: a peer going away cannot end the process.
    EXPECT_TRUE(SigpipeIgnored());
    EXPECT_EQ(outer.CleanUp(), 0);
    EXPECT_EQ(net::CWinsockInit::ActiveStarts(), before);
}

TEST(WinsockInitTest, VersionZeroIsRefused)
{
    net::CWinsockInit none(0x0100);  // 0.1
    EXPECT_EQ(none.Start(), 2);
    EXPECT_NE(none.Result(), 0);
    EXPECT_FALSE(none.IsStarted());
}

TEST(WinsockInitTest, DestructionCleansUp)
{
    const int before = net::CWinsockInit::ActiveStarts();
    {
        net::CWinsockInit held(0x0202);
        ASSERT_EQ(held.Start(), 0);
        EXPECT_EQ(held.Data().wVersion, 0x0101);  // the highest offered
    }
    EXPECT_EQ(net::CWinsockInit::ActiveStarts(), before);
}

}  // namespace
