#pragma once
// The start-up picture: a borderless 411 x 200 window over the main window for
// two seconds, or until the first key press or mouse click, which it swallows.

#include <QBasicTimer>
#include <QObject>
#include <QPixmap>
#include <QWidget>

class QEvent;

class CSplashWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kDisplayMs = 2000;
    static constexpr const char* kPictureResource = ":/splash.png";

    static void SetSplashAllowed(bool allowed);
    static bool IsSplashAllowed();
    // Creates and shows the window if allowed and not already shown.
    static void ShowSplash(QWidget* parent);
    // True when `event` hid the splash window and must go no further.
    static bool FilterSplashInput(QEvent* event);

    // Destroys the window and repaints the main window.
    void HideSplash();

    ~CSplashWindow() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    CSplashWindow(QWidget* parent, QPixmap picture);
    void CenterWindow();

    QPixmap m_picture;
    QBasicTimer m_timer;
    QWidget* m_pOwner;
};

// The application's message pre-filter: offers every input event to the
// splash window first.
class SplashInputFilter : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
