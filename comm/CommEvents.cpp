#include "comm/CommEvents.h"

#include <cstdio>

namespace {

struct Named {
    std::uint32_t bit;
    const char* name;
};

constexpr Named kEventNames[] = {
    {EV_CTS, "CTS "},       {EV_DSR, "DSR "},       {EV_ERR, "ERR "},
    {EV_RING, "RING "},     {EV_RLSD, "RLSD "},     {EV_BREAK, "BREAK "},
    {EV_RXFLAG, "RXFLAG "}, {EV_RXCHAR, "RXCHAR "}, {EV_TXEMPTY, "TXEMPTY "},
};

constexpr Named kErrorNames[] = {
    {CE_DNS, "DNS "},       {CE_IOE, "IOE "},         {CE_OOP, "OOP "},
    {CE_PTO, "PTO "},       {CE_MODE, "MODE "},       {CE_BREAK, "BREAK "},
    {CE_FRAME, "FRAME "},   {CE_RXOVER, "RXOVER "},   {CE_TXFULL, "TXFULL "},
    {CE_OVERRUN, "OVERRUN "}, {CE_RXPARITY, "RXPARITY "},
};

}  // namespace

std::string CommEventText(std::uint32_t eventWord)
{
    std::string text = "EVENT: ";
    for (const Named& event : kEventNames)
        if (eventWord & event.bit)
            text += event.name;
    if (eventWord == 0)
        text += "NULL";
    text += "\r\n";
    return text;
}

std::string LineErrorText(std::uint32_t errors)
{
    if (errors == 0)
        return {};
    std::string text = "ERROR: ";
    for (const Named& error : kErrorNames)
        if (errors & error.bit)
            text += error.name;
    text += "\r\n";
    return text;
}

std::vector<std::string> ComStatTexts(const ComStat& status)
{
    std::vector<std::string> texts;
    if (status.fCtsHold)
        texts.emplace_back("Tx waiting for CTS signal.\r\n");
    if (status.fDsrHold)
        texts.emplace_back("Tx waiting for DSR signal.\r\n");
    if (status.fRlsdHold)
        texts.emplace_back("Tx waiting for RLSD signal.\r\n");
    if (status.fXoffHold)
        texts.emplace_back("Tx waiting, XOFF char rec'd.\r\n");
    if (status.fXoffSent)
        texts.emplace_back("Tx waiting, XOFF char sent.\r\n");
    if (status.fEof)
        texts.emplace_back("EOF character received.\r\n");
    if (status.fTxim)
        texts.emplace_back("Character waiting for Tx.\r\n");
    char line[64];
    if (status.cbInQue != 0) {
        std::snprintf(line, sizeof line, "%d bytes in input buffer.\r\n", static_cast<int>(status.cbInQue));
        texts.emplace_back(line);
    }
    if (status.cbOutQue != 0) {
        std::snprintf(line, sizeof line, "%d bytes in output buffer.\r\n", static_cast<int>(status.cbOutQue));
        texts.emplace_back(line);
    }
    return texts;
}
