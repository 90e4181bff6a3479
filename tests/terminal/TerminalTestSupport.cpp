#include "TerminalTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <fstream>
#include <filesystem>
#include <sstream>
#include <stdexcept>

#include <unistd.h>

namespace terminal_test {

namespace {

int g_argc = 1;
char g_name[] = "terminal_tests";
char* g_argv[] = {g_name, nullptr};
std::unique_ptr<QApplication> g_app;

// The application must go before the process's static objects do, so it ends
// with the test run rather than at exit.
class AppEnvironment : public ::testing::Environment {
public:
    void TearDown() override { g_app.reset(); }
};

// Google Test owns the environment.
[[maybe_unused]] const ::testing::Environment* const g_environment =
    ::testing::AddGlobalTestEnvironment(new AppEnvironment);

}  // namespace

QApplication& App()
{
    if (!g_app) {
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        g_app = std::make_unique<QApplication>(g_argc, g_argv);
    }
    return *g_app;
}

TempWorkDir::TempWorkDir()
{
    char pattern[] = "/tmp/kestrana-terminal-XXXXXX";
    if (::mkdtemp(pattern) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
    m_previous = std::filesystem::current_path().string();
    std::filesystem::current_path(m_path);
    ::setenv("KESTRANA_REGISTRY_DIR", (m_path + "/registry").c_str(), 1);
}

TempWorkDir::~TempWorkDir()
{
    std::error_code ignored;
    std::filesystem::current_path(m_previous, ignored);
    std::filesystem::remove_all(m_path, ignored);
    ::unsetenv("KESTRANA_REGISTRY_DIR");
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::vector<std::string> ReadLines(const std::string& path)
{
    const std::string all = ReadFile(path);
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < all.size()) {
        const std::size_t end = all.find("\r\n", at);
        if (end == std::string::npos) {
            lines.push_back(all.substr(at));
            break;
        }
        lines.push_back(all.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

}  // namespace terminal_test
