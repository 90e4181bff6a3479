#pragma once
// Helpers for the settings store tests: the application's key, and the child
// program that acts as a second process on the store.

#include "tests/common/ChildProcess.h"
#include "tests/common/TestFiles.h"

#include <string>
#include <vector>

namespace registry_test {

constexpr const char* kAppKey = "HKEY_CURRENT_USER\\Software\\Trevane Desk2\\Trevane2";

// "a\a\...\a" with `depth` parts.
inline std::string Chain(std::size_t depth)
{
    std::string path = "a";
    for (std::size_t i = 1; i < depth; ++i)
        path += "\\a";
    return path;
}

inline std::vector<std::string> ChildCommand(std::vector<std::string> args)
{
    args.insert(args.begin(), KESTRANA_REGISTRY_CHILD);
    return args;
}

// Runs the child with `args` to its end (killed after 60 s); its output.
inline std::string RunChild(const std::vector<std::string>& args)
{
    testchild::ChildProcess child;
    if (!child.Start(ChildCommand(args)))
        return "(not started)";
    std::string output = child.ReadToEnd(std::chrono::seconds(60));
    if (!child.WaitExit(std::chrono::seconds(5)))
        output += "(timed out)";
    return output;
}

}  // namespace registry_test
