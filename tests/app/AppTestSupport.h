#pragma once
// Shared pieces of the application tests: one QApplication for the process,
// a temporary folder per test (settings store and working directory), a
// pseudo-terminal standing in for the serial device, and a message box
// recorder.

#include "platform/MessageBox.h"
#include "platform/UniqueFd.h"
#include "tests/common/TestFiles.h"

#include <QApplication>
#include <QCoreApplication>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace apptest {

inline std::unique_ptr<QApplication>& QtHolder()
{
    static std::unique_ptr<QApplication> app;
    return app;
}

// The process's QApplication, made on first use. It is destroyed by the test
// environment (QtEnvironment.cpp) before exit, while Qt's own globals live.
inline QApplication& Qt()
{
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    std::unique_ptr<QApplication>& app = QtHolder();
    if (!app) {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        app = std::make_unique<QApplication>(argc, argv);
    }
    return *app;
}

// Runs the event loop until `done` holds or `timeoutMs` passes.
inline bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 5000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

inline void Pump(int ms)
{
    PumpUntil([] { return false; }, ms);
}

using testfiles::ReadFile;
using testfiles::ReadLines;

class TempDir : public testfiles::TempDir {
public:
    TempDir() : testfiles::TempDir("kestrana-app") {}
};

// The master side of a pseudo-terminal; its slave is the "device".
class Pty {
public:
    bool Open()
    {
        const int fd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            return false;
        m_master.reset(fd);
        if (grantpt(fd) != 0 || unlockpt(fd) != 0)
            return false;
        char name[128];
        if (ptsname_r(fd, name, sizeof name) != 0)
            return false;
        m_slavePath = name;
        return true;
    }
    const std::string& SlavePath() const { return m_slavePath; }
    bool Write(const std::string& bytes)
    {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_master.get(), bytes.data() + done, bytes.size() - done);
            if (n <= 0)
                return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }
    void Close() { m_master.reset(); }

private:
    platform::UniqueFd m_master;
    std::string m_slavePath;
};

class MessageBoxRecorder {
public:
    MessageBoxRecorder()
    {
        m_previous = platform::SetMessageBoxHandler(
            [this](std::string_view text, std::string_view detail) {
                m_texts.emplace_back(text);
                m_details.emplace_back(detail);
            });
    }
    ~MessageBoxRecorder() { platform::SetMessageBoxHandler(std::move(m_previous)); }
    const std::vector<std::string>& Texts() const { return m_texts; }
    // The detail text of each box, "" where it had none.
    const std::vector<std::string>& Details() const { return m_details; }

private:
    std::vector<std::string> m_texts;
    std::vector<std::string> m_details;
    platform::MessageBoxHandler m_previous;
};

inline bool EndsWith(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// A settings store and a working directory of the test's own.
class AppFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        Qt();
        ASSERT_FALSE(m_temp.path().empty());
        m_registryDir = m_temp.path() + "/registry";
        m_workDir = m_temp.path() + "/work";
        std::filesystem::create_directories(m_registryDir);
        std::filesystem::create_directories(m_workDir);
        setenv("KESTRANA_REGISTRY_DIR", m_registryDir.c_str(), 1);
        m_oldCwd = std::filesystem::current_path();
        std::filesystem::current_path(m_workDir);
    }
    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::current_path(m_oldCwd, ignored);
    }

    std::string WorkFile(const std::string& name) const { return m_workDir + "/" + name; }

    TempDir m_temp;
    std::string m_registryDir;
    std::string m_workDir;
    std::filesystem::path m_oldCwd;
    MessageBoxRecorder m_boxes;
};

}  // namespace apptest
