// A deliberate race between a worker thread and a slot the Qt event loop runs
// (the engine's reader against a window handler): ThreadSanitizer, with the
// project's suppressions, must report it, or the suppressions hide real races.

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
