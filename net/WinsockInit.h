#pragma once
// Process-wide start and end of socket use. On this platform the only
// process-wide state is SIGPIPE: a peer that goes away must turn a send into
// an error, not end the process. Starts nest; each object cleans up once.

#include <cstdint>

namespace net {

class CWinsockInit {
public:
    // What a successful start reports.
    struct SocketsData {
        std::uint16_t wVersion = 0;      // the version in use (low byte major)
        std::uint16_t wHighVersion = 0;  // the highest version offered
    };

    // `requestedVersion`: low byte the major, high byte the minor version.
    explicit CWinsockInit(std::uint16_t requestedVersion);
    ~CWinsockInit();  // cleans up if started and not cleaned up
    CWinsockInit(const CWinsockInit&) = delete;
    CWinsockInit& operator=(const CWinsockInit&) = delete;

    // 0 on success, 2 on failure (Result() and LastError() say why).
    int Start();
    // 0 on success; 2 when this object holds no start (LastError() set).
    int CleanUp();

    int Result() const { return m_nResult; }
    int LastError() const { return m_nLastError; }
    const SocketsData& Data() const { return m_data; }
    bool IsStarted() const { return m_bStarted; }

    // How many starts are held in the process (for tests).
    static int ActiveStarts();

private:
    std::uint16_t m_wVersionRequested;
    int m_nResult = -1;  // not started yet
    int m_nLastError = 0;
    SocketsData m_data;
    bool m_bStarted = false;
};

}  // namespace net
