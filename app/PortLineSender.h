#pragma once
// The terminal view's sender over the frame's serial engine.

#include "comm/CommPort2.h"
#include "terminal/LineSender.h"

class PortLineSender final : public LineSender {
public:
    explicit PortLineSender(CCommPort2* port) : m_pPort(port) {}

    bool IsPortOpen() const override { return m_pPort != nullptr && m_pPort->IsOpen(); }
    bool SendBytes(const std::uint8_t* data, std::size_t length) override
    {
        return IsPortOpen() && m_pPort->SendBytes(data, length);
    }

private:
    CCommPort2* m_pPort;
};
