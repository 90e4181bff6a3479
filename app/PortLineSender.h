#pragma once
// The one way to the serial line for the view, the automation windows and
// the TCP bridge, over the frame's engine.

#include "comm/CommPort2.h"
#include "text/LineSender.h"

#include <utility>

class PortLineSender final : public LineSender {
public:
    explicit PortLineSender(CCommPort2* port) : m_pPort(port) {}

    bool IsPortOpen() const override { return m_pPort != nullptr && m_pPort->IsOpen(); }
    bool SendBytes(const std::uint8_t* data, std::size_t length) override
    {
        return IsPortOpen() && m_pPort->SendBytes(data, length);
    }
    std::size_t Backlog() const override { return m_pPort != nullptr ? m_pPort->PendingWriteRequests() : 0; }
    bool WatchRoom(std::size_t requests, std::function<void()> onRoom) override
    {
        m_onRoom = std::move(onRoom);
        if (m_pPort != nullptr && m_pPort->WatchWriteRoom(requests))
            return true;
        m_onRoom = nullptr;
        return false;
    }
    // The engine's WM_WRITEROOM: the watch has fired.
    void OnWriteRoom()
    {
        if (std::function<void()> onRoom = std::exchange(m_onRoom, nullptr))
            onRoom();
    }

private:
    CCommPort2* m_pPort;
    std::function<void()> m_onRoom;
};
