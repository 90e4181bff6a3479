#include "app/AppIcon.h"

#include <QDir>
#include <QImageReader>

QIcon KestranaIcon()
{
    // Each file is one size ("kestrana-48.png"); the icon picks the nearest.
    QIcon icon;
    const QDir folder(QStringLiteral(":/icons"));
    for (const QString& name : folder.entryList({QStringLiteral("kestrana-*.png")}, QDir::Files)) {
        const QString path = folder.filePath(name);
        const QSize size = QImageReader(path).size();
        if (size.isValid())
            icon.addFile(path, size);
    }
    return icon;
}
