#include "app/QtMessageBoxHandler.h"

#include "platform/MessageBox.h"
#include "resources/StringTable.h"

#include <QApplication>
#include <QMessageBox>

void InstallQtMessageBoxHandler()
{
    platform::SetMessageBoxHandler([](std::string_view text, std::string_view detail) {
        QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(res::kMainTitle),
                        QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                        QMessageBox::Ok, QApplication::activeWindow());
        if (!detail.empty())
            box.setInformativeText(
                QString::fromUtf8(detail.data(), static_cast<qsizetype>(detail.size())));
        box.exec();
    });
}
