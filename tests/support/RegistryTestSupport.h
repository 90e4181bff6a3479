#pragma once
// Helpers for the settings store tests: a private store folder per test, file
// access, and the child process that acts as a second program on the store.

#include "tests/common/ChildProcess.h"
#include "tests/common/TestFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
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
    explicit Child(const std::vector<std::string>& args) { m_process.Start(args); }

    bool started() const { return m_process.Started(); }
    pid_t pid() const { return m_process.Pid(); }

    void Kill() const { m_process.Signal(SIGKILL); }

    // Reads output until it contains `text`; false at the end of output or
    // after `limit`.
    bool WaitForOutput(std::string_view text, std::chrono::milliseconds limit)
    {
        return m_process.WaitForOutput(text, limit);
    }

    // Collects the output until the child ends, killing it after `limit`.
    ChildResult Wait(std::chrono::milliseconds limit)
    {
        ChildResult result;
        const auto deadline = std::chrono::steady_clock::now() + limit;
        result.output = m_process.ReadToEnd(limit);
        // The pipe closes at exit; give the exit itself the same limit.
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (!m_process.OutputEnded() || !m_process.WaitExit(std::max(left, std::chrono::milliseconds(0)))) {
            result.timedOut = true;
            m_process.Kill();
        }
        result.exitCode = m_process.ExitCode();
        result.signal = m_process.TermSignal();
        return result;
    }

private:
    testchild::ChildProcess m_process;
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
