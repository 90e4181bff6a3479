// A deliberate data race between a worker thread and a slot that the Qt event
// loop runs: the shape of a race between the engine's reader thread and a
// message handler of the main window. Under ThreadSanitizer, with the
// project's suppressions, it must be reported; if it is not, the
// suppressions hide real races.

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <thread>

namespace {
long g_shared = 0;  // deliberately unguarded
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::thread writer([] {
        for (int i = 0; i < 1000; ++i)
            g_shared = g_shared + 1;
    });
    long seen = 0;
    QTimer::singleShot(0, &app, [&] {
        for (int i = 0; i < 1000; ++i)
            seen += g_shared;
    });
    QTimer::singleShot(50, &app, &QCoreApplication::quit);
    app.exec();
    writer.join();
    std::printf("canary done (%ld)\n", seen);
    return 0;
}
