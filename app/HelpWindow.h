#pragma once
// The manual shipped with the program, in a window of its own.

#include <QTextBrowser>

class CHelpWindow : public QTextBrowser {
    Q_OBJECT
public:
    static constexpr const char* kManualUrl = "qrc:/manual/index.html";

    explicit CHelpWindow(QWidget* parent = nullptr);
    // Shows the manual at its contents.
    void ShowContents();
};
