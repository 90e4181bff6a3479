#pragma once
// A timestamped log file: every Write produces one prefix
// "YYYY/MM/DD, hh:mm:ss - " followed by text from a small printf-like
// formatter. Every "\n" reaches the disk as CR LF (a "\r\n" in the text
// therefore becomes "\r\r\n"), so the files read the same as the ones the
// program has always written.
//
// Each run starts its file empty without destroying anything: an earlier
// run's file of the same name is kept under a numbered name, and a file that
// another running program holds is left alone for a numbered one of this
// run's own (LogFileClaim.h). The file stays locked while the logger lives.
//
// Output is buffered and never flushed per line; a background flusher writes
// whatever is pending within about half a second, so a crash loses at most the
// last second. Destruction writes the rest and closes the file.
//
// A batch the disk refuses (full, quota, I/O error) is dropped, and whatever
// part of it did reach the file is cut back to its last whole line, so the
// file never holds half a line. The listener hears of it once when writing
// starts failing and once when it works again.
//
// Directives of Write: %d %u %ld %lu (32-bit values), %f (a double, general
// notation, 6 significant digits), %s (a C string; a null pointer writes
// nothing). "%l" followed by any other character writes nothing for "%l"; a
// "%" before any other character, or at the end, is written as it is and the
// next character is read normally, so "%%" is not an escape.

#include "platform/UniqueFd.h"
#include "platform/WindowMessage.h"

#include <atomic>
#include <condition_variable>
#include <cstdarg>
#include <cstdint>
#include <functional>
#include <mutex>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>

namespace support {

class CLogFile {
public:
    // The message that carries a text to log (lParam: NUL-terminated text).
    static constexpr unsigned WM_LOGTEXT = platform::WM_USER + 3;

    // Starts `fileName` afresh for this run, or a numbered name beside it
    // (see above). When no file can be had the user is told "Unable to
    // create log file" once, with the file and the reason as detail, and the
    // logger holds no file.
    explicit CLogFile(const std::string& fileName);
    virtual ~CLogFile();
    CLogFile(const CLogFile&) = delete;
    CLogFile& operator=(const CLogFile&) = delete;

    // Safe from any thread; does nothing without a file.
    void Write(const char* format, ...);
    void WriteV(const char* format, std::va_list args);
    // The prefix and `text` exactly as given: no directives are read.
    void WriteText(std::string_view text);
    // `text` with no prefix at all (it carries its own times); "\n" still
    // reaches the disk as CR LF.
    void WriteLines(std::string_view text);

    // Handler for WM_LOGTEXT. The text is taken literally, so a stray "%d"
    // in it cannot read a value that was never passed. Returns 1.
    platform::LRESULT OnLogText(platform::WPARAM wParam, platform::LPARAM lParam);

    bool HasFile() const { return m_fd.valid(); }
    // The name asked for, and the file actually written ("" without one).
    const std::string& RequestedName() const { return m_strRequestedName; }
    const std::string& FileName() const { return m_strFileName; }
    // Where an earlier run's file of the requested name was moved; "" when
    // none was.
    const std::string& SetAsideName() const { return m_strSetAsideName; }
    // A line for the user when this run logs under another name than the one
    // asked for (which file is held, which one is used); "" otherwise.
    const std::string& Notice() const { return m_strNotice; }
    // Writes what is pending now (Write never needs this).
    void Flush();

    // Told `ok` false with "Cannot write FILE: reason" when writes start
    // failing, and `ok` true when one works again. Called on whichever thread
    // writes (often the flusher) while the file's writes are held, so it must
    // hand the text on rather than write to this log itself.
    using WriteStatusListener = std::function<void(bool ok, const std::string& text)>;
    void SetWriteStatusListener(WriteStatusListener listener);
    // True from a failed write until a write works again; any thread.
    bool WriteFailing() const { return m_failing.load(std::memory_order_relaxed); }

private:
    void AppendPrefix();
    void AppendTranslated(std::string_view text);
    void AppendFormatted(const char* format, std::va_list args);
    // Called with m_mutex held after text was added.
    void AfterAppend(std::unique_lock<std::mutex>& lock);
    void FlusherLoop(std::stop_token stop);
    // Writes m_writing; called with m_ioMutex held.
    void WriteBatch();
    void Tell(bool ok, const std::string& text);

    std::string m_strRequestedName;
    std::string m_strFileName;
    std::string m_strSetAsideName;
    std::string m_strNotice;
    platform::UniqueFd m_fd;
    std::atomic<bool> m_failing{false};  // changed under m_ioMutex
    std::uint64_t m_lostLines = 0;    // under m_ioMutex: lines dropped while failing
    WriteStatusListener m_listener;   // under m_ioMutex

    std::mutex m_mutex;               // guards m_pending and m_dirty
    std::condition_variable_any m_wake;
    std::string m_pending;            // text not yet handed to the file
    bool m_dirty = false;

    std::mutex m_ioMutex;             // keeps file writes in order; taken before m_mutex
    std::string m_writing;            // the batch being written, under m_ioMutex

    std::jthread m_flusher;           // last member: stopped before the rest goes
};

}  // namespace support
