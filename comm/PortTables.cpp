#include "comm/PortTables.h"

const PortTable& GetPortTable(PortTableId id)
{
    switch (id) {
    case PortTableId::Port: return kPortTable;
    case PortTableId::BaudRate: return kBaudRateTable;
    case PortTableId::DataBits: return kDataBitsTable;
    case PortTableId::Parity: return kParityTable;
    case PortTableId::StopBits: return kStopBitsTable;
    }
    return kPortTable;
}
