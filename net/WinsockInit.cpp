#include "net/WinsockInit.h"

#include <cerrno>
#include <csignal>
#include <mutex>

namespace net {
namespace {

constexpr std::uint16_t kHighestVersion = 0x0101;  // 1.1

std::mutex g_mutex;
int g_starts = 0;

}  // namespace

CWinsockInit::CWinsockInit(std::uint16_t requestedVersion) : m_wVersionRequested(requestedVersion) {}

CWinsockInit::~CWinsockInit()
{
    if (m_bStarted)
        CleanUp();
}

int CWinsockInit::Start()
{
    if (m_bStarted)
        return 0;
    const unsigned major = m_wVersionRequested & 0xFF;
    if (major == 0) {
        // No version below 1.0 exists.
        m_nResult = m_nLastError = EINVAL;
        return 2;
    }
    std::lock_guard lock(g_mutex);
    if (g_starts == 0) {
        struct sigaction ignore{};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        if (sigaction(SIGPIPE, &ignore, nullptr) != 0) {
            m_nResult = m_nLastError = errno;
            return 2;
        }
    }
    ++g_starts;
    m_bStarted = true;
    m_nResult = 0;
    m_nLastError = 0;
    m_data.wHighVersion = kHighestVersion;
    m_data.wVersion = major > 1 ? kHighestVersion : m_wVersionRequested;
    return 0;
}

int CWinsockInit::CleanUp()
{
    if (!m_bStarted) {
        m_nLastError = EINVAL;
        return 2;
    }
    std::lock_guard lock(g_mutex);
    --g_starts;
    m_bStarted = false;
    // SIGPIPE stays ignored: the application ignores it for its whole run.
    return 0;
}

int CWinsockInit::ActiveStarts()
{
    std::lock_guard lock(g_mutex);
    return g_starts;
}

}  // namespace net
