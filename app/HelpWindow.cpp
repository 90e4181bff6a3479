#include "app/HelpWindow.h"

#include <QUrl>

CHelpWindow::CHelpWindow(QWidget* parent) : QTextBrowser(parent)
{
    setObjectName(QStringLiteral("helpWindow"));
    setWindowFlag(Qt::Window);
    setWindowTitle(QStringLiteral("Kestrana - 도움말"));
    setOpenExternalLinks(true);
    resize(640, 520);
}

void CHelpWindow::ShowContents()
{
    setSource(QUrl(QString::fromLatin1(kManualUrl)));
    scrollToAnchor(QStringLiteral("contents"));
    show();
    raise();
    activateWindow();
}
