#pragma once
// The five fixed tables between the stored/displayed list positions and the
// line settings: port, baud rate, data bits, parity, stop bits.

#include <cstddef>
#include <cstdint>
#include <span>

struct PortTableEntry {
    std::uint32_t value;
    const char* text;  // what the settings dialog lists
};

class PortTable {
public:
    constexpr PortTable(std::span<const PortTableEntry> entries, std::uint32_t defaultValue)
        : m_entries(entries), m_defaultValue(defaultValue)
    {
    }

    constexpr int Count() const { return static_cast<int>(m_entries.size()); }
    // A position outside the table (a damaged stored value) gives the default.
    constexpr std::uint32_t IndexToValue(int index) const
    {
        return InRange(index) ? m_entries[static_cast<std::size_t>(index)].value : m_defaultValue;
    }
    // First position holding `value`, or -1.
    constexpr int ValueToIndex(std::uint32_t value) const
    {
        for (std::size_t i = 0; i < m_entries.size(); ++i)
            if (m_entries[i].value == value)
                return static_cast<int>(i);
        return -1;
    }
    // "" outside the table.
    constexpr const char* Text(int index) const
    {
        return InRange(index) ? m_entries[static_cast<std::size_t>(index)].text : "";
    }
    constexpr std::uint32_t DefaultValue() const { return m_defaultValue; }

private:
    constexpr bool InRange(int index) const
    {
        return index >= 0 && static_cast<std::size_t>(index) < m_entries.size();
    }

    std::span<const PortTableEntry> m_entries;
    std::uint32_t m_defaultValue;
};

namespace port_tables_detail {
inline constexpr PortTableEntry kPorts[] = {
    {0, "COM1"}, {1, "COM2"}, {2, "COM3"}, {3, "COM4"},
    {4, "COM5"}, {5, "COM6"}, {6, "COM7"}, {7, "COM8"},
};
inline constexpr PortTableEntry kBaudRates[] = {
    {110, "110"},       {300, "300"},       {600, "600"},       {1200, "1200"},     {2400, "2400"},
    {4800, "4800"},     {9600, "9600"},     {14400, "14400"},   {19200, "19200"},   {38400, "38400"},
    {56000, "56000"},   {57600, "57600"},   {115200, "115200"}, {128000, "128000"}, {256000, "256000"},
};
inline constexpr PortTableEntry kDataBits[] = {{4, "4"}, {5, "5"}, {6, "6"}, {7, "7"}, {8, "8"}};
inline constexpr PortTableEntry kParities[] = {
    {0, "No"}, {1, "Odd"}, {2, "Even"}, {3, "Mark"}, {4, "Space"},
};
inline constexpr PortTableEntry kStopBits[] = {{0, "1"}, {1, "1.5"}, {2, "2"}};
}  // namespace port_tables_detail

// Defaults are the engine's construction defaults: COM1, 9600, 8, none, one.
inline constexpr PortTable kPortTable{port_tables_detail::kPorts, 0};
inline constexpr PortTable kBaudRateTable{port_tables_detail::kBaudRates, 9600};
inline constexpr PortTable kDataBitsTable{port_tables_detail::kDataBits, 8};
inline constexpr PortTable kParityTable{port_tables_detail::kParities, 0};
inline constexpr PortTable kStopBitsTable{port_tables_detail::kStopBits, 0};

enum class PortTableId { Port, BaudRate, DataBits, Parity, StopBits };
const PortTable& GetPortTable(PortTableId id);

inline std::uint32_t IndexToValue(const PortTable& table, int index) { return table.IndexToValue(index); }
inline int ValueToIndex(const PortTable& table, std::uint32_t value) { return table.ValueToIndex(value); }
