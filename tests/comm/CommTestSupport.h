#pragma once
// Real parts for the engine tests: a pseudo-terminal standing in for the
// serial device (the engine opens its slave, the test drives its master), and
// an owner that takes the engine's posts on the test's thread and hands every
// buffer back unless told to hold received packets.

#include "comm/CommPort2.h"
#include "comm/PortDevices.h"
#include "platform/MessageQueue.h"
#include "platform/PostedPayload.h"
#include "tests/common/DiagnosticCapture.h"
#include "tests/common/PtyPair.h"
#include "FakeUart.h"

#include <sys/file.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace commtest {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testdiag::DiagnosticCapture;
using testpty::Pattern;

class TestOwner {
public:
    explicit TestOwner(CCommPort2& port) : m_port(port) { port.SetOwner(&m_queue); }

    std::string bytes;
    std::vector<std::uint32_t> packetLengths;
    std::vector<std::string> texts;  // as posted, "<n>:" first
    int portGone = 0;
    bool zerosAfterData = true;
    bool holdPackets = false;
    std::vector<ReceivePacket*> held;

    // Handles messages until `done` is true or `limit` passes; returns `done()`.
    bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 5000ms)
    {
        const auto end = Clock::now() + limit;
        while (!done()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
            if (left.count() <= 0)
                return false;
            if (auto message = m_queue.Take(std::min(left, std::chrono::milliseconds(50))))
                Handle(*message);
        }
        return true;
    }
    void PumpFor(std::chrono::milliseconds duration) { PumpUntil([] { return false; }, duration); }
    bool WaitBytes(std::size_t count, std::chrono::milliseconds limit = 5000ms)
    {
        return PumpUntil([&] { return bytes.size() >= count; }, limit);
    }
    bool WaitText(const std::string& text) { return PumpUntil([&] { return HasText(text); }); }
    // The texts without their "<n>:" numbers.
    std::vector<std::string> Texts() const
    {
        std::vector<std::string> stripped;
        for (const std::string& t : texts)
            stripped.push_back(t.substr(t.find(':') + 1));
        return stripped;
    }
    bool HasText(const std::string& text) const
    {
        const std::vector<std::string> all = Texts();
        return std::find(all.begin(), all.end(), text) != all.end();
    }

private:
    void Handle(const platform::PostedMessage& message)
    {
        if (message.message == WM_RXDATA) {
            auto* packet = platform::LentParam<ReceivePacket>(message.lParam);
            packetLengths.push_back(packet->length);
            bytes.append(reinterpret_cast<const char*>(packet->data), packet->length);
            for (std::size_t i = packet->length; i < sizeof packet->data; ++i)
                zerosAfterData = zerosAfterData && packet->data[i] == 0;
            if (holdPackets)
                held.push_back(packet);
            else
                m_port.ReleasePacket(packet);
        } else if (message.message == WM_STATUSTEXT) {
            auto* post = platform::LentParam<StatusPostBuffer>(message.lParam);
            texts.emplace_back(post->text);
            m_port.ReleaseStatusPost(post);
        } else if (message.message == WM_PORTGONE) {
            ++portGone;
        }
    }

    CCommPort2& m_port;
    platform::MessageQueue m_queue;
};

// Another program can open and lock the device: the engine has let it go.
inline bool DeviceIsFree(const std::string& path)
{
    platform::UniqueFd other(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    return other && ::flock(other.get(), LOCK_EX | LOCK_NB) == 0;
}

// Hands the engine a copy of its settings as `edit` leaves them.
template <class Edit>
bool EditSettings(CCommPort2& port, Edit edit)
{
    PortSettings settings = port.Settings();
    edit(settings);
    return port.ApplySettings(settings);
}

// Maps slot `slot` to the pty's slave for this run.
inline void MapSlotToPty(CCommPort2& port, const testpty::PtyPair& pty, int slot = 1)
{
    SetRunDevicePath(slot, pty.SlavePath());
    EditSettings(port, [slot](PortSettings& s) { s.m_nPort = static_cast<std::uint32_t>(slot - 1); });
}

// An engine on slot 1 mapped to a pty, its owner, and the diagnostics; the
// modem lines a pty lacks come from a fake UART once UseFakeUart is called.
class EngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.Open(false));
        MapSlotToPty(port, pty);
    }
    void TearDown() override
    {
        uart->ReleaseHolds();
        port.ClosePort();
        ClearRunDevicePaths();
    }
    void UseFakeUart()
    {
        port.SetLineControlFactory([this](int) { return std::make_unique<FakeUart>(uart); });
    }
    // Opens the port; the reader has passed its first round once its first
    // text is out.
    void Open()
    {
        ASSERT_TRUE(port.OpenPort()) << port.LastOpenError();
        ASSERT_TRUE(owner.WaitText("Status message go here:\r\n"));
    }
    template <typename Change>
    void Uart(Change change)
    {
        std::lock_guard lock(uart->mutex);
        change(*uart);
    }

    DiagnosticCapture diagnostics;
    testpty::PtyPair pty;
    std::shared_ptr<FakeUartState> uart = std::make_shared<FakeUartState>();
    CCommPort2 port;
    TestOwner owner{port};
};

}  // namespace commtest
