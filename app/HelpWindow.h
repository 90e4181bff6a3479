#pragma once
// The manual shipped with the program, in a window of its own.

#include <QTextBrowser>

class CHelpWindow : public QTextBrowser {
    Q_OBJECT
public:
    static constexpr const char* kManualUrl = "qrc:/manual/index.html";
    static constexpr const char* kEnglishManualUrl = "qrc:/manual/index.en.html";

    explicit CHelpWindow(QWidget* parent = nullptr);
    // Shows the manual in the interface language, at its contents.
    void ShowContents();
};
