#pragma once
// Real parts for the engine tests: a pseudo-terminal pair standing in for the
// serial device, an owner that takes the engine's posts and hands buffers
// back, a temporary settings folder, and a capture of the diagnostic channel.

#include "comm/CommPort2.h"
#include "comm/PortDevices.h"
#include "platform/Diagnostic.h"
#include "platform/MessageQueue.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace commtest {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The far end (master) is what the test drives; the engine opens the near end.
class PtyPair {
public:
    PtyPair()
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
            return;
        char name[128] = {};
        if (::ptsname_r(m_master, name, sizeof name) == 0)
            m_path = name;
        termios t{};
        ::tcgetattr(m_master, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(m_master, TCSANOW, &t);
    }
    ~PtyPair() { CloseMaster(); }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return m_master >= 0 && !m_path.empty(); }
    const std::string& path() const { return m_path; }
    int master() const { return m_master; }
    void CloseMaster()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

    bool Write(const void* data, std::size_t size, std::chrono::milliseconds limit = 5000ms)
    {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        const auto end = Clock::now() + limit;
        std::size_t done = 0;
        while (done < size && Clock::now() < end) {
            const ssize_t put = ::write(m_master, bytes + done, size - done);
            if (put > 0) {
                done += static_cast<std::size_t>(put);
                continue;
            }
            pollfd p{m_master, POLLOUT, 0};
            ::poll(&p, 1, 10);
        }
        return done == size;
    }
    bool Write(const std::string& text) { return Write(text.data(), text.size()); }

    // Reads until `count` bytes are in or `limit` has passed.
    std::vector<std::uint8_t> Read(std::size_t count, std::chrono::milliseconds limit = 5000ms)
    {
        std::vector<std::uint8_t> got;
        const auto end = Clock::now() + limit;
        std::uint8_t buffer[4096];
        while (got.size() < count && Clock::now() < end) {
            const ssize_t n = ::read(m_master, buffer, std::min(sizeof buffer, count - got.size()));
            if (n > 0) {
                got.insert(got.end(), buffer, buffer + n);
                continue;
            }
            if (n < 0 && errno == EIO) {  // near end not open (yet)
                std::this_thread::sleep_for(1ms);
                continue;
            }
            pollfd p{m_master, POLLIN, 0};
            ::poll(&p, 1, 10);
        }
        return got;
    }

private:
    int m_master = -1;
    std::string m_path;
};

// Takes the engine's posts on the test's thread and hands every buffer back,
// unless told to hold received packets.
class TestOwner {
public:
    explicit TestOwner(CCommPort2& port) : m_port(port) { port.SetOwner(&m_queue); }

    std::vector<std::uint8_t> bytes;
    std::vector<std::uint32_t> packetLengths;
    std::vector<std::string> texts;
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
    // Handles whatever arrives during `duration`.
    void PumpFor(std::chrono::milliseconds duration)
    {
        PumpUntil([] { return false; }, duration);
    }
    bool WaitBytes(std::size_t count, std::chrono::milliseconds limit = 5000ms)
    {
        return PumpUntil([&] { return bytes.size() >= count; }, limit);
    }
    bool WaitText(const std::string& text, std::chrono::milliseconds limit = 5000ms)
    {
        return PumpUntil([&] { return HasText(text); }, limit);
    }
    // True when some text, after its "<n>:" prefix, equals `text`.
    bool HasText(const std::string& text) const
    {
        for (const std::string& t : texts)
            if (StripNumber(t) == text)
                return true;
        return false;
    }
    static std::string StripNumber(const std::string& numbered)
    {
        const auto colon = numbered.find(':');
        return colon == std::string::npos ? numbered : numbered.substr(colon + 1);
    }
    static int NumberOf(const std::string& numbered) { return std::atoi(numbered.c_str()); }
    void ReleaseHeld()
    {
        for (ReceivePacket* packet : held)
            m_port.ReleasePacket(packet);
        held.clear();
    }
    platform::MessageQueue& queue() { return m_queue; }

private:
    void Handle(const platform::PostedMessage& message)
    {
        if (message.message == WM_RXDATA) {
            auto* packet = reinterpret_cast<ReceivePacket*>(message.lParam);
            packetLengths.push_back(packet->length);
            bytes.insert(bytes.end(), packet->data, packet->data + packet->length);
            for (std::size_t i = packet->length; i < sizeof packet->data; ++i)
                if (packet->data[i] != 0)
                    zerosAfterData = false;
            if (holdPackets)
                held.push_back(packet);
            else
                m_port.ReleasePacket(packet);
        } else if (message.message == WM_STATUSTEXT) {
            auto* post = reinterpret_cast<StatusPostBuffer*>(message.lParam);
            texts.emplace_back(post->text);
            m_port.ReleaseStatusPost(post);
        } else if (message.message == WM_PORTGONE) {
            ++portGone;
        }
    }

    CCommPort2& m_port;
    platform::MessageQueue m_queue;
};

// A settings folder of its own for each test, removed afterwards.
class TempRegistry {
public:
    TempRegistry()
    {
        char pattern[] = "/tmp/kestrana-comm-XXXXXX";
        if (const char* dir = ::mkdtemp(pattern))
            m_dir = dir;
        ::setenv("KESTRANA_REGISTRY_DIR", m_dir.c_str(), 1);
    }
    ~TempRegistry()
    {
        ::unsetenv("KESTRANA_REGISTRY_DIR");
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }
    const std::string& dir() const { return m_dir; }

private:
    std::string m_dir;
};

// Collects diagnostic texts for the lifetime of the object.
class DiagnosticCapture {
public:
    DiagnosticCapture()
    {
        m_previous = platform::SetDiagnosticSink([this](std::string_view text) {
            std::lock_guard lock(m_mutex);
            m_texts.emplace_back(text);
        });
    }
    ~DiagnosticCapture() { platform::SetDiagnosticSink(m_previous); }
    std::vector<std::string> texts() const
    {
        std::lock_guard lock(m_mutex);
        return m_texts;
    }
    bool Has(const std::string& text) const
    {
        for (const std::string& t : texts())
            if (t == text)
                return true;
        return false;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_texts;
    platform::DiagnosticSink m_previous;
};

// An engine whose slot 1 is the near end of `pty`.
inline void MapSlotToPty(CCommPort2& port, const PtyPair& pty, int slot = 1)
{
    SetRunDevicePath(slot, pty.path());
    port.m_nPort = static_cast<std::uint32_t>(slot - 1);
}

inline std::vector<std::uint8_t> Pattern(std::size_t count, std::uint32_t seed = 0)
{
    std::vector<std::uint8_t> bytes(count);
    for (std::size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<std::uint8_t>((i * 31 + seed * 7 + (i >> 8)) & 0xFF);
    return bytes;
}

}  // namespace commtest
