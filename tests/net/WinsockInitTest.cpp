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

TEST(WinsockInitTest, StartsNestEachCleansUpOnceAndAPeerGoneCannotEndTheProcess)
{
    const int before = net::CWinsockInit::ActiveStarts();
    net::CWinsockInit none(0x0100);  // version 0.1
    EXPECT_EQ(none.Start(), 2);
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
    EXPECT_TRUE(SigpipeIgnored()) << "the outer start still holds";
    EXPECT_EQ(outer.CleanUp(), 0);
    EXPECT_EQ(net::CWinsockInit::ActiveStarts(), before);
}

}  // namespace
