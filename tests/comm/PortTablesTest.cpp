#include "comm/CommEvents.h"
#include "comm/CommPort2.h"
#include "comm/PortTables.h"
#include "comm/StatusQueue.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(PortTables, ListTextsInOrder)
{
    ASSERT_EQ(kPortTable.Count(), 8);
    EXPECT_STREQ(kPortTable.Text(0), "COM1");
    EXPECT_STREQ(kPortTable.Text(7), "COM8");
    ASSERT_EQ(kBaudRateTable.Count(), 15);
    const char* rates[] = {"110", "300", "600", "1200", "2400", "4800", "9600", "14400",
                           "19200", "38400", "56000", "57600", "115200", "128000", "256000"};
    for (int i = 0; i < 15; ++i) {
        EXPECT_STREQ(kBaudRateTable.Text(i), rates[i]);
        EXPECT_EQ(std::to_string(kBaudRateTable.IndexToValue(i)), rates[i]);
    }
    EXPECT_STREQ(kDataBitsTable.Text(0), "4");
    EXPECT_STREQ(kDataBitsTable.Text(4), "8");
    EXPECT_STREQ(kParityTable.Text(3), "Mark");
    EXPECT_STREQ(kParityTable.Text(4), "Space");
    EXPECT_STREQ(kStopBitsTable.Text(1), "1.5");
    EXPECT_STREQ(kStopBitsTable.Text(3), "");
}

TEST(PortTables, ValueToIndexFindsFirstOrMinusOne)
{
    EXPECT_EQ(ValueToIndex(kBaudRateTable, 115200), 12);
    EXPECT_EQ(ValueToIndex(kDataBitsTable, 8), 4);
    EXPECT_EQ(ValueToIndex(kPortTable, 7), 7);
    EXPECT_EQ(ValueToIndex(kBaudRateTable, 12345), -1);
    EXPECT_EQ(ValueToIndex(kParityTable, 5), -1);
}

TEST(PortTables, OutOfRangeIndexGivesDefault)
{
    EXPECT_EQ(IndexToValue(kBaudRateTable, 15), 9600u);
    EXPECT_EQ(IndexToValue(kBaudRateTable, -1), 9600u);
    EXPECT_EQ(IndexToValue(kDataBitsTable, 5), 8u);
    EXPECT_EQ(IndexToValue(kParityTable, 99), 0u);
    EXPECT_EQ(IndexToValue(kStopBitsTable, 3), 0u);
    EXPECT_EQ(IndexToValue(kPortTable, 8), 0u);
    EXPECT_EQ(&GetPortTable(PortTableId::StopBits), &kStopBitsTable);
}

TEST(CommTexts, EventTextListsBitsInFixedOrder)
{
    EXPECT_EQ(CommEventText(0), "EVENT: NULL\r\n");
    EXPECT_EQ(CommEventText(EV_BREAK | EV_ERR), "EVENT: ERR BREAK \r\n");
    EXPECT_EQ(CommEventText(0x1FF), "EVENT: CTS DSR ERR RING RLSD BREAK RXFLAG RXCHAR TXEMPTY \r\n");
}

TEST(CommTexts, ErrorTextListsBitsInFixedOrderAndNothingForZero)
{
    EXPECT_EQ(LineErrorText(0), "");
    EXPECT_EQ(LineErrorText(CE_BREAK), "ERROR: BREAK \r\n");
    EXPECT_EQ(LineErrorText(CE_RXPARITY | CE_FRAME | CE_DNS | 0x4000), "ERROR: DNS FRAME RXPARITY \r\n");
}

TEST(CommTexts, ComStatTextsInOrder)
{
    ComStat status;
    EXPECT_TRUE(ComStatTexts(status).empty());
    status.fCtsHold = true;
    status.fXoffHold = true;
    status.fTxim = true;
    status.cbInQue = 12;
    status.cbOutQue = 3;
    const std::vector<std::string> expected = {
        "Tx waiting for CTS signal.\r\n", "Tx waiting, XOFF char rec'd.\r\n", "Character waiting for Tx.\r\n",
        "12 bytes in input buffer.\r\n", "3 bytes in output buffer.\r\n"};
    EXPECT_EQ(ComStatTexts(status), expected);
}

TEST(StatusTexts, NumbersFollowEachOtherAndLongTextIsCut)
{
    StatusQueue queue;
    const int first = queue.Push("a\r\n");
    const int second = queue.Push("b\r\n");
    EXPECT_EQ(second, first + 1);
    EXPECT_EQ(*queue.Front(), std::to_string(first) + ":a\r\n");
    queue.Pop();
    EXPECT_EQ(*queue.Front(), std::to_string(second) + ":b\r\n");

    char buffer[kStatusTextCapacity];
    std::memset(buffer, 'x', sizeof buffer);
    CopyStatusText("short\r\n", buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "short\r\n");
    EXPECT_EQ(buffer[159], '\0');

    const std::string longText = std::string(300, 'y') + "\r\n";
    CopyStatusText(longText, buffer, sizeof buffer);
    const std::string cut(buffer);
    EXPECT_EQ(cut.size(), 159u);
    EXPECT_EQ(cut.substr(157), "\r\n");
    EXPECT_EQ(buffer[159], '\0');

    // A multi-byte character is not split.
    const std::string wide = std::string(156, 'z') + "\xED\x95\x9C" + "\r\n";
    CopyStatusText(wide, buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer), std::string(156, 'z') + "\r\n");
}
