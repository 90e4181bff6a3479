#include "support/LogFile.h"

#include "platform/Diagnostic.h"
#include "platform/LocalTime.h"
#include "platform/MessageBox.h"
#include "platform/PosixIo.h"
#include "platform/PostedPayload.h"
#include "platform/SystemError.h"
#include "support/LogFileClaim.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <system_error>

namespace support {
namespace {

// Pending text beyond this is written at once by the writing thread, so a
// burst never holds more than this in memory.
constexpr std::size_t kWriteThreshold = 64 * 1024;
// How long a written line may wait before the flusher puts it on disk.
constexpr auto kFlushDelay = std::chrono::milliseconds(500);

}  // namespace

CLogFile::CLogFile(const std::string& fileName) : m_strRequestedName(fileName)
{
    std::string failure;
    std::optional<ClaimedLog> claimed = ClaimLogFile(fileName, failure);
    if (!claimed) {
        platform::ShowMessageBox("Unable to create log file", failure);
        return;
    }
    m_fd = std::move(claimed->fd);
    m_strFileName = std::move(claimed->path);
    m_strSetAsideName = std::move(claimed->setAsidePath);
    if (!claimed->otherNameReason.empty())
        m_strNotice = claimed->otherNameReason + "; this run logs to " + m_strFileName;
    try {
        m_flusher = std::jthread([this](std::stop_token stop) { FlusherLoop(stop); });
    } catch (const std::system_error&) {
        // Without the flusher the text still reaches the file when the buffer
        // fills and at destruction.
    }
}

CLogFile::~CLogFile()
{
    if (m_flusher.joinable()) {
        m_flusher.request_stop();
        m_flusher.join();
    }
    Flush();
}

void CLogFile::Write(const char* format, ...)
{
    std::va_list args;
    va_start(args, format);
    WriteV(format, args);
    va_end(args);
}

void CLogFile::WriteV(const char* format, std::va_list args)
{
    if (!m_fd)
        return;
    std::unique_lock lock(m_mutex);
    AppendPrefix();
    if (format != nullptr && format[0] != '\0')
        AppendFormatted(format, args);
    AfterAppend(lock);
}

void CLogFile::WriteText(std::string_view text)
{
    if (!m_fd)
        return;
    std::unique_lock lock(m_mutex);
    AppendPrefix();
    AppendTranslated(text);
    AfterAppend(lock);
}

void CLogFile::WriteLines(std::string_view text)
{
    if (!m_fd)
        return;
    std::unique_lock lock(m_mutex);
    AppendTranslated(text);
    AfterAppend(lock);
}

platform::LRESULT CLogFile::OnLogText(platform::WPARAM, platform::LPARAM lParam)
{
    const char* text = platform::LentParam<const char>(lParam);
    WriteText(text != nullptr ? std::string_view(text) : std::string_view());
    return 1;
}

void CLogFile::Flush()
{
    if (!m_fd)
        return;
    std::lock_guard io(m_ioMutex);
    {
        std::lock_guard lock(m_mutex);
        m_writing.swap(m_pending);
        m_dirty = false;
    }
    if (!m_writing.empty()) {
        WriteBatch();
        m_writing.clear();
    }
}

void CLogFile::SetWriteStatusListener(WriteStatusListener listener)
{
    std::lock_guard io(m_ioMutex);
    m_listener = std::move(listener);
}

void CLogFile::Tell(bool ok, const std::string& text)
{
    platform::OutputDebugString(text);
    if (m_listener)
        m_listener(ok, text);
}

void CLogFile::WriteBatch()
{
    // The file is ours alone (locked, and every write goes through here), so
    // its end before the write is where a failed batch is cut back to.
    const off_t start = ::lseek(m_fd.get(), 0, SEEK_END);
    if (platform::WriteAll(m_fd.get(), m_writing)) {
        if (m_failing.load(std::memory_order_relaxed)) {
            m_failing.store(false, std::memory_order_relaxed);
            const std::string text = "Writing " + m_strFileName + " works again; " +
                                     std::to_string(m_lostLines) + " lines could not be written";
            m_lostLines = 0;
            Tell(true, text);
        }
        return;
    }
    const int error = errno;
    // Part of the batch may have reached the file: keep its whole lines only.
    std::size_t kept = 0;
    struct stat st{};
    if (start >= 0 && ::fstat(m_fd.get(), &st) == 0 && st.st_size > start) {
        const auto written = std::min(static_cast<std::size_t>(st.st_size - start), m_writing.size());
        const std::size_t lineEnd = m_writing.rfind('\n', written - 1);
        kept = lineEnd == std::string::npos ? 0 : lineEnd + 1;
        if (::ftruncate(m_fd.get(), start + static_cast<off_t>(kept)) != 0)
            platform::OutputDebugString(platform::DescribeLastFailure("Cannot cut back", m_strFileName));
    }
    m_lostLines += static_cast<std::uint64_t>(
        std::count(m_writing.begin() + static_cast<std::ptrdiff_t>(kept), m_writing.end(), '\n'));
    if (!m_failing.load(std::memory_order_relaxed)) {
        m_failing.store(true, std::memory_order_relaxed);
        Tell(false, platform::DescribeFailure("Cannot write", m_strFileName, error));
    }
}

void CLogFile::AppendPrefix()
{
    const platform::LocalTime t = platform::GetLocalTime();
    char prefix[96];
    const int n = std::snprintf(prefix, sizeof prefix, "%d/%02d/%02d, %02d:%02d:%02d - ", t.year,
                                t.month, t.day, t.hour, t.minute, t.second);
    if (n > 0)
        m_pending.append(prefix, std::min(static_cast<std::size_t>(n), sizeof prefix - 1));
}

void CLogFile::AppendTranslated(std::string_view text)
{
    while (!text.empty()) {
        const std::size_t lf = text.find('\n');
        if (lf == std::string_view::npos) {
            m_pending.append(text);
            return;
        }
        m_pending.append(text.substr(0, lf));
        m_pending.append("\r\n");
        text.remove_prefix(lf + 1);
    }
}

void CLogFile::AppendFormatted(const char* format, std::va_list args)
{
    char number[64];
    auto appendNumber = [&](auto value) {
        const auto result = std::to_chars(number, number + sizeof number, value);
        m_pending.append(number, result.ptr);
    };

    const char* p = format;
    while (*p != '\0') {
        if (*p != '%') {
            const char* runEnd = p;
            while (*runEnd != '\0' && *runEnd != '%')
                ++runEnd;
            AppendTranslated(std::string_view(p, static_cast<std::size_t>(runEnd - p)));
            p = runEnd;
            continue;
        }
        ++p;  // past the "%"
        switch (*p) {
        case 'd':
            appendNumber(va_arg(args, int));
            ++p;
            break;
        case 'u':
            appendNumber(va_arg(args, unsigned));
            ++p;
            break;
        case 'f': {
            const double value = va_arg(args, double);
            const auto result = std::to_chars(number, number + sizeof number, value,
                                              std::chars_format::general, 6);
            m_pending.append(number, result.ptr);
            ++p;
            break;
        }
        case 's': {
            const char* text = va_arg(args, const char*);
            if (text != nullptr)
                AppendTranslated(text);
            ++p;
            break;
        }
        case 'l':
            ++p;
            if (*p == 'd') {
                appendNumber(va_arg(args, int));
                ++p;
            } else if (*p == 'u') {
                appendNumber(va_arg(args, unsigned));
                ++p;
            } else if (*p != '\0') {
                // "%l" writes nothing; the character after it is plain text.
                AppendTranslated(std::string_view(p, 1));
                ++p;
            }
            break;
        default:
            // Not a directive: the "%" stands, and whatever follows (even
            // another "%") is read afresh.
            m_pending.push_back('%');
            break;
        }
    }
}

void CLogFile::AfterAppend(std::unique_lock<std::mutex>& lock)
{
    if (m_pending.size() >= kWriteThreshold) {
        lock.unlock();
        Flush();
        return;
    }
    if (!m_dirty) {
        m_dirty = true;
        lock.unlock();
        m_wake.notify_one();
    }
}

void CLogFile::FlusherLoop(std::stop_token stop)
{
    std::unique_lock lock(m_mutex);
    while (!stop.stop_requested()) {
        // Sleep until something is written, then let more lines gather.
        if (!m_wake.wait(lock, stop, [this] { return m_dirty; }))
            return;
        m_wake.wait_for(lock, stop, kFlushDelay, [] { return false; });
        if (stop.stop_requested())
            return;  // the destructor writes the rest
        lock.unlock();
        Flush();
        lock.lock();
    }
}

}  // namespace support
