#include "app/QtMessageBoxHandler.h"

#include "platform/MessageBox.h"
#include "resources/StringTable.h"

#include <QApplication>
#include <QMessageBox>

void InstallQtMessageBoxHandler()
{
    platform::SetMessageBoxHandler([](std::string_view text) {
        QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(res::kMainTitle),
                        QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                        QMessageBox::Ok, QApplication::activeWindow());
        box.exec();
    });
}
