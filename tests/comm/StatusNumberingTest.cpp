// Its own program: the numbering is process-wide, so the first text must be 1
// only in a process where nothing else has queued a text before.
#include "CommTestSupport.h"

using namespace commtest;

TEST_F(EngineTest, FirstTextIsNumberOneAndAPtyAddsNothingAndFailsNothing)
{
    owner.PumpFor(50ms);
    EXPECT_TRUE(owner.texts.empty()) << "nothing is posted before the port opens";
    ASSERT_TRUE(port.OpenPort());
    ASSERT_TRUE(owner.PumpUntil([&] { return !owner.texts.empty(); }));
    EXPECT_EQ(owner.texts.front(), "1:Status message go here:\r\n");
    // Past one idle time-out with the default mask, which watches the modem
    // lines a pty does not have: no more texts and no failures.
    owner.PumpFor(700ms);
    EXPECT_EQ(owner.texts.size(), 1u);
    EXPECT_TRUE(diagnostics.texts().empty()) << ::testing::PrintToString(diagnostics.texts());
}
