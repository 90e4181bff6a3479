#include "app/AppIcon.h"

#include <QDir>

QIcon KestranaIcon()
{
    // Each file is one size, named for it ("kestrana-48.png"); the icon loads
    // a file only when a window asks for that size.
    QIcon icon;
    const QDir folder(QStringLiteral(":/icons"));
    for (const QString& name : folder.entryList({QStringLiteral("kestrana-*.png")}, QDir::Files)) {
        bool ok = false;
        const int size = name.section(QLatin1Char('-'), 1).section(QLatin1Char('.'), 0, 0).toInt(&ok);
        if (ok && size > 0)
            icon.addFile(folder.filePath(name), QSize(size, size));
    }
    return icon;
}
