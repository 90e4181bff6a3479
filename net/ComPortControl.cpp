#include "net/ComPortControl.h"

namespace net {

namespace {

std::vector<std::uint8_t> Reply(std::uint8_t command, std::uint8_t value)
{
    return {static_cast<std::uint8_t>(command + ComPortControl::kServerOffset), value};
}

}  // namespace

std::vector<std::vector<std::uint8_t>> ComPortControl::Handle(const std::uint8_t* payload, std::size_t length)
{
    if (length == 0)
        return {};
    const std::uint8_t command = payload[0];
    const std::uint8_t* value = payload + 1;
    const std::size_t valueLength = length - 1;
    // A request whose value is missing is taken as a query.
    const std::uint8_t byteValue = valueLength >= 1 ? value[0] : 0;
    ComPortLine line = m_device.Line();

    auto applied = [&](auto ComPortLine::*field, auto wanted) {
        if (wanted != 0 && line.*field != wanted) {
            line.*field = wanted;
            m_device.ApplyLine(line);
        }
        return m_device.Line().*field;
    };

    switch (command) {
    case kSignature: {
        if (valueLength != 0)
            return {};  // the client telling us its name: nothing owed
        std::vector<std::uint8_t> reply{kSignature + kServerOffset};
        reply.insert(reply.end(), m_strSignature.begin(), m_strSignature.end());
        return {reply};
    }
    case kSetBaudRate: {
        std::uint32_t wanted = 0;
        if (valueLength >= 4)
            wanted = std::uint32_t{value[0]} << 24 | std::uint32_t{value[1]} << 16 | std::uint32_t{value[2]} << 8 | value[3];
        const std::uint32_t baud = applied(&ComPortLine::baud, wanted);
        return {{kSetBaudRate + kServerOffset, static_cast<std::uint8_t>(baud >> 24),
                 static_cast<std::uint8_t>(baud >> 16), static_cast<std::uint8_t>(baud >> 8),
                 static_cast<std::uint8_t>(baud)}};
    }
    case kSetDataSize:
        return {Reply(command, applied(&ComPortLine::dataSize, byteValue >= 5 && byteValue <= 8 ? byteValue : std::uint8_t{0}))};
    case kSetParity:
        return {Reply(command, applied(&ComPortLine::parity, byteValue <= 5 ? byteValue : std::uint8_t{0}))};
    case kSetStopSize:
        return {Reply(command, applied(&ComPortLine::stopSize, byteValue <= 3 ? byteValue : std::uint8_t{0}))};
    case kSetControl:
        return {Control(byteValue)};
    case kNotifyLineState:
        return {Reply(command, 0)};  // the engine keeps no line state to send
    case kNotifyModemState:
        m_lastModemState = m_device.ModemState();
        m_bModemStateSent = true;
        return {Reply(command, m_lastModemState)};
    case kFlowControlSuspend:
    case kFlowControlResume:
        // RFC 2217 defines no answer; the same code back would ask the
        // client to stop or start its own sending.
        m_bSuspended = command == kFlowControlSuspend;
        return {};
    case kSetLineStateMask:
        m_lineStateMask = byteValue;
        return {Reply(command, m_lineStateMask)};
    case kSetModemStateMask:
        m_modemStateMask = byteValue;
        return {Reply(command, m_modemStateMask)};
    case kPurgeData:
        if (byteValue >= 1 && byteValue <= 3)
            m_device.Purge(byteValue);
        return {Reply(command, byteValue)};
    default:
        return {};
    }
}

std::vector<std::uint8_t> ComPortControl::Control(std::uint8_t value)
{
    ComPortLine line = m_device.Line();
    auto apply = [&] {
        m_device.ApplyLine(line);
        line = m_device.Line();
    };
    switch (value) {
    case 0: break;
    case 1: case 2: case 3:
        line.flow = value;
        apply();
        break;
    case 4: return Reply(kSetControl, line.breakOn ? 5 : 6);
    case 5: case 6:
        line.breakOn = value == 5;
        apply();
        return Reply(kSetControl, line.breakOn ? 5 : 6);
    case 7: return Reply(kSetControl, line.dtr ? 8 : 9);
    case 8: case 9:
        line.dtr = value == 8;
        apply();
        return Reply(kSetControl, line.dtr ? 8 : 9);
    case 10: return Reply(kSetControl, line.rts ? 11 : 12);
    case 11: case 12:
        line.rts = value == 11;
        apply();
        return Reply(kSetControl, line.rts ? 11 : 12);
    case 13: return Reply(kSetControl, line.inboundFlow);
    case 14: case 15: case 16:
        line.inboundFlow = value;
        apply();
        return Reply(kSetControl, line.inboundFlow);
    default:
        // DCD, DTR and DSR flow control are not offered: the inbound
        // choice kept is the answer.
        if (value >= 17 && value <= 19)
            return Reply(kSetControl, line.inboundFlow);
        return Reply(kSetControl, line.flow);
    }
    return Reply(kSetControl, line.flow);
}

std::vector<std::uint8_t> ComPortControl::ModemStateNotice()
{
    const std::uint8_t state = m_device.ModemState();
    if (m_bModemStateSent && ((state ^ m_lastModemState) & m_modemStateMask) == 0)
        return {};
    m_bModemStateSent = true;
    m_lastModemState = state;
    return Reply(kNotifyModemState, state & m_modemStateMask);
}

}  // namespace net
