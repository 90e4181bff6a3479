#include "app/HeadlessMessageBoxHandler.h"

#include "app/MainFrame.h"
#include "app/MessageLine.h"
#include "app/Trevane2App.h"
#include "platform/MessageBox.h"

#include <QCoreApplication>
#include <QThread>

#include <cstdio>
#include <string>

void InstallHeadlessMessageBoxHandler()
{
    platform::SetMessageBoxHandler([](std::string_view text, std::string_view detail) {
        const std::string line = MessageLine(text, detail);
        std::fprintf(stderr, "kestrana: %s\n", line.c_str());
        std::fflush(stderr);
        // The event box and the log belong to the user-interface thread.
        QCoreApplication* app = QCoreApplication::instance();
        if (app == nullptr || QThread::currentThread() != app->thread())
            return;
        CTrevane2App* kestrana = CTrevane2App::GetApp();
        if (kestrana != nullptr && kestrana->GetMainFrame() != nullptr)
            kestrana->GetMainFrame()->ReportEvent(line);
    });
}
