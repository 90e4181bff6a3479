#include "app/Screenshots.h"

#include "app/MainFrame.h"
#include "app/Trevane2App.h"
#include "app/WindowTour.h"
#include "terminal/Trevane2View.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace {

// Long enough for the simulator's lines to fill part of the terminal.
constexpr int kReceiveMs = 2500;
constexpr int kEchoMs = 800;

void Type(QWidget* view, const QString& text)
{
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(view, &press);
    }
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QApplication::sendEvent(view, &enter);
}

void TakePictures(const QString& dir)
{
    CTrevane2App* app = CTrevane2App::GetApp();
    CMainFrame* frame = app != nullptr ? app->GetMainFrame() : nullptr;
    if (frame == nullptr || !QDir().mkpath(dir)) {
        std::fprintf(stderr, "kestrana: --screenshot: no main window or no folder %s\n", qPrintable(dir));
        QCoreApplication::exit(1);
        return;
    }
    int failures = 0;
    TourWindows(*frame, [&](const QString& name, QWidget& window) {
        // The About box shows this machine's system, memory and user.
        if (name == QStringLiteral("about"))
            return;
        // Few colours: the pictures stay small as 8-bit PNGs.
        const QImage image = window.grab().toImage().convertToFormat(
            QImage::Format_Indexed8, Qt::ThresholdDither | Qt::AvoidDither);
        const QString path = QDir(dir).filePath(name + QStringLiteral(".png"));
        if (!image.save(path, "PNG", 9)) {
            std::fprintf(stderr, "kestrana: --screenshot: cannot write %s\n", qPrintable(path));
            ++failures;
        }
    });
    QCoreApplication::exit(failures == 0 ? 0 : 1);
}

}  // namespace

void ScheduleScreenshots(const QString& dir)
{
    // A modest window keeps the pictures small.
    QTimer::singleShot(0, [] {
        CTrevane2App* app = CTrevane2App::GetApp();
        if (app != nullptr && app->GetMainFrame() != nullptr)
            app->GetMainFrame()->resize(760, 520);
    });
    QTimer::singleShot(kReceiveMs, [dir] {
        CTrevane2App* app = CTrevane2App::GetApp();
        CMainFrame* frame = app != nullptr ? app->GetMainFrame() : nullptr;
        if (frame != nullptr && frame->GetActiveView() != nullptr)
            Type(frame->GetActiveView(), QStringLiteral("AT+VERSION?"));
        QTimer::singleShot(kEchoMs, [dir] { TakePictures(dir); });
    });
}
