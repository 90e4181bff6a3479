#pragma once
// Starts kestrana-devsim as a child process and talks to it: the far-end path
// from its first line, further report lines, signals and the exit status.
// Header-only, for tests and benchmarks. Every wait is bounded.

#include "platform/UniqueFd.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

extern char** environ;

namespace devsim {

// The simulator binary: $KESTRANA_DEVSIM; else the build folder's copy, found
// from this program's own place (tests and benchmarks sit one folder below
// it); else "kestrana-devsim" on the PATH.
inline std::string DevsimBinary()
{
    const char* path = std::getenv("KESTRANA_DEVSIM");
    if (path != nullptr && *path != '\0')
        return path;
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        std::string dir(self, static_cast<std::size_t>(n));
        dir.resize(dir.rfind('/') + 1);
        for (const char* candidate : {"../kestrana-devsim", "kestrana-devsim"}) {
            const std::string full = dir + candidate;
            if (::access(full.c_str(), X_OK) == 0)
                return full;
        }
    }
    return "kestrana-devsim";
}

class DevsimProcess {
public:
    DevsimProcess() = default;
    DevsimProcess(const DevsimProcess&) = delete;
    DevsimProcess& operator=(const DevsimProcess&) = delete;
    ~DevsimProcess() { Kill(); }

    // Starts the simulator; with `mergeStderr` its standard error joins the
    // output lines. False when it could not be started.
    bool Start(const std::vector<std::string>& args, bool mergeStderr = false)
    {
        int pipeFds[2];
        if (pipe2(pipeFds, O_CLOEXEC) != 0)
            return false;
        platform::UniqueFd readEnd(pipeFds[0]);
        platform::UniqueFd writeEnd(pipeFds[1]);

        const std::string binary = DevsimBinary();
        std::vector<std::string> all{binary};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDOUT_FILENO);
        if (mergeStderr)
            posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDERR_FILENO);
        pid_t pid = -1;
        const int rc = posix_spawnp(&pid, binary.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0)
            return false;
        m_pid = pid;
        m_output = std::move(readEnd);
        fcntl(m_output.get(), F_SETFL, fcntl(m_output.get(), F_GETFL) | O_NONBLOCK);
        return true;
    }

    // Starts it and reads the far-end path from the first line.
    bool StartDevice(const std::vector<std::string>& args,
                     std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        if (!Start(args))
            return false;
        auto line = ReadLine(timeout);
        if (!line || line->empty() || (*line)[0] != '/')
            return false;
        m_farEnd = *line;
        return true;
    }

    const std::string& FarEndPath() const { return m_farEnd; }
    pid_t Pid() const { return m_pid; }

    // The next output line without its "\n"; nullopt on time-out or end.
    std::optional<std::string> ReadLine(std::chrono::milliseconds timeout)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            if (const auto nl = m_buffer.find('\n'); nl != std::string::npos) {
                std::string line = m_buffer.substr(0, nl);
                m_buffer.erase(0, nl + 1);
                return line;
            }
            if (!Fill(deadline))
                return std::nullopt;
        }
    }

    // Everything until the simulator closes its output (or the time-out).
    std::string ReadToEnd(std::chrono::milliseconds timeout)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (Fill(deadline)) {
        }
        return std::exchange(m_buffer, {});
    }

    bool Signal(int sig) const { return m_pid > 0 && ::kill(m_pid, sig) == 0; }

    // The exit status, or 128 + signal number when a signal ended it;
    // nullopt when it is still running after `timeout`.
    std::optional<int> WaitExit(std::chrono::milliseconds timeout)
    {
        if (m_exitStatus)
            return m_exitStatus;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (m_pid > 0) {
            int status = 0;
            const pid_t r = ::waitpid(m_pid, &status, WNOHANG);
            if (r == m_pid) {
                m_pid = -1;
                m_exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                return m_exitStatus;
            }
            if (r < 0 || std::chrono::steady_clock::now() >= deadline)
                return std::nullopt;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return m_exitStatus;
    }

    void Kill()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            int status = 0;
            ::waitpid(m_pid, &status, 0);
            m_pid = -1;
        }
    }

private:
    // Reads more output; false at the deadline or at end of output.
    bool Fill(std::chrono::steady_clock::time_point deadline)
    {
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            pollfd p{m_output.get(), POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                continue;
            char chunk[512];
            const ssize_t n = ::read(m_output.get(), chunk, sizeof chunk);
            if (n > 0) {
                m_buffer.append(chunk, static_cast<std::size_t>(n));
                return true;
            }
            if (n == 0)
                return false;
        }
    }

    pid_t m_pid = -1;
    std::optional<int> m_exitStatus;
    platform::UniqueFd m_output;
    std::string m_buffer;
    std::string m_farEnd;
};

}  // namespace devsim
