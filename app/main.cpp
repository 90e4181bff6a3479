// kestrana: the serial-port terminal.

#include "app/AppIcon.h"
#include "app/CommandLine.h"
#include "app/HeadlessMessageBoxHandler.h"
#include "app/QtMessageBoxHandler.h"
#include "app/Screenshots.h"
#include "app/ShutdownSignals.h"
#include "app/Trevane2App.h"
#include "app/UiLanguage.h"
#include "support/LogFolder.h"

#include <QApplication>
#include <QTimer>

#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

bool HasDisplay()
{
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0')
            return true;
    }
    return false;
}

// With KESTRANA_SHOWN_FD=n in the environment, one line goes to descriptor n
// once the main window is up and the event loop runs: start-up time
// measurements need to know that moment from outside.
void ReportShownWhenUp()
{
    const char* fdText = std::getenv("KESTRANA_SHOWN_FD");
    if (fdText == nullptr || *fdText == '\0')
        return;
    const int fd = std::atoi(fdText);
    unsetenv("KESTRANA_SHOWN_FD");
    if (fd <= 2)
        return;
    QTimer::singleShot(0, [fd] {
        [[maybe_unused]] const ssize_t n = ::write(fd, "shown\n", 6);
        ::close(fd);
    });
}

}  // namespace

int main(int argc, char** argv)
{
    // From here on SIGTERM, SIGINT and SIGHUP end the run the normal way.
    InstallStartupShutdownHandler();
    // The locale's character set is the terminal's unless --charset names one.
    std::setlocale(LC_ALL, "");
    // The command line is read before anything touches the window system or
    // the settings store, so --help and mistakes need neither.
    const std::vector<std::string> args(argv + 1, argv + argc);
    CommandLineOptions options;
    std::string error;
    const CommandLineStatus status = ParseCommandLine(args, options, error);
    // The desktop's language unless --lang names one; QLocale reads the
    // environment, so no application object is needed yet.
    const UiLanguage language = options.language.value_or(SystemUiLanguage());
    switch (status) {
    case CommandLineStatus::Help:
        std::fputs(HelpText(language, options.language.has_value()).c_str(), stdout);
        return 0;
    case CommandLineStatus::Version:
        std::printf("%s\n", VersionText().c_str());
        return 0;
    case CommandLineStatus::Error:
        std::fprintf(stderr, "kestrana: %s\n%s\n", error.c_str(), UsageLine());
        return 2;
    case CommandLineStatus::Ok:
        break;
    }
    if (!options.registryDir.empty())
        setenv("KESTRANA_REGISTRY_DIR", options.registryDir.c_str(), 1);
    // A log folder that cannot take the logs is a bad argument like any other.
    if (!options.logDir.empty()) {
        std::string failure;
        if (!support::PrepareLogFolder(options.logDir, failure)) {
            std::fprintf(stderr, "kestrana: --log-dir: %s\n", failure.c_str());
            return 2;
        }
    }
    if (options.headless) {
        // No window is ever made: the offscreen platform needs no display.
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    } else if (!HasDisplay()) {
        std::fprintf(stderr,
                     "kestrana: no display ($DISPLAY and $WAYLAND_DISPLAY are unset).\n"
                     "Run it on a desktop, under xvfb-run, or with QT_QPA_PLATFORM=offscreen.\n");
        return 1;
    }

    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrana"));
    // Lets the desktop match the windows to kestrana.desktop and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("kestrana"));
    // Before any window or text is made; the Korean texts stay if the
    // English translation cannot be loaded.
    if (!InstallUiLanguage(language))
        std::fprintf(stderr, "kestrana: the English translation could not be loaded; the interface stays Korean\n");
    if (options.headless)
        InstallHeadlessMessageBoxHandler();
    else
        InstallQtMessageBoxHandler();
    CTrevane2App app;
    QApplication::setWindowIcon(KestranaIcon());
    ReportShownWhenUp();
    if (!options.screenshotDir.empty())
        ScheduleScreenshots(QString::fromStdString(options.screenshotDir));
    return app.Run(options);
}
