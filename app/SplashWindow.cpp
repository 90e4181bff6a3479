#include "app/SplashWindow.h"

#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>

namespace {
bool g_bShowSplash = false;
CSplashWindow* g_pInstance = nullptr;
}  // namespace

void CSplashWindow::SetSplashAllowed(bool allowed) { g_bShowSplash = allowed; }
bool CSplashWindow::IsSplashAllowed() { return g_bShowSplash; }

CSplashWindow::CSplashWindow(QWidget* parent, QPixmap picture)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_picture(std::move(picture)),
      m_pOwner(parent)
{
    setObjectName(QStringLiteral("splashWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_NoSystemBackground);
    setCursor(Qt::ArrowCursor);
    setFixedSize(m_picture.size() / m_picture.devicePixelRatio());
}

CSplashWindow::~CSplashWindow()
{
    if (g_pInstance == this)
        g_pInstance = nullptr;
}

void CSplashWindow::ShowSplash(QWidget* parent)
{
    if (!g_bShowSplash || g_pInstance != nullptr)
        return;
    QPixmap picture(QString::fromLatin1(kPictureResource));
    if (picture.isNull())
        return;
    // Owned by its parent widget and deleted on close.
    auto* window = new CSplashWindow(parent, std::move(picture));
    g_pInstance = window;
    window->CenterWindow();
    window->m_timer.start(kDisplayMs, window);
    window->show();
    window->repaint();
}

void CSplashWindow::CenterWindow()
{
    // Over the owner when it is on screen; at start-up it is not yet, so the
    // middle of the screen's work area.
    QRect area;
    if (m_pOwner != nullptr && m_pOwner->isVisible() && !m_pOwner->isMinimized())
        area = m_pOwner->frameGeometry();
    else if (QScreen* screen = QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    QRect frame(QPoint(0, 0), size());
    frame.moveCenter(area.center());
    move(frame.topLeft());
}

void CSplashWindow::HideSplash()
{
    m_timer.stop();
    if (g_pInstance == this)
        g_pInstance = nullptr;
    QWidget* owner = m_pOwner;
    close();  // deletes this object (WA_DeleteOnClose) at the next loop pass
    hide();
    if (owner != nullptr)
        owner->repaint();
}

void CSplashWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_picture);
}

void CSplashWindow::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_timer.timerId()) {
        HideSplash();
        return;
    }
    QWidget::timerEvent(event);
}

bool CSplashWindow::FilterSplashInput(QEvent* event)
{
    if (g_pInstance == nullptr)
        return false;
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        // Claim the key so no accelerator fires; its key press then hides us.
        event->accept();
        return true;
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonDblClick:
        g_pInstance->HideSplash();
        return true;
    default:
        return false;
    }
}

bool SplashInputFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (CSplashWindow::FilterSplashInput(event))
        return true;
    return QObject::eventFilter(watched, event);
}
