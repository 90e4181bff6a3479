// The five user-visible settings in the profile, stored as table positions.

#include "comm/CommPort2.h"
#include "comm/PortTables.h"
#include "support/Profile.h"

namespace {
constexpr std::string_view kSection = "CommPortSettings";
}

void CCommPort2::LoadProfile()
{
    m_settings.m_nPort = kPortTable.IndexToValue(support::GetProfileInt(kSection, "Port", 0));
    m_settings.m_dwBaudRate = kBaudRateTable.IndexToValue(support::GetProfileInt(kSection, "BaudRate", 0));
    m_settings.m_byDataBits = static_cast<std::uint8_t>(kDataBitsTable.IndexToValue(support::GetProfileInt(kSection, "DataBits", 4)));
    m_settings.m_byParity = static_cast<std::uint8_t>(kParityTable.IndexToValue(support::GetProfileInt(kSection, "Parity", 0)));
    m_settings.m_byStopBits = static_cast<std::uint8_t>(kStopBitsTable.IndexToValue(support::GetProfileInt(kSection, "StopBits", 0)));
}

void CCommPort2::SaveProfile()
{
    support::WriteProfileInt(kSection, "Port", static_cast<int>(m_settings.m_nPort));
    support::WriteProfileInt(kSection, "BaudRate", kBaudRateTable.ValueToIndex(m_settings.m_dwBaudRate));
    support::WriteProfileInt(kSection, "DataBits", kDataBitsTable.ValueToIndex(m_settings.m_byDataBits));
    support::WriteProfileInt(kSection, "Parity", kParityTable.ValueToIndex(m_settings.m_byParity));
    support::WriteProfileInt(kSection, "StopBits", kStopBitsTable.ValueToIndex(m_settings.m_byStopBits));
}
