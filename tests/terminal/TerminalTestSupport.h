#pragma once
// Shared pieces of the terminal tests: one offscreen application for the
// process, a temporary working folder (logs land there) with its own settings
// store, and a pinned clock.

#include "tests/common/TestFiles.h"

#include <QApplication>

#include <string>
#include <vector>

namespace terminal_test {

QApplication& App();

// mkdtemp under /tmp; the process works in it while the object lives.
class TempWorkDir {
public:
    TempWorkDir();
    ~TempWorkDir();
    TempWorkDir(const TempWorkDir&) = delete;
    TempWorkDir& operator=(const TempWorkDir&) = delete;
    const std::string& Path() const { return m_path; }

private:
    testfiles::TempDir m_dir{"kestrana-terminal"};
    std::string m_path;
    std::string m_previous;
};

std::string ReadFile(const std::string& path);
// CR LF separated lines (the last, unterminated piece dropped when empty).
std::vector<std::string> ReadLines(const std::string& path);

}  // namespace terminal_test
