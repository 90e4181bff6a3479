#pragma once
// A program run as a child process by a test or a benchmark: its arguments,
// working folder, environment and standard streams; its output read line by
// line or whole; signals; and its end. Every wait is bounded, and a child
// still running when the object goes is killed and reaped. Header-only.

#include "platform/PosixIo.h"
#include "platform/UniqueFd.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

extern char** environ;

namespace testchild {

enum class Stream {
    Inherit,  // shared with this process
    Null,     // /dev/null
    Output,   // the output pipe this object reads
    File,     // the file named in ChildOptions::outputFile / errorFile (created or emptied)
};

struct ChildOptions {
    std::string workingDir;                // empty: this process's
    std::vector<std::string> environment;  // "NAME=VALUE" added or replacing this process's; "NAME" removed
    Stream out = Stream::Output;           // standard output
    Stream err = Stream::Inherit;          // standard error
    std::string outputFile;                // for out == Stream::File
    std::string errorFile;                 // for err == Stream::File
    std::vector<std::pair<int, int>> passFds;  // a descriptor here and its number in the child
};

class ChildProcess {
public:
    using Milliseconds = std::chrono::milliseconds;

    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ~ChildProcess() { Kill(); }

    // Starts argv[0] (looked up on the PATH when it has no slash) with `argv`.
    // False when it could not be started.
    bool Start(const std::vector<std::string>& argv, const ChildOptions& options = {})
    {
        if (argv.empty() || m_pid > 0)
            return false;
        platform::UniqueFd readEnd, writeEnd;
        int fds[2];
        if (options.out == Stream::Output || options.err == Stream::Output) {
            if (::pipe2(fds, O_CLOEXEC) != 0)
                return false;
            readEnd.reset(fds[0]);
            writeEnd.reset(fds[1]);
        }
        std::vector<std::string> args = argv;
        std::vector<std::string> env = Environment(options.environment);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        for (const auto& [stream, target] : {std::pair{options.out, STDOUT_FILENO}, {options.err, STDERR_FILENO}}) {
            const std::string& file = target == STDOUT_FILENO ? options.outputFile : options.errorFile;
            if (stream == Stream::Null)
                posix_spawn_file_actions_addopen(&actions, target, "/dev/null", O_WRONLY, 0);
            else if (stream == Stream::Output)
                posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), target);
            else if (stream == Stream::File)
                posix_spawn_file_actions_addopen(&actions, target, file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        }
        for (const auto& [here, there] : options.passFds)
            posix_spawn_file_actions_adddup2(&actions, here, there);
        if (!options.workingDir.empty())
            posix_spawn_file_actions_addchdir_np(&actions, options.workingDir.c_str());
        pid_t pid = -1;
        const int rc = ::posix_spawnp(&pid, args[0].c_str(), &actions, nullptr, Pointers(args).data(),
                                      Pointers(env).data());
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0)
            return false;
        m_pid = pid;
        m_exit.reset();
        m_output = std::move(readEnd);
        return !m_output || ::fcntl(m_output.get(), F_SETFL, ::fcntl(m_output.get(), F_GETFL) | O_NONBLOCK) == 0;
    }

    // The next output line without its "\n"; nullopt at the end of the
    // output or after `timeout`.
    std::optional<std::string> ReadLine(Milliseconds timeout)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        std::size_t nl;
        while ((nl = m_buffer.find('\n')) == std::string::npos)
            if (!Fill(deadline))
                return std::nullopt;
        std::string line = m_buffer.substr(0, nl);
        m_buffer.erase(0, nl + 1);
        return line;
    }

    // Everything unread until the child closes its output (or the time-out).
    std::string ReadToEnd(Milliseconds timeout)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (Fill(deadline)) {
        }
        return std::exchange(m_buffer, {});
    }

    bool Signal(int sig) const { return m_pid > 0 && ::kill(m_pid, sig) == 0; }
    // While it runs; -1 otherwise.
    pid_t Pid() const { return m_pid; }

    // The exit status, or 128 + the signal that ended it; nullopt while it
    // still runs after `timeout`.
    std::optional<int> WaitExit(Milliseconds timeout)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (m_pid > 0) {
            int status = 0;
            const pid_t r = ::waitpid(m_pid, &status, WNOHANG);
            if (r == m_pid)
                Reaped(status);
            else if (r < 0 || std::chrono::steady_clock::now() >= deadline)
                return std::nullopt;
            else
                std::this_thread::sleep_for(Milliseconds(2));
        }
        return m_exit;
    }

    // Ends a running child at once and reaps it.
    void Kill()
    {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, SIGKILL);
        int status = 0;
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        Reaped(status);
    }

private:
    static std::vector<char*> Pointers(std::vector<std::string>& strings)
    {
        std::vector<char*> pointers(strings.size() + 1, nullptr);
        std::transform(strings.begin(), strings.end(), pointers.begin(), [](std::string& s) { return s.data(); });
        return pointers;
    }

    static std::vector<std::string> Environment(const std::vector<std::string>& changes)
    {
        std::vector<std::string> env;
        for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
            const std::string_view text(*entry), name = text.substr(0, text.find('='));
            if (std::none_of(changes.begin(), changes.end(), [&](auto& c) { return c.substr(0, c.find('=')) == name; }))
                env.emplace_back(text);
        }
        for (const std::string& change : changes)
            if (change.find('=') != std::string::npos)
                env.push_back(change);
        return env;
    }

    void Reaped(int status)
    {
        m_pid = -1;
        m_exit = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
    }

    // Reads more output; false at the deadline or at the end of the output.
    bool Fill(std::chrono::steady_clock::time_point deadline)
    {
        while (m_output) {
            const auto left = std::chrono::duration_cast<Milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            pollfd p{m_output.get(), POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                continue;
            char chunk[512];
            const ssize_t n = platform::ReadRetry(m_output.get(), chunk, sizeof chunk);
            if (n > 0) {
                m_buffer.append(chunk, static_cast<std::size_t>(n));
                return true;
            }
            if (n == 0 || errno != EAGAIN)
                m_output.reset();  // the child closed its end
        }
        return false;
    }

    pid_t m_pid = -1;
    std::optional<int> m_exit;  // as WaitExit gives it
    platform::UniqueFd m_output;
    std::string m_buffer;
};

}  // namespace testchild
