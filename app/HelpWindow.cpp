#include "app/HelpWindow.h"
#include "app/UiLanguage.h"

#include <QUrl>

CHelpWindow::CHelpWindow(QWidget* parent) : QTextBrowser(parent)
{
    setObjectName(QStringLiteral("helpWindow"));
    setWindowFlag(Qt::Window);
    setWindowTitle(tr("Kestrana - 도움말"));
    setOpenExternalLinks(true);
    resize(640, 520);
}

void CHelpWindow::ShowContents()
{
    const bool english = CurrentUiLanguage() == UiLanguage::English;
    setSource(QUrl(QString::fromLatin1(english ? kEnglishManualUrl : kManualUrl)));
    scrollToAnchor(QStringLiteral("contents"));
    show();
    raise();
    activateWindow();
}
