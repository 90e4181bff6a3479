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
    if (m_dir.path().empty())
        throw std::runtime_error("mkdtemp failed");
    m_path = m_dir.path();
    m_previous = std::filesystem::current_path().string();
    std::filesystem::current_path(m_path);
    ::setenv("KESTRANA_REGISTRY_DIR", (m_path + "/registry").c_str(), 1);
}

TempWorkDir::~TempWorkDir()
{
    std::error_code ignored;
    std::filesystem::current_path(m_previous, ignored);
    ::unsetenv("KESTRANA_REGISTRY_DIR");
}

std::string ReadFile(const std::string& path) { return testfiles::ReadFile(path); }

std::vector<std::string> ReadLines(const std::string& path) { return testfiles::ReadLines(path); }

}  // namespace terminal_test
