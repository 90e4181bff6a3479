#include "CommTestSupport.h"

#include "comm/PortDevices.h"
#include "support/Profile.h"

#include <gtest/gtest.h>

using namespace commtest;

TEST(PortDevices, DefaultStoredAndRunOverride)
{
    TempRegistry registry;
    ClearRunDevicePaths();
    EXPECT_EQ(DevicePathForSlot(1), "/dev/ttyS0");
    EXPECT_EQ(DevicePathForSlot(8), "/dev/ttyS7");
    EXPECT_EQ(DevicePathForSlot(0), "");
    EXPECT_EQ(DevicePathForSlot(9), "");

    ASSERT_TRUE(StoreDevicePath(3, "/dev/ttyUSB0"));
    EXPECT_EQ(DevicePathForSlot(3), "/dev/ttyUSB0");
    EXPECT_EQ(support::GetProfileString("CommPortSettings", "Device3", ""), "/dev/ttyUSB0");

    ASSERT_TRUE(SetRunDevicePath(3, "/dev/pts/99"));
    EXPECT_EQ(DevicePathForSlot(3), "/dev/pts/99");
    // The run's mapping is not stored.
    EXPECT_EQ(support::GetProfileString("CommPortSettings", "Device3", ""), "/dev/ttyUSB0");
    // A choice stored now takes effect at once.
    ASSERT_TRUE(StoreDevicePath(3, "/dev/ttyACM0"));
    EXPECT_EQ(DevicePathForSlot(3), "/dev/ttyACM0");

    EXPECT_FALSE(SetRunDevicePath(9, "/dev/null"));
    EXPECT_FALSE(StoreDevicePath(0, "/dev/null"));
    EXPECT_EQ(SlotFromPortName("COM8"), 8);
    EXPECT_EQ(SlotFromPortName("COM9"), 0);
    EXPECT_EQ(SlotFromPortName("LPT1"), 0);
    ClearRunDevicePaths();
}

TEST(PortProfile, FirstLoadGivesStoredDefaults)
{
    TempRegistry registry;
    CCommPort2 port;
    EXPECT_EQ(port.m_dwBaudRate, 9600u);  // construction does not read the profile
    port.LoadProfile();
    EXPECT_EQ(port.m_nPort, 0u);
    EXPECT_EQ(port.m_dwBaudRate, 110u);
    EXPECT_EQ(port.m_byDataBits, 8);
    EXPECT_EQ(port.m_byParity, 0);
    EXPECT_EQ(port.m_byStopBits, 0);
}

TEST(PortProfile, SaveStoresPositionsAndMinusOneForUnknownValues)
{
    TempRegistry registry;
    CCommPort2 port;
    port.m_nPort = 7;
    port.m_dwBaudRate = 115200;
    port.m_byDataBits = 8;
    port.m_byParity = 2;
    port.m_byStopBits = 2;
    port.SaveProfile();
    EXPECT_EQ(support::GetProfileInt("CommPortSettings", "Port", -9), 7);
    EXPECT_EQ(support::GetProfileInt("CommPortSettings", "BaudRate", -9), 12);
    EXPECT_EQ(support::GetProfileInt("CommPortSettings", "DataBits", -9), 4);
    EXPECT_EQ(support::GetProfileInt("CommPortSettings", "Parity", -9), 2);
    EXPECT_EQ(support::GetProfileInt("CommPortSettings", "StopBits", -9), 2);

    CCommPort2 other;
    other.LoadProfile();
    EXPECT_EQ(other.m_nPort, 7u);
    EXPECT_EQ(other.m_dwBaudRate, 115200u);
    other.RefreshPortName();
    EXPECT_STREQ(other.m_szPortName, "COM8");

    port.m_dwBaudRate = 12345;
    port.SaveProfile();
    EXPECT_EQ(support::GetProfileInt("CommPortSettings", "BaudRate", -9), -1);
}

TEST(PortProfile, StoredPositionOutOfRangeGivesDefault)
{
    TempRegistry registry;
    support::WriteProfileInt("CommPortSettings", "Port", 8);
    support::WriteProfileInt("CommPortSettings", "BaudRate", -1);
    support::WriteProfileInt("CommPortSettings", "DataBits", 5);
    support::WriteProfileInt("CommPortSettings", "Parity", 77);
    support::WriteProfileInt("CommPortSettings", "StopBits", 3);
    CCommPort2 port;
    port.LoadProfile();
    EXPECT_EQ(port.m_nPort, 0u);
    EXPECT_EQ(port.m_dwBaudRate, 9600u);
    EXPECT_EQ(port.m_byDataBits, 8);
    EXPECT_EQ(port.m_byParity, 0);
    EXPECT_EQ(port.m_byStopBits, 0);
}
