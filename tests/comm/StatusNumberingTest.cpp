// Its own program: the numbering is process-wide, so the first text must be 1
// only in a process where nothing else has queued a text before.
#include "CommTestSupport.h"

#include <gtest/gtest.h>

using namespace commtest;

TEST(StatusNumbering, FirstTextAfterFirstOpenIsNumberOne)
{
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    CCommPort2 port;
    MapSlotToPty(port, pty);
    TestOwner owner(port);
    owner.PumpFor(50ms);
    EXPECT_TRUE(owner.texts.empty());  // nothing is posted before the port opens
    ASSERT_TRUE(port.OpenPort());
    ASSERT_TRUE(owner.PumpUntil([&] { return !owner.texts.empty(); }));
    EXPECT_EQ(owner.texts.front(), "1:Status message go here:\r\n");
    owner.PumpFor(100ms);
    EXPECT_EQ(owner.texts.size(), 1u);  // a pty at 9600 8N1 reports nothing else
    EXPECT_TRUE(port.ClosePort());
}
