#pragma once
// Helpers for the settings store tests: a private store folder per test, file
// access, and the child process that acts as a second program on the store.

#include "tests/common/TestFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

extern char** environ;

namespace registry_test {

// A fresh folder under /tmp, removed with everything in it at the end.
class TempDir : public testfiles::TempDir {
public:
    TempDir() : testfiles::TempDir("kestrana-registry") {}
};

// Points the store at `dir` for the life of this object.
class StoreFolder {
public:
    explicit StoreFolder(const std::string& dir)
    {
        if (const char* old = std::getenv("KESTRANA_REGISTRY_DIR")) {
            m_hadOld = true;
            m_old = old;
        }
        ::setenv("KESTRANA_REGISTRY_DIR", dir.c_str(), 1);
    }
    ~StoreFolder()
    {
        if (m_hadOld)
            ::setenv("KESTRANA_REGISTRY_DIR", m_old.c_str(), 1);
        else
            ::unsetenv("KESTRANA_REGISTRY_DIR");
    }
    StoreFolder(const StoreFolder&) = delete;
    StoreFolder& operator=(const StoreFolder&) = delete;

private:
    bool m_hadOld = false;
    std::string m_old;
};

inline std::string ReadWholeFile(const std::string& path) { return testfiles::ReadFile(path); }

inline void WriteWholeFile(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

inline std::vector<std::string> FileNames(const std::string& dir)
{
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ignored))
        names.push_back(entry.path().filename().string());
    return names;
}

struct ChildResult {
    bool timedOut = false;  // ran past the time limit and was killed
    int exitCode = -1;
    int signal = 0;
    std::string output;
};

// A running child process with its standard output on a pipe.
class Child {
public:
    explicit Child(const std::vector<std::string>& args)
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        std::vector<char*> argv;
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        if (::posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        m_out = fds[0];
    }
    ~Child()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_out >= 0)
            ::close(m_out);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool started() const { return m_pid > 0; }
    pid_t pid() const { return m_pid; }

    void Kill() const
    {
        if (m_pid > 0)
            ::kill(m_pid, SIGKILL);
    }

    // Reads output until it contains `text`; false at the end of output or
    // after `limit`.
    bool WaitForOutput(std::string_view text, std::chrono::milliseconds limit)
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (m_output.find(text) == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || m_out < 0)
                return false;
            pollfd p{m_out, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                continue;
            char buffer[512];
            const ssize_t n = ::read(m_out, buffer, sizeof buffer);
            if (n <= 0)
                return false;
            m_output.append(buffer, static_cast<std::size_t>(n));
        }
        return true;
    }

    // Collects the output until the child ends, killing it after `limit`.
    ChildResult Wait(std::chrono::milliseconds limit)
    {
        ChildResult result;
        result.output = std::move(m_output);
        const auto deadline = std::chrono::steady_clock::now() + limit;
        bool open = m_out >= 0;
        while (open) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                Kill();
                result.timedOut = true;
                break;
            }
            pollfd p{m_out, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                continue;
            char buffer[512];
            const ssize_t n = ::read(m_out, buffer, sizeof buffer);
            if (n <= 0)
                open = false;
            else
                result.output.append(buffer, static_cast<std::size_t>(n));
        }
        int status = 0;
        if (m_pid > 0) {
            // The pipe closes at exit; give the exit itself the same limit.
            while (::waitpid(m_pid, &status, WNOHANG) == 0) {
                if (std::chrono::steady_clock::now() >= deadline) {
                    ::kill(m_pid, SIGKILL);
                    result.timedOut = true;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            m_pid = -1;
            if (WIFEXITED(status))
                result.exitCode = WEXITSTATUS(status);
            if (WIFSIGNALED(status))
                result.signal = WTERMSIG(status);
        }
        return result;
    }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    std::string m_output;
};

inline std::string ChildProgram() { return KESTRANA_REGISTRY_CHILD; }

// Runs the child with `args` to its end (at most 60 s).
inline ChildResult RunChild(std::vector<std::string> args)
{
    args.insert(args.begin(), ChildProgram());
    Child child(args);
    if (!child.started())
        return {};
    return child.Wait(std::chrono::seconds(60));
}

}  // namespace registry_test
