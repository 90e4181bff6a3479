#pragma once
// kestrana-devsim as a child process for tests and benchmarks: found beside
// the program that runs it, its far-end path read from its first line.

#include "tests/common/ChildProcess.h"

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace testchild {

// The simulator binary: $KESTRANA_DEVSIM; else the build folder's copy, found
// from this program's own place (tests and benchmarks sit one folder below
// it); else "kestrana-devsim" on the PATH.
inline std::string DevsimBinary()
{
    if (const char* path = std::getenv("KESTRANA_DEVSIM"); path != nullptr && *path != '\0')
        return path;
    char self[4096];
    if (const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1); n > 0) {
        std::string dir(self, static_cast<std::size_t>(n));
        dir.resize(dir.rfind('/') + 1);
        for (const char* candidate : {"../kestrana-devsim", "kestrana-devsim"})
            if (::access((dir + candidate).c_str(), X_OK) == 0)
                return dir + candidate;
    }
    return "kestrana-devsim";
}

class DevsimProcess : public ChildProcess {
public:
    // Starts the simulator with `args`; with `mergeStderr` its standard error
    // joins the output lines.
    bool StartSimulator(const std::vector<std::string>& args, bool mergeStderr = false)
    {
        std::vector<std::string> argv{DevsimBinary()};
        argv.insert(argv.end(), args.begin(), args.end());
        ChildOptions options;
        options.err = mergeStderr ? Stream::Output : Stream::Inherit;
        return Start(argv, options);
    }

    // Starts it and reads the far-end path from its first line.
    bool StartDevice(const std::vector<std::string>& args, Milliseconds timeout = std::chrono::seconds(10))
    {
        const auto line = StartSimulator(args) ? ReadLine(timeout) : std::nullopt;
        m_farEnd = line.value_or("");
        return m_farEnd.starts_with('/');
    }

    const std::string& FarEndPath() const { return m_farEnd; }

private:
    std::string m_farEnd;
};

}  // namespace testchild
