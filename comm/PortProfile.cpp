// The five user-visible settings in the profile, stored as table positions.

#include "comm/CommPort2.h"
#include "comm/PortDevices.h"
#include "comm/PortTables.h"
#include "support/Profile.h"

void CCommPort2::LoadProfile()
{
    m_settings.m_nPort = kPortTable.IndexToValue(support::GetProfileInt(kPortSection, "Port", 0));
    m_settings.m_dwBaudRate = kBaudRateTable.IndexToValue(support::GetProfileInt(kPortSection, "BaudRate", 0));
    m_settings.m_byDataBits = static_cast<std::uint8_t>(kDataBitsTable.IndexToValue(support::GetProfileInt(kPortSection, "DataBits", 4)));
    m_settings.m_byParity = static_cast<std::uint8_t>(kParityTable.IndexToValue(support::GetProfileInt(kPortSection, "Parity", 0)));
    m_settings.m_byStopBits = static_cast<std::uint8_t>(kStopBitsTable.IndexToValue(support::GetProfileInt(kPortSection, "StopBits", 0)));
}

void CCommPort2::SaveProfile()
{
    support::WriteProfileInt(kPortSection, "Port", static_cast<int>(m_settings.m_nPort));
    support::WriteProfileInt(kPortSection, "BaudRate", kBaudRateTable.ValueToIndex(m_settings.m_dwBaudRate));
    support::WriteProfileInt(kPortSection, "DataBits", kDataBitsTable.ValueToIndex(m_settings.m_byDataBits));
    support::WriteProfileInt(kPortSection, "Parity", kParityTable.ValueToIndex(m_settings.m_byParity));
    support::WriteProfileInt(kPortSection, "StopBits", kStopBitsTable.ValueToIndex(m_settings.m_byStopBits));
}
