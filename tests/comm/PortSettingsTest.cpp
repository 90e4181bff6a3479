// The port's stored settings and device mapping, and the texts the engine
// posts to the event box and the event log.

#include "comm/CommEvents.h"
#include "comm/CommPort2.h"
#include "comm/PortDevices.h"
#include "comm/StatusQueue.h"
#include "support/Profile.h"
#include "tests/common/TestFiles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using support::GetProfileInt;
using support::GetProfileString;

TEST(PortDevices, TheRunsMappingOverridesTheStoredOneWithoutStoringIt)
{
    testfiles::TempStore store;
    ClearRunDevicePaths();
    EXPECT_EQ(DevicePathForSlot(8), "/dev/ttyS7");
    ASSERT_TRUE(StoreDevicePath(3, "/dev/ttyUSB0") && SetRunDevicePath(3, "/dev/pts/99"));
    EXPECT_EQ(DevicePathForSlot(3), "/dev/pts/99");
    EXPECT_EQ(GetProfileString("CommPortSettings", "Device3", ""), "/dev/ttyUSB0");
    ASSERT_TRUE(StoreDevicePath(3, "/dev/ttyACM0"));
    EXPECT_EQ(DevicePathForSlot(3), "/dev/ttyACM0") << "a choice stored now takes effect at once";
    EXPECT_FALSE(SetRunDevicePath(9, "/dev/null"));
    ClearRunDevicePaths();
}

TEST(PortProfile, ListPositionsAreStoredAndAnythingElseReadsAsTheDefault)
{
    testfiles::TempStore store;
    CCommPort2 port;
    PortSettings settings;
    settings.m_nPort = 7;
    settings.m_dwBaudRate = 115200;
    port.ApplySettings(settings);
    port.SaveProfile();
    EXPECT_EQ(GetProfileInt("CommPortSettings", "BaudRate", -9), 12);
    CCommPort2 other;
    other.LoadProfile();
    EXPECT_TRUE(other.Settings() == settings);
    settings.m_dwBaudRate = 12345;
    port.ApplySettings(settings);
    EXPECT_STREQ(port.PortName(), "COM8");
    port.SaveProfile();
    EXPECT_EQ(GetProfileInt("CommPortSettings", "BaudRate", -9), -1) << "not in the list";

    // Stored positions out of range (a hand-edited file) give the defaults.
    for (const auto& [name, position] : {std::pair{"Port", 8}, {"BaudRate", -1}, {"DataBits", 5}, {"Parity", 77},
                                         {"StopBits", 3}})
        support::WriteProfileInt("CommPortSettings", name, position);
    CCommPort2 loaded;
    loaded.LoadProfile();
    EXPECT_TRUE(loaded.Settings() == PortSettings{});
}

TEST(CommTexts, EventErrorAndStatusTextsListTheirBitsInTheFixedOrder)
{
    EXPECT_EQ(CommEventText(0x1FF), "EVENT: CTS DSR ERR RING RLSD BREAK RXFLAG RXCHAR TXEMPTY \r\n");
    EXPECT_EQ(LineErrorText(0), "");
    EXPECT_EQ(LineErrorText(CE_RXPARITY | CE_FRAME | CE_DNS | 0x4000), "ERROR: DNS FRAME RXPARITY \r\n");
    ComStat status;
    status.fCtsHold = status.fXoffHold = status.fTxim = true;
    status.cbInQue = 12;
    status.cbOutQue = 3;
    EXPECT_EQ(ComStatTexts(status), (std::vector<std::string>{"Tx waiting for CTS signal.\r\n", "Tx waiting, XOFF char rec'd.\r\n",
                                                             "Character waiting for Tx.\r\n", "12 bytes in input buffer.\r\n",
                                                             "3 bytes in output buffer.\r\n"}));
}

TEST(CommTexts, StatusTextsAreNumberedInTurnAndCutWithoutSplittingACharacter)
{
    StatusQueue queue;
    const int first = queue.Push("a\r\n");
    EXPECT_EQ(queue.Push("b\r\n"), first + 1);
    EXPECT_EQ(*queue.Front(), std::to_string(first) + ":a\r\n");

    const struct {
        std::string text;
        std::string copied;
    } cases[] = {
        {"short\r\n", "short\r\n"},
        {std::string(300, 'y') + "\r\n", std::string(157, 'y') + "\r\n"},  // the line end kept
        {std::string(156, 'z') + "\xED\x95\x9C\r\n", std::string(156, 'z') + "\r\n"},
    };
    for (const auto& c : cases) {
        char buffer[kStatusTextCapacity];
        std::memset(buffer, 'x', sizeof buffer);
        CopyStatusText(c.text, buffer, sizeof buffer);
        EXPECT_EQ(buffer[kStatusTextCapacity - 1], '\0');
        EXPECT_EQ(std::string(buffer), c.copied) << c.text.size();
    }
}

}  // namespace
